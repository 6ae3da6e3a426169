#!/usr/bin/env python3
"""Gives a type library made by widl the time of SOURCE_DATE_EPOCH.

widl writes "Created by WIDL version <v> at <the time of the build>" into the type library
it makes, followed by the same time as a number (both are custom data of the library), so
two builds of the same sources would differ. With SOURCE_DATE_EPOCH set, both become the
time it gives (same length, in the same form); without it the file is left as widl made it.
  stamp-typelib.py FILE.tlb EPOCH_FILE   (EPOCH_FILE holds SOURCE_DATE_EPOCH, or nothing)
"""
import os
import re
import struct
import sys
import time

def main(path, epoch_file):
    # The build tree keeps SOURCE_DATE_EPOCH as it was at configure time, so that a change
    # of it makes the type library again.
    with open(epoch_file, encoding="ascii") as f:
        epoch = f.read().strip()
    if not epoch.isdigit():
        return 0
    with open(path, "rb") as f:
        data = f.read()
    stamp = time.asctime(time.gmtime(int(epoch))).encode("ascii")  # "Tue Dec  8 23:30:30 2026"
    # The text (VT_BSTR, padded with "W" to four bytes), then the number (VT_UI4).
    pattern = re.compile(rb"(Created by WIDL version [0-9.]+ at )"
                         rb"[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4}"
                         rb"(\n?W*)(?:\x13\x00(....))?", re.DOTALL)
    found = []

    def restamp(match):
        found.append(match.group(3) is not None)
        number = b"\x13\x00" + struct.pack("<I", int(epoch) & 0xFFFFFFFF) if match.group(3) is not None else b""
        return match.group(1) + stamp + match.group(2) + number

    stamped = pattern.sub(restamp, data)
    if not found or not all(found):
        print(f"stamp-typelib: {path}: widl's build time was not found where it writes it", file=sys.stderr)
        return 1
    with open(path, "wb") as f:
        f.write(stamped)
    return 0

if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
