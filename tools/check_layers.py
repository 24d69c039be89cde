#!/usr/bin/env python3
"""Checks that includes between the folders of src/ run down only.

The folders, highest first: app, export, store, vcard, csv, om, text. A file
may include its own folder and any folder below it, never one above. Exits 1
and names each include that reaches up.

Usage: check_layers.py [SRC_DIR]   (default: the src/ beside tools/)
"""

import os
import re
import sys

ORDER = ["app", "export", "store", "vcard", "csv", "om", "text"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z0-9_]+)/', re.M)


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")
    wrong = []
    for root, _, files in os.walk(src):
        for name in sorted(files):
            path = os.path.join(root, name)
            folder = os.path.relpath(path, src).split(os.sep)[0]
            if folder not in ORDER:
                wrong.append(f"{path}: folder {folder} has no place in the order")
                continue
            with open(path, encoding="utf-8") as f:
                for target in INCLUDE.findall(f.read()):
                    if target not in ORDER:
                        wrong.append(f"{path}: includes {target}/, which has no place in the order")
                    elif ORDER.index(target) < ORDER.index(folder):
                        wrong.append(f"{path}: {folder}/ includes {target}/, a folder above it")
    for line in wrong:
        print(line)
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
