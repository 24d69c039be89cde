#!/usr/bin/env python3
"""Writes a Thunderbird address book (abook.sqlite, Thunderbird's schema, WAL
journal) of COUNT contacts for timing the SQLite store:

    python3 bench/generate_thunderbird_book.py 100000 /tmp/tb/abook.sqlite
    /usr/bin/time -f '%e %M' env CONTACT_EXPORT_PROFILE=/tmp/tb/abook.sqlite \\
        build/contact-export /tmp/tb.csv

Each card is a Thunderbird 102 card: a vCard 4.0 (names, two e-mail
addresses, three numbers, a work address, organisation, title, birthday and
a note) beside the properties Thunderbird keeps next to it.
"""
import os
import sqlite3
import sys
import uuid

SCHEMA = """
CREATE TABLE properties (card TEXT, name TEXT, value TEXT);
CREATE TABLE lists (uid TEXT PRIMARY KEY, name TEXT, nickName TEXT, description TEXT);
CREATE TABLE list_cards (list TEXT, card TEXT, PRIMARY KEY(list, card));
CREATE INDEX properties_card ON properties(card);
CREATE INDEX properties_name ON properties(name);
"""


def card(i, uid):
    return "\r\n".join([
        "BEGIN:VCARD", "VERSION:4.0",
        f"N:Family{i};Given{i};;;",
        f"FN:Given{i} Family{i}",
        f"EMAIL;PREF=1:given{i}@example.com",
        f"EMAIL;TYPE=work:g{i}@work.example",
        f"TEL;TYPE=work;VALUE=TEXT:+1 555 {i % 10000:04d}",
        f"TEL;TYPE=cell;VALUE=TEXT:+1 556 {i % 10000:04d}",
        f"TEL;TYPE=home;VALUE=TEXT:+1 557 {i % 10000:04d}",
        f"ADR;TYPE=work:;;{i} Main Street;Springfield;IL;{62700 + i % 100};USA",
        f"ORG:Company {i % 500};Department {i % 7}",
        "TITLE:Engineer",
        f"BDAY;VALUE=DATE:19{50 + i % 50}{1 + i % 12:02d}{1 + i % 28:02d}",
        f"NOTE:Contact number {i}",
        f"UID:{uid}",
        "END:VCARD", ""])


def main():
    count, path = int(sys.argv[1]), sys.argv[2]
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    for suffix in ("", "-wal", "-shm"):
        if os.path.exists(path + suffix):
            os.remove(path + suffix)
    con = sqlite3.connect(path)
    con.execute("PRAGMA journal_mode=WAL")
    con.executescript(SCHEMA)
    con.execute("PRAGMA user_version = 3")
    rows = []
    for i in range(count):
        uid = str(uuid.UUID(int=(i * 0x9E3779B97F4A7C15) % (1 << 128), version=4))
        rows += [(uid, "_vCard", card(i, uid)), (uid, "PrimaryEmail", f"given{i}@example.com"),
                 (uid, "LastModifiedDate", str(1700000000 + i))]
    with con:
        con.executemany("INSERT INTO properties VALUES (?, ?, ?)", rows)
    con.close()


if __name__ == "__main__":
    main()
