#!/usr/bin/env python3
"""Gives a type library made by widl the time of SOURCE_DATE_EPOCH.

widl writes "Created by WIDL version <v> at <the time of the build>" into the type library
it makes, so two builds of the same sources would differ. With SOURCE_DATE_EPOCH set, that
time becomes the one it gives (same length, in the same form); without it the file is left
as widl made it.
  stamp-typelib.py FILE.tlb
"""
import os
import re
import sys
import time

def main(path):
    epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
    if not epoch.isdigit():
        return 0
    with open(path, "rb") as f:
        data = f.read()
    stamp = time.asctime(time.gmtime(int(epoch))).encode("ascii")  # "Tue Dec  8 23:30:30 2026"
    pattern = re.compile(rb"(Created by WIDL version [0-9.]+ at )([A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4})")
    stamped, count = pattern.subn(lambda m: m.group(1) + stamp, data)
    if count == 0:
        return 0
    with open(path, "wb") as f:
        f.write(stamped)
    return 0

if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
