#!/usr/bin/env python3
"""Turns a language-table source into the resource the programs load.

Source: UTF-8, one text per line as "id<TAB>text"; lines starting with "#" and empty lines are
notes. Everything after the TAB is the text, trailing blanks included. Output: UTF-16LE with the
byte-order mark FF FE, every line "id<TAB>text" ending with CR LF.

With --reference (the English table of the same program) the table must carry exactly the same ids
and, per id, the same printf formats in the same order, so that callers pass the right arguments.

  langtable.py SOURCE OUTPUT [--reference ENGLISH] [--ids FIRST-LAST]
"""

import argparse
import re
import sys

FORMAT = re.compile(r"%%|%[-+ #0]*\d*(?:\.\d+)?(?:hh|h|ll|l|I64)?[diouxXeEfgGcsSp]")


class TableError(Exception):
    pass


def read_table(path, id_range=None):
    entries = []
    seen = {}
    try:
        with open(path, encoding="utf-8", newline="") as f:
            lines = f.read().split("\n")
    except (OSError, UnicodeDecodeError) as e:
        raise TableError(f"{path}: {e}")
    for number, line in enumerate(lines, 1):
        line = line.removesuffix("\r")
        if line == "" or line.startswith("#"):
            continue
        where = f"{path}:{number}"
        m = re.fullmatch(r"(\d+)\t(.*)", line, re.S)
        if not m:
            raise TableError(f"{where}: expected id, TAB, text")
        ident, text = int(m.group(1)), m.group(2)
        if any(c in text for c in "\r\n\x1a\x00"):
            raise TableError(f"{where}: the text holds a character that ends a line")
        if id_range and not id_range[0] <= ident <= id_range[1]:
            raise TableError(f"{where}: id {ident} outside {id_range[0]}-{id_range[1]}")
        if ident in seen:
            raise TableError(f"{where}: id {ident} already on line {seen[ident]}")
        seen[ident] = number
        entries.append((ident, text))
    if not entries:
        raise TableError(f"{path}: no texts")
    return entries


def formats(text):
    return [f for f in FORMAT.findall(text) if f != "%%"]


def check_against(entries, reference, path):
    ours, theirs = dict(entries), dict(reference)
    missing = sorted(set(theirs) - set(ours))
    extra = sorted(set(ours) - set(theirs))
    if missing or extra:
        raise TableError(f"{path}: ids differ from the reference (missing {missing}, extra {extra})")
    for ident, text in entries:
        if formats(text) != formats(theirs[ident]):
            raise TableError(f"{path}: id {ident} has formats {formats(text)}, "
                             f"the reference {formats(theirs[ident])}")


def encode(entries):
    body = "".join(f"{ident}\t{text}\r\n" for ident, text in entries)
    return b"\xff\xfe" + body.encode("utf-16-le")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("source")
    parser.add_argument("output")
    parser.add_argument("--reference")
    parser.add_argument("--ids", help="allowed id range, FIRST-LAST")
    args = parser.parse_args()
    try:
        id_range = tuple(int(x) for x in args.ids.split("-", 1)) if args.ids else None
        entries = read_table(args.source, id_range)
        if args.reference:
            check_against(entries, read_table(args.reference, id_range), args.source)
    except (TableError, ValueError) as e:
        print(f"langtable: {e}", file=sys.stderr)
        return 1
    with open(args.output, "wb") as f:
        f.write(encode(entries))
    return 0


if __name__ == "__main__":
    sys.exit(main())
