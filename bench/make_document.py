#!/usr/bin/env python3
"""Writes a generated .tlvd document for the benchmarks.

    make_document.py --fields N --pages P [--name NAME] OUT.tlvd

N field-tagged page items spread evenly over P letter-size pages, one spread
per page: text fields in several fonts, styles, sizes and colours, an image
field every tenth field (the PNGs of examples/images, copied beside OUT in
images/), and on every page one page-item group holding two of the page's
text fields, which belong to one of five stacking groups. Every page item
has a unique field name. The template's name is NAME (default "Generated N
fields"). Prints "fields=N items=M pages=P" (M counts the
groups too).
"""
import argparse
import json
import os
import shutil
import sys

FONTS = [
    ("DejaVu Sans", "Book"),
    ("DejaVu Sans", "Bold"),
    ("DejaVu Serif", "Italic"),
    ("DejaVu Serif", "Book"),
    ("DejaVu Sans Mono", "Book"),
]
COLORS = ["Black", "Brand Blue", "Gold"]
IMAGES = ["logo.png", "storefront.png"]
STACKING_GROUPS = ["Address", "Contact", "Offer", "Footer", "Notes"]
PAGE_W, PAGE_H = 612, 792
COLUMNS = 4
CELL_W, CELL_H = 140, 34
MARGIN = 20


def text_item(uid, name, index, x, y):
    font, style = FONTS[index % len(FONTS)]
    text = f"Sample text for {name}"
    return {
        "uid": uid, "kind": "text", "bounds": [0, 0, CELL_W - 8, CELL_H - 8],
        "matrix": [1, 0, 0, 1, x, y],
        "story": {
            "text": text,
            "runs": [{"length": len(text), "font": font, "style": style,
                      "size": 7 + index % 4, "color": COLORS[index % len(COLORS)],
                      "tint": 100, "tracking": 0, "leading": 10, "underline": index % 9 == 0,
                      "align": "left", "hscale": 100, "vscale": 100}],
        },
        "verticalJustification": "top",
        "label": f"controlType:::0|||fieldName:::{name}|||promptText:::Enter {name}|||",
    }


def image_item(uid, name, index, x, y):
    return {
        "uid": uid, "kind": "graphic", "bounds": [0, 0, CELL_W - 8, CELL_H - 8],
        "matrix": [1, 0, 0, 1, x, y],
        "image": "images/" + IMAGES[index % len(IMAGES)],
        "stroke": {"weight": 0.5, "color": "Brand Blue"},
        "label": f"controlType:::1|||fieldName:::{name}|||promptText:::Picture {name}|||",
    }


def cell(slot):
    col, row = slot % COLUMNS, slot // COLUMNS
    return MARGIN + col * CELL_W, MARGIN + row * CELL_H


def build(fields, pages, template_name=None):
    uid = [100]

    def next_uid():
        uid[0] += 1
        return uid[0]

    per_page = [fields // pages + (1 if p < fields % pages else 0) for p in range(pages)]
    spreads = []
    field_index = 0
    item_count = 0
    for p in range(pages):
        items = []
        count = per_page[p]
        slot = 0
        grouped = 2 if count >= 2 else 0
        for _ in range(count - grouped):
            name = f"F{field_index:06d}"
            x, y = cell(slot)
            make = image_item if field_index % 10 == 9 else text_item
            items.append(make(next_uid(), name, field_index, x, y))
            field_index += 1
            slot += 1
            item_count += 1
        if grouped:
            stacking = STACKING_GROUPS[p % len(STACKING_GROUPS)]
            x, y = cell(slot)
            children = []
            for k in range(2):
                name = f"F{field_index:06d}"
                child = text_item(next_uid(), name, field_index, 0, k * CELL_H / 2)
                child["bounds"] = [0, 0, CELL_W - 8, CELL_H / 2 - 2]
                depends = f"Dependson:::F{field_index - 1:06d}|||" if k == 1 else ""
                child["label"] = depends + f"MemberofGroup:::{stacking}|||" + child["label"]
                children.append(child)
                field_index += 1
                item_count += 1
            items.append({"uid": next_uid(), "kind": "group", "bounds": [0, 0, CELL_W, CELL_H],
                          "matrix": [1, 0, 0, 1, x, y], "children": children})
            item_count += 1
        spread_uid = next_uid()
        spreads.append({"uid": spread_uid, "pages": [
            {"uid": next_uid(), "bounds": [0, 0, PAGE_W, PAGE_H], "items": items}]})
    label = "StackingGroups:::" + "".join(f"{g}:::1---" for g in STACKING_GROUPS) + "|||"
    label += f"clientType:::0|||docName:::{template_name or f'Generated {fields} fields'}|||"
    doc = {
        "format": "tlvd",
        "version": 1,
        "label": label,
        "swatches": [
            {"name": "Black", "model": "process", "cmyk": [0, 0, 0, 100]},
            {"name": "Brand Blue", "model": "process", "cmyk": [100, 60, 0, 10]},
            {"name": "Gold", "model": "spot", "cmyk": [0, 20, 60, 10]},
        ],
        "spreads": spreads,
    }
    return doc, item_count


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--fields", type=int, required=True)
    parser.add_argument("--pages", type=int, required=True)
    parser.add_argument("--name", help="the template's name")
    parser.add_argument("out")
    args = parser.parse_args()
    if args.fields < 1 or args.pages < 1:
        parser.error("--fields and --pages must be at least 1")
    if args.fields / args.pages > 4 * 22:
        parser.error("too many fields for one page (at most 88)")
    if args.name is not None and ("|||" in args.name or ":::" in args.name or not args.name):
        parser.error("--name must be non-empty and free of the label separators")
    doc, items = build(args.fields, args.pages, args.name)
    out_dir = os.path.dirname(os.path.abspath(args.out))
    images_src = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples",
                              "images")
    os.makedirs(os.path.join(out_dir, "images"), exist_ok=True)
    for image in IMAGES:
        shutil.copyfile(os.path.join(images_src, image), os.path.join(out_dir, "images", image))
    with open(args.out, "w", encoding="utf-8") as out:
        json.dump(doc, out, indent=1)
        out.write("\n")
    print(f"fields={args.fields} items={items} pages={args.pages}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
