#!/usr/bin/env python3
"""Writes the SOAP envelopes of the benchmarks' field calls, byte for byte as the
plug-in's client writes them (the envelope head, every member of a field record
in schema order, absent members as nil elements).

    fields_request.py template EMAIL PASSWORD OUT.xml
        a setTemplate that creates a template named "Bench template"
    fields_request.py setfields --records N EMAIL PASSWORD DOC_ID DOC_PASSWORD OUT.xml
        a setFields of N generated records with deleteOthers (what a publish sends)
    fields_request.py getfields EMAIL PASSWORD DOC_ID DOC_PASSWORD OUT.xml
    fields_request.py docid ANSWER.xml
        prints the docID and docPassword of a setTemplate answer

The records look like a publish of a large document: text fields and an image
field in every five, each with a rectangle, page, prompt, font and colours.
"""
import argparse
import re
import sys
from xml.sax.saxutils import escape

HEAD = (
    '<?xml version="1.0" encoding="UTF-8"?>\n'
    '<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://schemas.xmlsoap.org/soap/envelope/" '
    'xmlns:SOAP-ENC="http://schemas.xmlsoap.org/soap/encoding/" '
    'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" '
    'xmlns:xsd="http://www.w3.org/2001/XMLSchema" '
    'xmlns:ns3="http://microsoft.com/wsdl/types/" '
    'xmlns:ns4="urn:osl:templates/" xmlns:ns5="urn:osl:placeholder" '
    'xmlns:ns2="urn:osl:templates"><SOAP-ENV:Body>'
)
TAIL = "</SOAP-ENV:Body></SOAP-ENV:Envelope>\r\n"
NIL = object()


def element(name, value):
    if value is NIL:
        return f'<ns2:{name} xsi:nil="true"/>'
    if isinstance(value, bool):
        value = "true" if value else "false"
    return f"<ns2:{name}>{escape(str(value))}</ns2:{name}>"


def credentials(email, password, doc_id=None, doc_password=None):
    parts = [element("userEmail", email), element("userPassword", password)]
    if doc_id is None:
        parts += [element("docCode", NIL), element("docPassword", NIL)]
    else:
        parts += [element("docCode", doc_id), element("docPassword", doc_password)]
    return "".join(parts)


