#!/usr/bin/env python3
"""Generates a benchmark profile of N contacts, deterministically from a seed.

Two layouts of the same N cards:
  files   one card per file, in a folder tree three levels deep under
          <out>/store/Contacts (Contacts/gNN/hNN/iNN, cards in every folder;
          2 to 10 subfolders per folder, depending on N)
  single  all N cards in one file, <out>/store/Contacts/all.vcf

The values look like what phones and address books export for a Japanese
address book: kanji names with kana readings (X-PHONETIC-*, SORT-AS, or
SOUND;X-IRMC-N depending on the dialect), home and work addresses, several
phone numbers, e-mail, multi-line notes; about one card in ten carries a
20 KB base64 PHOTO, about one in twenty is a group or has no name at all.

Usage: generate_profile.py --count N --layout files|single --out DIR [--seed S]
Prints the number of contacts that the export should write (named contact
cards, not groups or nameless cards).
"""

import argparse
import base64
import functools
import os
import random
import sys

SURNAMES = [
    ("佐藤", "さとう"), ("鈴木", "すずき"), ("高橋", "たかはし"), ("田中", "たなか"),
    ("伊藤", "いとう"), ("渡辺", "わたなべ"), ("山本", "やまもと"), ("中村", "なかむら"),
    ("小林", "こばやし"), ("加藤", "かとう"), ("吉田", "よしだ"), ("山田", "やまだ"),
    ("佐々木", "ささき"), ("山口", "やまぐち"), ("松本", "まつもと"), ("井上", "いのうえ"),
    ("木村", "きむら"), ("林", "はやし"), ("斎藤", "さいとう"), ("清水", "しみず"),
    ("山崎", "やまざき"), ("森", "もり"), ("池田", "いけだ"), ("橋本", "はしもと"),
    ("阿部", "あべ"), ("石川", "いしかわ"), ("長谷川", "はせがわ"), ("髙田", "たかだ"),
]
GIVEN = [
    ("太郎", "たろう"), ("花子", "はなこ"), ("翔太", "しょうた"), ("美咲", "みさき"),
    ("健一", "けんいち"), ("陽子", "ようこ"), ("大輔", "だいすけ"), ("由美", "ゆみ"),
    ("誠", "まこと"), ("恵", "めぐみ"), ("拓也", "たくや"), ("彩", "あや"),
    ("直樹", "なおき"), ("真由美", "まゆみ"), ("浩二", "こうじ"), ("裕子", "ゆうこ"),
    ("蓮", "れん"), ("陽菜", "ひな"), ("湊", "みなと"), ("結衣", "ゆい"),
]
COMPANIES = [
    ("株式会社山田製作所", "ヤマダセイサクショ"), ("東京システム開発株式会社", "トウキョウシステムカイハツ"),
    ("合同会社みなと商事", "ミナトショウジ"), ("大阪電機工業株式会社", "オオサカデンキコウギョウ"),
    ("北海道フーズ株式会社", "ホッカイドウフーズ"), ("有限会社さくら不動産", "サクラフドウサン"),
    ("Contoso Japan K.K.", ""), ("株式会社ネクスト・ソリューションズ", "ネクストソリューションズ"),
]
DEPARTMENTS = ["営業部", "総務部", "開発本部 第二開発部", "経理課", "人事部", "購買部", ""]
TITLES = ["部長", "課長", "主任", "代表取締役", "エンジニア", "係長", ""]
PREFECTURES = [
    ("東京都", "千代田区", "100-0001"), ("大阪府", "大阪市北区", "530-0001"),
    ("神奈川県", "横浜市西区", "220-0011"), ("愛知県", "名古屋市中村区", "450-0002"),
    ("北海道", "札幌市中央区", "060-0001"), ("福岡県", "福岡市博多区", "812-0011"),
    ("京都府", "京都市下京区", "600-8216"), ("宮城県", "仙台市青葉区", "980-0021"),
]
STREETS = ["丸の内1-1-1", "梅田3-1-3", "みなとみらい2-2-1", "名駅1-1-4", "北1条西2丁目",
           "博多駅前2-1-1", "烏丸通七条下る", "中央1-1-1"]
