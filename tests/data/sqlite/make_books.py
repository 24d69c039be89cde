#!/usr/bin/env python3
"""Writes the address-book databases the SQLite store tests read.

Thunderbird books are made with python3's sqlite3 in the schema Thunderbird's
address-book module creates (properties, lists, list_cards, user_version,
WAL journal). Evolution books are made by Evolution's own data-server library
(gir1.2-edatabook-1.2 and python3-gi): contacts.db by EBookSqlite, cache.db
by EBookCache. Run from anywhere; the files are written beside this script:

    python3 tests/data/sqlite/make_books.py            # all books
    python3 tests/data/sqlite/make_books.py thunderbird   # without Evolution
"""
import os
import sqlite3
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

TB_SCHEMA = """
CREATE TABLE properties (card TEXT, name TEXT, value TEXT);
CREATE TABLE lists (uid TEXT PRIMARY KEY, name TEXT, nickName TEXT, description TEXT);
CREATE TABLE list_cards (list TEXT, card TEXT, PRIMARY KEY(list, card));
CREATE INDEX properties_card ON properties(card);
CREATE INDEX properties_name ON properties(name);
"""


def crlf(*lines):
    return "\r\n".join(lines) + "\r\n"


# A book of Thunderbird 102 and later: each card is one vCard, beside the
# few properties Thunderbird keeps outside it.
JAPANESE_VCARD = crlf(
    "BEGIN:VCARD", "VERSION:4.0",
    "N:山田;太郎;;;様",
    "FN:山田 太郎",
    "NICKNAME:たろう",
    "EMAIL;PREF=1:taro@example.jp",
    "TEL;TYPE=cell;VALUE=TEXT:090-1111-2222",
    "TEL;TYPE=work;VALUE=TEXT:03-1111-2222",
    "ADR;TYPE=work:;;丸の内1-1;千代田区;東京都;100-0005;日本",
    "ORG:例示商事;営業部",
    "TITLE:課長",
    "BDAY;VALUE=DATE:19800215",
    "NOTE:メモ",
    "UID:0b4c5a1e-57a5-4d4f-9a8e-7d2b3c4d5e6f",
    "END:VCARD")

PLAIN_VCARD = crlf(
    "BEGIN:VCARD", "VERSION:4.0",
    "N:Zeta;Anna;;;", "FN:Anna Zeta",
    "EMAIL:anna@example.com",
    "UID:A0000000-0000-4000-8000-000000000001",
    "END:VCARD")

TB_CARDS = [
    # Ordered on purpose against byte order: the store sorts by card text.
    ("b1e0c6a4-2f7e-4c2b-8e55-1a2b3c4d5e6f", [
        # A card written before Thunderbird 102: one row per field.
        ("FirstName", "John"), ("LastName", "Smith"), ("DisplayName", "Johnny Smith"),
        ("NickName", "JS"), ("PhoneticFirstName", "jon"), ("PhoneticLastName", "sumisu"),
        ("PrimaryEmail", "john@example.com"),
        ("HomeAddress", "1 Main St"), ("HomeAddress2", "Flat 2"), ("HomeCity", "Springfield"),
        ("HomeState", "IL"), ("HomeZipCode", "62701"), ("HomeCountry", "USA"),
        ("WorkAddress", "9 Work Rd"), ("WorkCity", "Chicago"), ("WorkState", "IL"),
        ("WorkZipCode", "60601"), ("WorkCountry", "USA"),
        ("WorkPhone", "555-0100"), ("HomePhone", "555-0101"), ("FaxNumber", "555-0102"),
        ("PagerNumber", "555-0103"), ("CellularNumber", "555-0104"),
        ("JobTitle", "Engineer"), ("Department", "R&D"), ("Company", "Acme"),
        ("WebPage1", "https://acme.example"), ("WebPage2", "https://john.example"),
        ("BirthYear", "1970"), ("BirthMonth", "7"), ("BirthDay", "4"),
        ("Notes", "line one\nline two"), ("LastModifiedDate", "1600000000"),
    ]),
    ("0b4c5a1e-57a5-4d4f-9a8e-7d2b3c4d5e6f", [
        ("_vCard", JAPANESE_VCARD), ("PrimaryEmail", "taro@example.jp"),
        ("LastModifiedDate", "1700000000"), ("PopularityIndex", "3"),
    ]),
    ("A0000000-0000-4000-8000-000000000001", [("_vCard", PLAIN_VCARD)]),
    ("c2f1d7b5-3a8f-4d3c-9f66-2b3c4d5e6f70", [
        # Old-style card whose birthday is no real date (30 February).
        ("DisplayName", "Only Display"), ("BirthYear", "2001"), ("BirthMonth", "2"),
        ("BirthDay", "30"), ("Company", "Lone Co"),
    ]),
]