def record(i):
    image = i % 5 == 0
    members = [
        ("fieldName", f"Field{i}"),
        ("pdfRect", f"{10 + i % 500},{20 + i % 700},180,24"),
        ("pageNumber", 1 + i // 20),
        ("controlType", "stdImageUpload" if image else "textBox"),
        ("repeatType", "none"),
        ("getDataFromField", NIL),
        ("promptNumber", i),
        ("fieldEntryRequired", i % 3 == 0),
        ("promptText", f"Prompt for field {i}"),
        ("toolTip", NIL),
        ("maxLength", 64),
        ("defaultValue", "" if image else f"Sample text {i}"),
        ("rotation", 0),
        ("rotationPoint", "center"),
        ("zOrder", i),
        ("logicGroupID", 1 + i % 3 if i % 7 == 0 else 0),
        ("logicDependsOn", NIL),
        ("forProduction", True),
        ("forProof", True),
        ("hideField", False),
        ("isProtected", False),
        ("allowElementReposition", False),
        ("isVdpField", True),
        ("positionOverride", False),
        ("positionOverrideUom", "points"),
        ("positionOverrideLeft", 0),
        ("positionOverrideBottom", 0),
        ("positionOverrideHeight", 0),
        ("positionOverrideWidth", 0),
        ("positionOverrideEmulateQuodra", "none"),
        ("fieldScriptingChoice", "none"),
        ("fieldScriptingHtml", NIL),
        ("fieldScriptingHtmlBlankLineSuppress", False),
        ("fieldScriptingVbScript", NIL),
        ("entryBlockID", 0),
        ("entryBlockNewLine", False),
        ("fieldLockdown", NIL),
        ("imageLayerFileName", NIL),
        ("imagePickerGroup", 0),
        ("imageFitType", "cropFromCenter" if image else "scale"),
        ("allowUploadFromAssets", image),
        ("initialAssetCategory", NIL),
        ("profileType", "none"),
        ("imageBorder", False),
        ("imageBorderWidth", 0),
        ("imageBorderCMYK", NIL),
        ("imageQualityRanges", NIL),
        ("textReformat", "none"),
        ("textReformatCustom", NIL),
        ("alwaysReformatText", False),
        ("options", NIL),
        ("staticText", NIL),
        ("fontName", "DejaVu Sans"),
        ("fontFileName", "DejaVuSans.ttf"),
        ("fontSize", 9 + i % 4),
        ("fontBold", i % 2 == 1),
        ("fontItalic", False),
        ("fontUnderline", False),
        ("fontLeading", 12),
        ("fontAlignment", "topLeft"),
        ("fontTracking", 0),
        ("fontOpacity", 100),
        ("fontColorC", 0),
        ("fontColorM", 0),
        ("fontColorY", 0),
        ("fontColorK", 100),
        ("fontSpotColorName", NIL),
        ("paletteID", NIL),
        ("fontForceFit", False),
        ("fontForceFitMaxLines", 0),
        ("fontHorizontalScale", 100),
        ("fontVerticalScale", 100),
        ("fontOutline", False),
        ("fontOutlineCmyk", NIL),
        ("fontOutlineThickness", 0),
        ("fontDirection", "lrtb"),
        ("allowTextStyleOverride", False),
        ("fieldChainPrev", NIL),
        ("preserveSpaces", False),
        ("barCode", "none"),
        ("setup_radioFieldType", NIL),
        ("setup_radioDataSource", NIL),
        ("setup_controlTypeDDValue", NIL),
        ("setup_defaultValueHTML", NIL),
    ]
    return "<ns2:OstrFieldInfo>" + "".join(element(n, v) for n, v in members) + "</ns2:OstrFieldInfo>"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="what", required=True)
    t = sub.add_parser("template")
    t.add_argument("email")
    t.add_argument("password")
    t.add_argument("out")
    s = sub.add_parser("setfields")
    s.add_argument("--records", type=int, default=10000)
    g = sub.add_parser("getfields")
    for p in (s, g):
        p.add_argument("email")
        p.add_argument("password")
        p.add_argument("doc_id")
        p.add_argument("doc_password")
        p.add_argument("out")
    d = sub.add_parser("docid")
    d.add_argument("answer")
    args = parser.parse_args()

    if args.what == "docid":
        text = open(args.answer, encoding="utf-8").read()
        found = re.search(r"<ns2:docID>([^<]*)</ns2:docID>.*?<ns2:docPassword>([^<]*)<", text, re.S)
        if not found:
            sys.exit("fields_request.py: no template record in " + args.answer)
        print(found.group(1), found.group(2))
        return
    if args.what == "template":
        body = (
            "<ns2:setTemplate>" + credentials(args.email, args.password) + "<ns2:templateInfo>"
            + element("docName", "Bench template") + element("docDescription", NIL)
            + element("docID", "00000000-0000-0000-0000-000000000000")
            + element("docPassword", "00000000-0000-0000-0000-000000000000")
            + element("docCategory", NIL) + element("isActive", True)
            + element("docPageCount", 500) + element("docWidth", "612")
            + element("docHeight", "792") + element("docBleed", "0")
            + element("clientType", 0) + element("userID", 0)
            + element("fullScreenWindow", "allowed")
            + "</ns2:templateInfo></ns2:setTemplate>"
        )
    elif args.what == "setfields":
        body = (
            "<ns2:setFields>" + credentials(args.email, args.password, args.doc_id, args.doc_password)
            + "<ns2:docFields>" + "".join(record(i) for i in range(args.records))
            + "</ns2:docFields>" + element("deleteOthers", True) + "</ns2:setFields>"
        )
    else:
        body = (
            "<ns2:getFields>" + credentials(args.email, args.password, args.doc_id, args.doc_password)
            + "</ns2:getFields>"
        )
    with open(args.out, "w", encoding="utf-8", newline="") as out:
        out.write(HEAD + body + TAIL)


if __name__ == "__main__":
    main()