BUILDINGS = ["グランドタワー12階", "第一ビル305号", "", "", "サンシャインハイツ201"]
NOTE_LINES = [
    "2019年の展示会で名刺交換。", "請求書は月末締め、翌月払い。", "担当変更あり（旧担当：山本）",
    "年賀状：毎年送付", "メールより電話の方が早い。", "駐車場あり、受付は2階。",
    "Prefers English for contracts.", "誕生日にカードを送ること", "「至急」の件は携帯へ",
    "会議室予約は社内システムから",
]
DOMAINS = ["example.co.jp", "example.jp", "example.com", "mail.example.ne.jp"]
ROMAJI = ["sato", "suzuki", "takahashi", "tanaka", "ito", "watanabe", "yamamoto", "nakamura"]

PHOTO_BLOBS = 8
PHOTO_BASE64_BYTES = 20 * 1024
MAX_FANOUT = 10  # subfolders per folder; three levels: at most 10 + 100 + 1000 folders


def escape(text):
    """vCard 3.0/4.0 escaping of one value component."""
    return (text.replace("\\", "\\\\").replace(",", "\\,").replace(";", "\\;")
            .replace("\r\n", "\\n").replace("\n", "\\n"))


def fold(line):
    """Folds a content line at 75 octets without splitting a character."""
    if len(line) <= 25 or len(line.encode("utf-8")) <= 75:
        return line + "\r\n"
    return fold_long(line)


@functools.lru_cache(maxsize=None)
def fold_long(line):
    """fold() of a long line. Long lines repeat (notes, addresses, photos),
    so their results are kept."""
    if line.isascii():
        rest = "\r\n ".join(line[k:k + 74] for k in range(75, len(line), 74))
        return line[:75] + ("\r\n " + rest if rest else "") + "\r\n"
    parts, current, size, limit = [], [], 0, 75
    for ch in line:
        n = len(ch.encode("utf-8"))
        if size + n > limit:
            parts.append("".join(current))
            current, size, limit = [], 0, 74  # continuation lines start with a space
        current.append(ch)
        size += n
    parts.append("".join(current))
    return "\r\n ".join(parts) + "\r\n"


