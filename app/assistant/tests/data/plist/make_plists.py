#!/usr/bin/env python3
"""Writes the property-list fixtures with Python's own plistlib, an independent
reader/writer of both forms, so the C++ reader is checked against it."""
import datetime
import plistlib

record = {
    "app": "x.y.Chat",
    "date": datetime.datetime(2024, 3, 1, 12, 0, 0),
    "req": {"titl": "Hi  there\n", "subt": "Team", "body": "ok \u2713 \U0001F600", "cate": "msg"},
    "n": 12345678901,
    "neg": -7,
    "f": True,
    "g": False,
    "pi": 3.25,
    "d": b"\x00\x01\xff",
    "arr": [1, 2.5, "\u00e9t\u00e9", [], {}],
}
many = {"items": ["s%d" % i for i in range(300)], "req": {"titl": "many"}}

for name, value in (("record", record), ("many", many)):
    with open(name + ".bplist", "wb") as f:
        plistlib.dump(value, f, fmt=plistlib.FMT_BINARY, sort_keys=True)
    with open(name + ".xml", "wb") as f:
        plistlib.dump(value, f, fmt=plistlib.FMT_XML, sort_keys=True)
