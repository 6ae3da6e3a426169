#!/usr/bin/env bash
# Fills a folder with stand-ins for the vendor's files, of the tests' own making: not the
# real components (which we never ship from here), nor our test fixtures. The program files
# carry the PE header of a Windows program, 32-bit as the vendor's are (or of BITS), and
# nothing else: the release reads their machine, nobody runs them.
#   make-vendor-standins.sh FOLDER [BITS]
set -euo pipefail
mkdir -p "$1"
for name in fr.xla fr.chm; do
  printf "Stand-in for the vendor's %s, made by the release tests.\r\n" "$name" >"$1/$name"
done
python3 - "$1" "${2:-32}" <<'PY'
import os, struct, sys
folder, bits = sys.argv[1], int(sys.argv[2])
machine = {32: 0x014C, 64: 0x8664}[bits]
for name in ["REGSVR32.exe", "VB6ES.dll", "3A.ocx", "FM20.dll", "3B.ocx"]:
    header = b"MZ" + bytes(0x3A) + struct.pack("<I", 0x40)
    header += b"PE\0\0" + struct.pack("<HH", machine, 0) + bytes(16)
    text = f"Stand-in for the vendor's {name}, made by the release tests.\r\n".encode()
    with open(os.path.join(folder, name), "wb") as f:
        f.write(header + text)
PY