def make_photos(rng):
    blobs = []
    for _ in range(PHOTO_BLOBS):
        data = bytes(rng.getrandbits(8) for _ in range(PHOTO_BASE64_BYTES * 3 // 4))
        blobs.append(base64.b64encode(b"\xff\xd8\xff\xe0" + data[4:]).decode("ascii"))
    return blobs


def phone(rng, prefix):
    return f"{prefix}-{rng.randrange(1000, 9999)}-{rng.randrange(1000, 9999)}"


def note(rng):
    lines = rng.sample(NOTE_LINES, rng.randrange(2, 5))
    return "\n".join(lines)


def contact_fields(rng, i):
    """The values of one named contact."""
    last, last_yomi = rng.choice(SURNAMES)
    first, first_yomi = rng.choice(GIVEN)
    company, company_yomi = rng.choice(COMPANIES)
    pref, city, zipcode = rng.choice(PREFECTURES)
    wpref, wcity, wzip = rng.choice(PREFECTURES)
    return {
        "last": last, "first": first, "last_yomi": last_yomi, "first_yomi": first_yomi,
        "company": company, "company_yomi": company_yomi,
        "dept": rng.choice(DEPARTMENTS), "title": rng.choice(TITLES),
        "home": (rng.choice(BUILDINGS), rng.choice(STREETS), city, pref, zipcode),
        "work": ("本社", rng.choice(STREETS), wcity, wpref, wzip),
        "cell": phone(rng, "090"), "tel_home": phone(rng, "03"), "tel_work": phone(rng, "06"),
        "fax_work": phone(rng, "06"),
        "email": f"{rng.choice(ROMAJI)}.{i}@{rng.choice(DOMAINS)}",
        "bday": f"{rng.randrange(1950, 2005)}-{rng.randrange(1, 13):02d}-{rng.randrange(1, 29):02d}",
        "note": note(rng),
    }


def adr(kind, a):
    ext, street, city, pref, zipcode = a
    return f"ADR;TYPE={kind}:;{escape(ext)};{escape(street)};{escape(city)};{escape(pref)};{zipcode};日本"


def card_v30(f, photo):
    """Apple / Google style 3.0 card."""
    lines = [
        "BEGIN:VCARD", "VERSION:3.0",
        f"N:{escape(f['last'])};{escape(f['first'])};;;",
        f"FN:{escape(f['last'])} {escape(f['first'])}",
        f"X-PHONETIC-LAST-NAME:{f['last_yomi']}", f"X-PHONETIC-FIRST-NAME:{f['first_yomi']}",
        f"ORG:{escape(f['company'])};{escape(f['dept'])}",
        f"X-PHONETIC-ORG:{f['company_yomi']}",
        f"TITLE:{escape(f['title'])}",
        f"EMAIL;TYPE=INTERNET;TYPE=WORK:{f['email']}",
        f"TEL;TYPE=CELL:{f['cell']}", f"TEL;TYPE=HOME:{f['tel_home']}",
        f"TEL;TYPE=WORK:{f['tel_work']}", f"TEL;TYPE=WORK;TYPE=FAX:{f['fax_work']}",
        adr("HOME", f["home"]), adr("WORK", f["work"]),
        f"item1.URL:https\\://www.{f['email'].split('@')[1]}/", "item1.X-ABLabel:_$!<HomePage>!$_",
        f"BDAY:{f['bday']}",
        f"NOTE:{escape(f['note'])}",
    ]
    if photo:
        lines.append(f"PHOTO;ENCODING=b;TYPE=JPEG:{photo}")
    lines.append("END:VCARD")
    return "".join(fold(line) for line in lines)


def card_v40(f, photo):
    """4.0 card with SORT-AS readings."""
    lines = [
        "BEGIN:VCARD", "VERSION:4.0", "KIND:individual",
        f"N;SORT-AS=\"{f['last_yomi']},{f['first_yomi']}\":{escape(f['last'])};{escape(f['first'])};;;",
        f"FN:{escape(f['last'])} {escape(f['first'])}",
        f"ORG;SORT-AS=\"{f['company_yomi']}\":{escape(f['company'])};{escape(f['dept'])}",
        f"TITLE:{escape(f['title'])}",
        f"EMAIL;TYPE=work:{f['email']}",
        f"TEL;VALUE=uri;TYPE=cell:tel:{f['cell']}", f"TEL;TYPE=home,voice:{f['tel_home']}",
        f"TEL;TYPE=work,voice:{f['tel_work']}",
        adr("work", f["work"]), adr("home", f["home"]),
        f"BDAY:{f['bday'].replace('-', '')}",
        f"ANNIVERSARY:{2000 + int(f['bday'][2:4]) % 20}0401",
        f"NOTE:{escape(f['note'])}",
    ]
    if photo:
        lines.append(f"PHOTO:data:image/jpeg;base64,{photo}")
    lines.append("END:VCARD")
    return "".join(fold(line) for line in lines)


def soft_breaks(qp, first):
    """Quoted-printable soft line breaks: lines of at most 76 octets with the
    '=' (the first line holds `first` octets of name and parameters before
    the value), no escape cut in two."""
    out, start, room = [], 0, 75 - first
    while len(qp) - start > room:
        end = start + room
        while qp[end - 1] == "=" or qp[end - 2] == "=":
            end -= 1
        out.append(qp[start:end])
        start, room = end, 75
    out.append(qp[start:])
    return "=\r\n".join(out)


def card_v21(f, photo):
    """Outlook / feature-phone style 2.1 card (UTF-8, readings in SOUND;X-IRMC-N)."""
    ext, street, city, pref, zipcode = f["home"]
    lines = [
        "BEGIN:VCARD", "VERSION:2.1",
        f"N;CHARSET=UTF-8:{f['last']};{f['first']};;;",
        f"FN;CHARSET=UTF-8:{f['last']} {f['first']}",
        f"SOUND;X-IRMC-N;CHARSET=UTF-8:{f['last_yomi']};{f['first_yomi']};;;",
        f"ORG;CHARSET=UTF-8:{f['company']};{f['dept']}",
        f"TITLE;CHARSET=UTF-8:{f['title']}",
        f"TEL;CELL;VOICE:{f['cell']}", f"TEL;HOME;VOICE:{f['tel_home']}",
        f"TEL;WORK;VOICE:{f['tel_work']}", f"TEL;WORK;FAX:{f['fax_work']}",
        f"ADR;HOME;CHARSET=UTF-8:;{ext};{street};{city};{pref};{zipcode};日本",
        f"EMAIL;PREF;INTERNET:{f['email']}",
        f"X-MS-MANAGER;CHARSET=UTF-8:{f['last']}部長",
        f"BDAY:{f['bday'].replace('-', '')}",
    ]
    # A 2.1 note keeps its line breaks through quoted-printable.
    qp = "".join(f"={b:02X}" if b >= 0x80 or b in (0x3D,) else chr(b)
                 for b in f["note"].replace("\n", "\r\n").encode("utf-8"))
    qp = qp.replace("\r", "=0D").replace("\n", "=0A")
    name = "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:"
    lines.append(name + soft_breaks(qp, len(name)))
    out = "".join(line + "\r\n" for line in lines)
    if photo:
        body = "\r\n".join("  " + photo[k:k + 72] for k in range(0, len(photo), 72))
        out += f"PHOTO;ENCODING=BASE64;TYPE=JPEG:\r\n{body}\r\n\r\n"
    return out + "END:VCARD\r\n"


def group_card(rng, i):
    names = ", ".join(f"{rng.choice(SURNAMES)[0]}" for _ in range(3))
    return ("BEGIN:VCARD\r\nVERSION:3.0\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
            f"N:グループ{i};;;;\r\nFN:グループ{i}\r\n"
            f"NOTE:{escape(names)}\r\n"
            f"X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:{rng.getrandbits(64):016x}\r\nEND:VCARD\r\n")


def nameless_card(rng):
    return ("BEGIN:VCARD\r\nVERSION:3.0\r\nN:;;;;\r\nFN:\r\n"
            f"TEL;TYPE=CELL:{phone(rng, '080')}\r\nEMAIL:unknown{rng.randrange(10**6)}@example.jp\r\n"
            "END:VCARD\r\n")


def cards(count, seed):
    """Yields (text, is_exported) for `count` cards."""
    rng = random.Random(seed)
    photos = make_photos(rng)
    for i in range(count):
        r = rng.random()
        if r < 0.025:
            yield group_card(rng, i), False
            continue
        if r < 0.05:
            yield nameless_card(rng), False
            continue
        f = contact_fields(rng, i)
        photo = photos[i % PHOTO_BLOBS] if rng.random() < 0.1 else None
        d = rng.random()
        maker = card_v30 if d < 0.7 else card_v40 if d < 0.85 else card_v21
        yield maker(f, photo), True


def folder_paths(root, count):
    """Contacts itself and its three levels of subfolders, depth-first: as
    many as keep about a hundred cards or more in each folder, at least 2 and
    at most 10 subfolders per folder."""
    fanout = max(2, min(MAX_FANOUT, int((count / 100) ** (1 / 3) + 1e-9)))
    paths = [root]
    for a in range(fanout):
        pa = os.path.join(root, f"g{a:02d}")
        paths.append(pa)
        for b in range(fanout):
            pb = os.path.join(pa, f"h{b:02d}")
            paths.append(pb)
            for c in range(fanout):
                paths.append(os.path.join(pb, f"i{c:02d}"))
    return paths


def write_files(out, count, seed):
    folders = folder_paths(os.path.join(out, "store", "Contacts"), count)
    for path in folders:
        os.makedirs(path, exist_ok=True)
    exported = 0
    for i, (text, named) in enumerate(cards(count, seed)):
        exported += named
        # Consecutive cards share a folder, as a sync client would write them.
        folder = folders[i * len(folders) // count]
        # os.open/os.write: three system calls a file, which matters for 1M files.
        fd = os.open(os.path.join(folder, f"{i:07d}.vcf"), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        try:
            os.write(fd, text.encode("utf-8"))
        finally:
            os.close(fd)
    return exported


def write_single(out, count, seed):
    folder = os.path.join(out, "store", "Contacts")
    os.makedirs(folder, exist_ok=True)
    exported = 0
    with open(os.path.join(folder, "all.vcf"), "w", encoding="utf-8", newline="",
              buffering=1 << 20) as f:
        for text, named in cards(count, seed):
            exported += named
            f.write(text)
    return exported


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--count", type=int, required=True)
    parser.add_argument("--layout", choices=["files", "single"], required=True)
    parser.add_argument("--out", required=True, help="profile directory to create")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    if args.count < 1:
        sys.exit("--count must be at least 1")
    writer = write_files if args.layout == "files" else write_single
    print(writer(args.out, args.count, args.seed))


if __name__ == "__main__":
    main()
