#!/usr/bin/env python3
"""Damaged copies of the Outlook data file samples, exported by the built program.

Each copy has one 512-byte block of its sample overwritten with random bytes
(block and bytes drawn from a seeded generator, so a sweep is repeatable). The
program exports each copy as a one-file profile, and its answer is compared
with that of the undamaged sample:

  same       exit 0, the same output as the undamaged file
  fewer      exit 0, fewer records than the undamaged file: either a message
             libpff cannot read, skipped as every unreadable item is, or
             contacts lost without a word, the worst answer (a folder taken
             for empty); --keep saves the copies to tell which
  changed    exit 0, as many records or more, but not the same bytes (a value
             changed by the damage; libpff checks no block checksum)
  failed-55  exit 55: a failing store (a damaged header or index), nothing written
  failed-56  exit 56: stopped part-way, the records before it are whole
  other      any other exit (a crash, a timeout)

Usage: bench/pst_damage_sweep.py PROGRAM SAMPLE_DIR [--copies 1100] [--seed 1]
[--show fewer,changed,other] [--keep DIR] [--jobs 4]. Prints the counts, and the copies of
the classes named by --show (sample, block offset); --keep saves those copies.
"""
import argparse
import collections
import concurrent.futures
import os
import queue
import random
import shutil
import subprocess
import sys
import tempfile

# The samples with contacts in their default contacts folder.
SAMPLES = [
    "hiraoka-contacts.pst",
    "hiraoka-contacts97-2002.pst",
    "javalibpst-dist-list.pst",
    "javalibpst-passworded.pst",
    "vitam-ContactCalendar-test.pst",
    "aspose-SampleContacts.pst",
    "aspose-Outlook.pst",
]
BLOCK = 512


def export(program, data, work):
    profile = os.path.join(work, "profile")
    os.makedirs(profile, exist_ok=True)
    with open(os.path.join(profile, "sample.pst"), "wb") as f:
        f.write(data)
    output = os.path.join(work, "out.csv")
    if os.path.exists(output):
        os.remove(output)
    env = dict(os.environ, CONTACT_EXPORT_PROFILE=profile)
    try:
        code = subprocess.run([program, output], env=env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60).returncode
    except subprocess.TimeoutExpired:
        code = "timeout"
    text = open(output, "rb").read() if os.path.exists(output) else b""
    return code, text


def records(text):
    return text.count(b"\r\n")


def classify(code, text, reference):
    if code == 0:
        if text == reference:
            return "same"
        return "fewer" if records(text) < records(reference) else "changed"
    if code in (55, 56):
        return "failed-%d" % code
    return "other"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("samples")
    parser.add_argument("--copies", type=int, default=1100)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--show", default="fewer,changed,other")
    parser.add_argument("--keep")
    parser.add_argument("--jobs", type=int, default=4)
    args = parser.parse_args()
    show = set(args.show.split(","))

    with tempfile.TemporaryDirectory() as work:
        # One copy of the program for each worker: the single-instance lock
        # belongs to the program file, and every run pauses for half a second.
        workers = []
        for j in range(args.jobs):
            folder = os.path.join(work, "worker%d" % j)
            os.makedirs(folder)
            program = os.path.join(folder, "contact-export")
            shutil.copy2(args.program, program)
            workers.append((program, folder))
        idle = queue.Queue()
        for worker in workers:
            idle.put(worker)

        def run(data):
            program, folder = idle.get()
            try:
                return export(program, data, folder)
            finally:
                idle.put((program, folder))

        originals = {}
        for name in SAMPLES:
            data = open(os.path.join(args.samples, name), "rb").read()
            code, text = run(data)
            if code != 0:
                sys.exit("%s: the undamaged sample exits %s" % (name, code))
            originals[name] = (data, text)

        rng = random.Random(args.seed)
        copies = []
        for i in range(args.copies):
            name = SAMPLES[i % len(SAMPLES)]
            data = originals[name][0]
            offset = rng.randrange(len(data) // BLOCK) * BLOCK
            damaged = bytearray(data)
            damaged[offset:offset + BLOCK] = rng.randbytes(BLOCK)
            copies.append((name, offset, bytes(damaged)))
        with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
            answers = list(pool.map(lambda copy: run(copy[2]), copies))

    counts = collections.Counter()
    by_sample = collections.defaultdict(collections.Counter)
    shown = []
    for (name, offset, damaged), (code, text) in zip(copies, answers):
        reference = originals[name][1]
        kind = classify(code, text, reference)
        counts[kind] += 1
        by_sample[name][kind] += 1
        if kind in show and args.keep:
            os.makedirs(args.keep, exist_ok=True)
            with open(os.path.join(args.keep, "%s-%s-%d.pst" % (kind, name, offset)), "wb") as f:
                f.write(damaged)
        if kind in show:
            shown.append("%-10s %s block at %d: exit %s, %d of %d records" %
                         (kind, name, offset, code, records(text), records(reference)))
    kinds = ["same", "fewer", "changed", "failed-55", "failed-56", "other"]
    print("copies %d, seed %d, one %d-byte block each" % (args.copies, args.seed, BLOCK))
    print("%-32s" % "sample" + "".join("%10s" % k for k in kinds))
    for name in SAMPLES:
        print("%-32s" % name + "".join("%10d" % by_sample[name][k] for k in kinds))
    print("%-32s" % "all" + "".join("%10d" % counts[k] for k in kinds))
    for line in shown:
        print(line)


if __name__ == "__main__":
    main()
