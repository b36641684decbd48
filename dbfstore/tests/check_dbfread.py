#!/usr/bin/python3
"""Reads a dBASE table with dbfread, an independent reader, and compares it with what
the test expects.

usage: check_dbfread.py TABLE EXPECTED_JSON

EXPECTED_JSON: {"fields": [[name, letter, length, decimals], ...],
                "records": [[value, ...], ...], "deleted": count}
A value is {"t": "s"|"i"|"f"|"b"|"d"|"x"|"n", "v": ...}: text, integer, float, logical,
date "YYYY-MM-DD", bytes as hex, none. Exit 0 when everything agrees; otherwise the
differences are printed and the exit code is 1.

The dBASE IV memo reader of dbfread reads the 8-byte entry header's length as the data
length (8 bytes too many, zeros of the block fill) and cuts a memo at 0x1F; memo values
are compared with trailing zeros removed, and the tests keep 0x1F out of them.
"""
import datetime
import json
import sys

from dbfread import DBF


def expected_value(entry):
    kind, value = entry["t"], entry.get("v")
    if kind == "n":
        return None
    if kind == "d":
        return datetime.date.fromisoformat(value)
    if kind == "x":
        return bytes.fromhex(value)
    return value


def same(field_type, got, want):
    if field_type in ("M", "G") and got is not None:
        got = got.rstrip(b"\0" if isinstance(got, bytes) else "\0")
    if isinstance(want, float) and isinstance(got, (int, float)):
        return abs(got - want) < 1e-9 * max(1.0, abs(want))
    return type(got) == type(want) and got == want


def main():
    table_path, expected_path = sys.argv[1], sys.argv[2]
    with open(expected_path) as f:
        expected = json.load(f)
    table = DBF(table_path, encoding="latin-1", char_decode_errors="strict")
    problems = []
    fields = [[f.name, f.type, f.length, f.decimal_count] for f in table.fields]
    if fields != expected["fields"]:
        problems.append("fields: got %r, want %r" % (fields, expected["fields"]))
    records = list(table)
    if len(records) != len(expected["records"]):
        problems.append("records: got %d, want %d" % (len(records), len(expected["records"])))
    deleted = len(list(table.deleted))
    if deleted != expected.get("deleted", 0):
        problems.append("deleted: got %d, want %d" % (deleted, expected.get("deleted", 0)))
    for i, (record, want) in enumerate(zip(records, expected["records"])):
        for (name, letter, _, _), entry in zip(fields, want):
            got, value = record[name], expected_value(entry)
            if not same(letter, got, value):
                problems.append("record %d %s: got %r, want %r" % (i, name, got, value))
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
