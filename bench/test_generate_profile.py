#!/usr/bin/python3
"""Tests of the profile generator: the benchmark figures are only comparable
when profiles are the same from run to run and both layouts hold the same
cards."""

import os
import re
import subprocess
import sys
import tempfile
import unittest

GENERATOR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "generate_profile.py")


def generate(out, count, layout, seed=1):
    result = subprocess.run([sys.executable, GENERATOR, "--count", str(count), "--layout", layout,
                             "--out", out, "--seed", str(seed)], check=True, capture_output=True, text=True)
    return int(result.stdout)


def walk_in_store_order(folder):
    """The .vcf files as the store visits them: a folder's files in byte order
    of their names, then its subfolders, depth-first."""
    entries = sorted(os.listdir(folder))
    files = [os.path.join(folder, e) for e in entries if e.endswith(".vcf")]
    dirs = [os.path.join(folder, e) for e in entries if os.path.isdir(os.path.join(folder, e))]
    for path in files:
        yield path
    for sub in dirs:
        yield from walk_in_store_order(sub)


def read_all(paths):
    data = []
    for path in paths:
        with open(path, "rb") as f:
            data.append(f.read())
    return b"".join(data)


class GeneratorTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)

    def test_same_seed_same_bytes_other_seed_other_bytes(self):
        generate(self.path("a"), 300, "single", seed=5)
        generate(self.path("b"), 300, "single", seed=5)
        generate(self.path("c"), 300, "single", seed=6)
        vcf = os.path.join("store", "Contacts", "all.vcf")
        a, b, c = (read_all([os.path.join(self.path(x), vcf)]) for x in "abc")
        self.assertEqual(a, b)
        self.assertNotEqual(a, c)

    def test_both_layouts_hold_the_same_cards_in_export_order(self):
        single = generate(self.path("single"), 500, "single")
        files = generate(self.path("files"), 500, "files")
        self.assertEqual(single, files)
        whole = read_all([os.path.join(self.path("single"), "store", "Contacts", "all.vcf")])
        paths = list(walk_in_store_order(os.path.join(self.path("files"), "store", "Contacts")))
        self.assertEqual(len(paths), 500)
        self.assertEqual(read_all(paths), whole)
        depths = {os.path.relpath(p, self.path("files")).count(os.sep) for p in paths}
        self.assertEqual(max(depths), 5)  # store/Contacts/gNN/hNN/iNN/card.vcf

    def test_mix_of_cards_and_the_reported_count(self):
        count = 4000
        reported = generate(self.path("p"), count, "single")
        text = read_all([os.path.join(self.path("p"), "store", "Contacts", "all.vcf")]).decode("utf-8")
        cards = re.findall(r"BEGIN:VCARD\r\n.*?END:VCARD\r\n", text, re.S)
        self.assertEqual(len(cards), count)
        skipped = [c for c in cards if "KIND:group" in c or "\r\nFN:\r\n" in c]
        self.assertEqual(reported, count - len(skipped))
        self.assertTrue(0.03 < len(skipped) / count < 0.07, len(skipped))
        photos = [c for c in cards if "PHOTO" in c]
        self.assertTrue(0.07 < len(photos) / count < 0.13, len(photos))
        for version in ("2.1", "3.0", "4.0"):
            self.assertTrue(any(f"VERSION:{version}\r\n" in c for c in cards), version)
        for reading in ("X-PHONETIC-LAST-NAME:", "SORT-AS=", "SOUND;X-IRMC-N"):
            self.assertIn(reading, text)
        self.assertTrue(any(r"\n" in c and "NOTE:" in c for c in cards), "multi-line notes")

    def test_lines_are_folded_as_writers_fold_them(self):
        generate(self.path("p"), 400, "single")
        data = read_all([os.path.join(self.path("p"), "store", "Contacts", "all.vcf")])
        cards = re.findall(rb"BEGIN:VCARD\r\n.*?END:VCARD\r\n", data, re.S)
        for card in cards:
            lines = card.split(b"\r\n")
            if b"VERSION:2.1" in card:
                # Phones leave 2.1 lines long; quoted-printable lines stop at 76.
                qp = [line for line in lines if b"QUOTED-PRINTABLE" in line or line.startswith(b"=")]
                self.assertTrue(qp)
                self.assertEqual([line for line in qp if len(line) > 76], [])
            else:
                self.assertEqual([line for line in lines if len(line) > 75], [])
                # Folding never cuts a character: every physical line is UTF-8.
                for line in lines:
                    line.decode("utf-8")


if __name__ == "__main__":
    unittest.main()
