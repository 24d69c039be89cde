#!/usr/bin/env python3
"""Checks that includes between the folders of src/ run down only.

The folders, highest first: app, export, store, vcard, csv, om, text. A file
may include its own folder and any folder below it, never one above. Links
run down too: app/ opens no namespace but its own, and no other folder opens
app's, so nothing below app/ declares what only app/ defines. A test of a
folder other than app/ includes nothing of app/. Exits 1 and names each
include or namespace that reaches up.

Usage: check_layers.py [SRC_DIR [TESTS_DIR]]   (default: src/ and tests/ beside tools/)
"""

import os
import re
import sys

ORDER = ["app", "export", "store", "vcard", "csv", "om", "text"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z0-9_]+)/', re.M)
NAMESPACE = re.compile(r"^\s*namespace\s+([A-Za-z_][A-Za-z0-9_:]*)\s*\{", re.M)


def files_under(top, suffixes=("",)):
    for root, _, files in os.walk(top):
        for name in sorted(files):
            if not name.endswith(suffixes):
                continue
            path = os.path.join(root, name)
            with open(path, encoding="utf-8") as f:
                yield path, os.path.relpath(path, top).split(os.sep)[0], f.read()


def check_src(src, wrong):
    for path, folder, text in files_under(src):
        if folder not in ORDER:
            wrong.append(f"{path}: folder {folder} has no place in the order")
            continue
        for target in INCLUDE.findall(text):
            if target not in ORDER:
                wrong.append(f"{path}: includes {target}/, which has no place in the order")
            elif ORDER.index(target) < ORDER.index(folder):
                wrong.append(f"{path}: {folder}/ includes {target}/, a folder above it")
        for namespace in NAMESPACE.findall(text):
            if (folder == "app") != (namespace.split("::")[0] == "app"):
                wrong.append(f"{path}: {folder}/ opens namespace {namespace}")


def check_tests(tests, wrong):
    for path, folder, text in files_under(tests, (".cpp", ".h")):
        if folder != "app" and "app" in INCLUDE.findall(text):
            wrong.append(f"{path}: a test of {folder}/ includes app/")


def main():
    here = os.path.join(os.path.dirname(__file__), "..")
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "src")
    tests = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(src), "tests")
    wrong = []
    check_src(src, wrong)
    if os.path.isdir(tests):
        check_tests(tests, wrong)
    for line in wrong:
        print(line)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