TB_LISTS = [("d3a2e8c6-4b90-4e4d-8a77-3c4d5e6f7081", "Friends", "fr", "Close friends")]


def write_thunderbird(path, cards=TB_CARDS, lists=TB_LISTS):
    for suffix in ("", "-wal", "-shm", "-journal"):
        if os.path.exists(path + suffix):
            os.remove(path + suffix)
    con = sqlite3.connect(path)
    con.execute("PRAGMA journal_mode=WAL")
    con.executescript(TB_SCHEMA)
    con.execute("PRAGMA user_version = 3")
    with con:
        for card, rows in cards:
            con.executemany("INSERT INTO properties VALUES (?, ?, ?)",
                            [(card, name, value) for name, value in rows])
        for uid, name, nick, description in lists:
            con.execute("INSERT INTO lists VALUES (?, ?, ?, ?)", (uid, name, nick, description))
            for card, _ in cards[:2]:
                con.execute("INSERT INTO list_cards VALUES (?, ?)", (uid, card))
    con.close()  # the last connection checkpoints and removes the -wal


EVO_CONTACTS = [
    crlf("BEGIN:VCARD", "VERSION:3.0", "UID:pas-id-0002", "N:Brown;Carol;;Dr.;",
         "FN:Carol Brown", "TEL;TYPE=HOME,VOICE:+44 20 7946 0000",
         "ADR;TYPE=HOME:;;10 High St;London;;SW1A 1AA;UK", "ORG:Brown Ltd", "END:VCARD"),
    crlf("BEGIN:VCARD", "VERSION:3.0", "UID:pas-id-0001", "N:佐藤;花子;;;",
         "FN:佐藤 花子", "X-PHONETIC-LAST-NAME:さとう", "EMAIL;TYPE=WORK:hanako@example.jp",
         "BDAY:1990-03-03", "END:VCARD"),
    crlf("BEGIN:VCARD", "VERSION:3.0", "UID:pas-id-0003", "FN:Team", "N:;;;;",
         "X-EVOLUTION-LIST:TRUE", "EMAIL;X-EVOLUTION-DEST-CONTACT-UID=pas-id-0001:hanako@example.jp",
         "END:VCARD"),
]


def write_evolution(folder):
    import gi
    gi.require_version("EDataBook", "1.2")
    gi.require_version("EBookContacts", "1.2")
    gi.require_version("EBackend", "1.2")
    from gi.repository import EBackend, EBookContacts, EDataBook

    contacts = os.path.join(folder, "contacts.db")
    if os.path.exists(contacts):
        os.remove(contacts)
    book = EDataBook.BookSqlite.new(contacts, None, None)
    for text in EVO_CONTACTS:
        book.add_contact(EBookContacts.Contact.new_from_vcard(text), "", True, None)
    del book

    cache = os.path.join(folder, "cache.db")
    if os.path.exists(cache):
        os.remove(cache)
    book_cache = EDataBook.BookCache.new(cache, None, None)
    online = EBackend.CacheOfflineFlag.IS_ONLINE
    offline = EBackend.CacheOfflineFlag.IS_OFFLINE
    # One contact from the server, one made while offline, the server's
    # list; then the server's contact deleted while offline: the cache keeps
    # it, marked locally deleted, until the next synchronisation.
    for text, flag in zip(EVO_CONTACTS, (online, offline, online)):
        book_cache.put_contact(EBookContacts.Contact.new_from_vcard(text), "", 0, flag, None)
    book_cache.remove_contact("pas-id-0002", 0, offline, None)
    del book_cache


def write_other(path):
    """A sound SQLite database that is no address book (a browser's history)."""
    if os.path.exists(path):
        os.remove(path)
    con = sqlite3.connect(path)
    con.executescript("CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url TEXT, title TEXT);"
                      "INSERT INTO moz_places (url, title) VALUES ('https://example.com/', 'Example');")
    con.close()


if __name__ == "__main__":
    which = sys.argv[1:] or ["thunderbird", "evolution"]
    if "thunderbird" in which:
        os.makedirs(os.path.join(HERE, "other"), exist_ok=True)
        write_other(os.path.join(HERE, "other", "places.sqlite"))
    if "thunderbird" in which:
        os.makedirs(os.path.join(HERE, "thunderbird"), exist_ok=True)
        write_thunderbird(os.path.join(HERE, "thunderbird", "abook.sqlite"))
    if "evolution" in which:
        os.makedirs(os.path.join(HERE, "evolution"), exist_ok=True)
        write_evolution(os.path.join(HERE, "evolution"))
