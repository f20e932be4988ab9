#!/usr/bin/env python3
"""Writes the inputs of the merge bench: one list of business-card records,
and the description the one-call generator (bench/pdfme/cards.mjs) draws the
same cards from.

    merge_inputs.py records --count N --logo PNG OUT.csv OUT.json
        N records with the business card's fields (FullName, JobTitle, Phone,
        Email, Logo), as CSV (a header row naming the fields, then one row a
        record) and as the same records in a JSON array. Every record's Logo
        is the same image file, given by absolute path. No value holds a
        comma, a quote or a line break, so both files say exactly the same.

    merge_inputs.py template --show SHOW.txt --document DOC.tlvd \
            --uploads DIR OUT.json
        The template as the service stores it (SHOW.txt is what
        `osl-service show` printed for it; DIR is the data folder's uploads/)
        turned into the generator's terms: the stored master PDF as base PDF,
        the uploaded font files, and per field its stored rectangle (PDF
        points, origin bottom left, made top-left for the generator) with the
        font, style and size the document gives its first text run.
"""
import argparse
import csv
import json
import os
import re
import subprocess
import sys

FIRST = ["Ann", "Bo", "Chen", "Dana", "Emil", "Fatma", "Goran", "Hana", "Ivo", "Jun"]
LAST = ["Example", "Sample", "Tester", "Printer", "Maker", "Cutter", "Binder", "Folder"]
TITLES = ["Head of Printing", "Press Operator", "Account Manager", "Designer",
          "Prepress Lead", "Finishing", "Sales"]
FIELDS = ["FullName", "JobTitle", "Phone", "Email", "Logo"]


def records(args):
    logo = os.path.abspath(args.logo)
    if not os.path.isfile(logo):
        sys.exit(f"merge_inputs: no image file {logo}")
    rows = []
    for i in range(args.count):
        first, last = FIRST[i % len(FIRST)], LAST[(i // len(FIRST)) % len(LAST)]
        rows.append({
            "FullName": f"{first} {last} {i + 1}",
            "JobTitle": TITLES[i % len(TITLES)],
            "Phone": f"+1 555 {i % 10000:04d}",
            "Email": f"{first.lower()}.{last.lower()}{i + 1}@example.com",
            "Logo": logo,
        })
    with open(args.csv, "w", newline="", encoding="utf-8") as out:
        writer = csv.DictWriter(out, fieldnames=FIELDS, lineterminator="\n")
        writer.writeheader()
        writer.writerows(rows)
    with open(args.json, "w", encoding="utf-8") as out:
        json.dump(rows, out)


FIELD_LINE = re.compile(r"^\s+(\S+)\s+controlType=(\S+)\s+page=(\d+)\s+pdfRect=(\S+) (\S+) (\S+) (\S+)")


def font_file(family, style):
    """The file fontconfig gives for a family and style (the fonts a publish uploads)."""
    pattern = f"{family}:style={style}"
    return subprocess.run(["fc-match", "--format=%{file}", pattern], check=True,
                          capture_output=True, text=True).stdout


def template(args):
    show = open(args.show, encoding="utf-8").read()
    height = float(re.search(r"^\s+height: (\S+)", show, re.M).group(1))
    width = float(re.search(r"^\s+width: (\S+)", show, re.M).group(1))
    uploaded = {}
    master = None
    for line in show.splitlines():
        found = re.search(r"^\s+(\S+)\s+type=(\S+)\s+address=\S*/files/(\S+)", line)
        if not found:
            continue
        path = os.path.join(args.uploads, found.group(3))
        if found.group(2) == "masterPDF":
            master = path
        elif found.group(2) == "fontfile":
            uploaded[found.group(1)] = path
    if master is None:
        sys.exit("merge_inputs: the template has no master PDF")

    runs = {}
    document = json.load(open(args.document, encoding="utf-8"))
    for spread in document["spreads"]:
        for page in spread["pages"]:
            for item in page["items"]:
                name = re.search(r"fieldName:::([^|]*)", item.get("label", ""))
                if name and item.get("story"):
                    runs[name.group(1)] = item["story"]["runs"][0]

    fonts = {}
    fields = []
    for line in show.splitlines():
        found = FIELD_LINE.match(line)
        if not found:
            continue
        name, kind = found.group(1), found.group(2)
        x0, y0, x1, y1 = (float(found.group(i)) for i in range(4, 8))
        field = {"name": name, "x": x0, "y": height - y1, "width": x1 - x0, "height": y1 - y0}
        if kind == "stdImageUpload":
            field["type"] = "image"
        else:
            run = runs[name]
            file = os.path.basename(font_file(run["font"], run["style"]))
            if file not in uploaded:
                sys.exit(f"merge_inputs: field {name}'s font {file} was not uploaded")
            fonts[file] = uploaded[file]
            field.update(type="text", font=file, size=run["size"])
        fields.append(field)
    with open(args.out, "w", encoding="utf-8") as out:
        json.dump({"basePdf": master, "width": width, "height": height, "fonts": fonts,
                   "fields": fields}, out, indent=1)


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="what", required=True)
    one = sub.add_parser("records")
    one.add_argument("--count", type=int, required=True)
    one.add_argument("--logo", required=True)
    one.add_argument("csv")
    one.add_argument("json")
    two = sub.add_parser("template")
    two.add_argument("--show", required=True)
    two.add_argument("--document", required=True)
    two.add_argument("--uploads", required=True)
    two.add_argument("out")
    args = parser.parse_args()
    records(args) if args.what == "records" else template(args)


if __name__ == "__main__":
    main()
