#!/usr/bin/python3
"""The comparison peer: what a user would write instead of using our tool.

Reads every .vcf file under a profile (folders depth-first, names in byte
order) with Debian's python3-vobject, and writes the same 55 columns with the
csv module in code page 932, CR LF, every field quoted, line breaks inside
values flattened. Groups and cards without any name are skipped.

Usage: peer_vobject.py PROFILE OUTPUT.csv
Prints the number of records written and the seconds the export took.
"""

import csv
import os
import sys
import time

import vobject

COLUMNS = (
    "lastname FirstName Suffix YomiLastName YomiFirstName FileAs HomeAddressPostalCode "
    "HomeAddressCountry HomeAddressState HomeAddressCity HomeAddressStreet NickName "
    "MobileTelephoneNumber HomeTelephoneNumber Home2TelephoneNumber HomeFaxNumber PersonalHomePage "
    "Birthday Body CompanyName YomiCompanyName OfficeLocation Department JobTitle Title "
    "Business2TelephoneNumber BusinessAddressPostalCode BusinessAddressCountry BusinessAddressState "
    "BusinessAddressCity BusinessAddressStreet CompanyMainTelephoneNumber BusinessTelephoneNumber "
    "BusinessFaxNumber BusinessHomePage CallbackTelephoneNumber CarTelephoneNumber Initials "
    "ISDNNumber ManagerName OtherAddressPostalCode OtherAddressCountry OtherAddressState "
    "OtherAddressCity OtherAddressStreet OtherTelephoneNumber OtherFaxNumber PagerNumber Profession "
    "RadioTelephoneNumber TelexNumber TTYTDDTelephoneNumber Anniversary AssistantName "
    "AssistantTelephoneNumber"
).split()


def vcf_files(profile):
    for root, dirs, files in os.walk(profile):
        dirs[:] = sorted(d for d in dirs if not d.startswith("."))
        for name in sorted(files):
            if name.lower().endswith(".vcf") and not name.startswith("."):
                yield os.path.join(root, name)


def types(prop):
    words = {w.lower() for w in getattr(prop, "singletonparams", [])}  # 2.1: TEL;HOME
    for key, values in prop.params.items():
        for v in values if key == "TYPE" else [key]:
            words.update(w.strip().lower() for w in v.split(","))
    return words


def text(prop):
    value = prop.value
    if isinstance(value, list):
        value = ",".join(str(v) for v in value)
    return str(value)


def date(value):
    digits = str(value).replace("-", "")[:8]
    if len(digits) == 8 and digits.isdigit():
        return f"{digits[:4]}-{digits[4:6]}-{digits[6:]}"
    return ""


def record(card):
    row = dict.fromkeys(COLUMNS, "")
    props = card.contents

    def first(name):
        found = props.get(name.lower())
        return text(found[0]) if found else ""

    if "n" in props:
        n = props["n"][0].value
        row["lastname"], row["FirstName"] = n.family, n.given
        row["Title"], row["Suffix"] = n.prefix, n.suffix
    row["FileAs"] = first("FN")
    row["YomiLastName"] = first("X-PHONETIC-LAST-NAME")
    row["YomiFirstName"] = first("X-PHONETIC-FIRST-NAME")
    if not row["YomiLastName"] and "n" in props and "SORT-AS" in props["n"][0].params:
        parts = ",".join(props["n"][0].params["SORT-AS"]).split(",") + ["", ""]
        row["YomiLastName"], row["YomiFirstName"] = parts[0], parts[1]
    if not row["YomiLastName"] and "sound" in props:
        parts = text(props["sound"][0]).split(";") + ["", ""]
        row["YomiLastName"], row["YomiFirstName"] = parts[0], parts[1]
    if "org" in props:
        org = props["org"][0].value + ["", ""]
        row["CompanyName"], row["Department"] = org[0], org[1]
    row["YomiCompanyName"] = first("X-PHONETIC-ORG")
    if not row["YomiCompanyName"] and "org" in props:
        row["YomiCompanyName"] = ",".join(props["org"][0].params.get("SORT-AS", []))
    row["JobTitle"], row["Profession"] = first("TITLE"), first("ROLE")
    row["NickName"], row["ManagerName"] = first("NICKNAME"), first("X-MS-MANAGER")
    row["Body"] = "\r\n".join(text(p) for p in props.get("note", []))
    row["Birthday"], row["Anniversary"] = date(first("BDAY")), date(first("ANNIVERSARY"))
    for prop in props.get("adr", []):
        t, a = types(prop), prop.value
        kind = "Home" if "home" in t else "Business" if "work" in t else "Other"
        if row[kind + "AddressCity"] or row[kind + "AddressStreet"]:
            continue
        street = a.street if kind == "Business" or not a.extended else a.extended + "\r\n" + a.street
        row[kind + "AddressStreet"], row[kind + "AddressCity"] = street, a.city
        row[kind + "AddressState"], row[kind + "AddressPostalCode"] = a.region, a.code
        row[kind + "AddressCountry"] = a.country
        if kind == "Business":
            row["OfficeLocation"] = a.extended
    for prop in props.get("tel", []):
        t, number = types(prop), text(prop).removeprefix("tel:")
        if "fax" in t:
            column = "HomeFaxNumber" if "home" in t else "BusinessFaxNumber" if "work" in t else "OtherFaxNumber"
        elif "cell" in t:
            column = "MobileTelephoneNumber"
        elif "home" in t:
            column = "HomeTelephoneNumber" if not row["HomeTelephoneNumber"] else "Home2TelephoneNumber"
        elif "work" in t:
            column = "BusinessTelephoneNumber" if not row["BusinessTelephoneNumber"] else "Business2TelephoneNumber"
        else:
            column = "PagerNumber" if "pager" in t else "OtherTelephoneNumber"
        if not row[column]:
            row[column] = number
    for prop in props.get("url", []):
        column = "BusinessHomePage" if "work" in types(prop) else "PersonalHomePage"
        if not row[column]:
            row[column] = text(prop).replace("\\:", ":")
    # Every line break inside a value becomes one space.
    return [" ".join(row[c].splitlines()) for c in COLUMNS]


def is_group(card):
    kind = card.contents.get("kind") or card.contents.get("x-addressbookserver-kind")
    return bool(kind) and text(kind[0]).lower() == "group"


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    profile, output = sys.argv[1], sys.argv[2]
    start = time.perf_counter()
    written = 0
    with open(output, "w", encoding="cp932", errors="replace", newline="") as out:
        writer = csv.writer(out, quoting=csv.QUOTE_ALL, lineterminator="\r\n")
        for path in vcf_files(profile):
            with open(path, encoding="utf-8", errors="replace", newline="") as f:
                data = f.read()
            try:
                for card in vobject.readComponents(data, allowQP=True):
                    if is_group(card):
                        continue
                    row = record(card)
                    if not (row[0] or row[1] or row[5]):
                        continue
                    writer.writerow(row)
                    written += 1
            except Exception as error:  # a card vobject cannot read ends that file
                print(f"{path}: {error}", file=sys.stderr)
    print(written, f"{time.perf_counter() - start:.3f}")


if __name__ == "__main__":
    main()
