#!/usr/bin/env bash
# Fills a folder with stand-ins for the vendor's files, of the tests' own making: not the
# real components (which we never ship from here), nor our test fixtures.
#   make-vendor-standins.sh FOLDER
set -euo pipefail
mkdir -p "$1"
for name in fr.xla fr.chm; do
  printf "Stand-in for the vendor's %s, made by the release tests.\r\n" "$name" >"$1/$name"
done
for name in REGSVR32.exe VB6ES.dll 3A.ocx FM20.dll 3B.ocx; do
  printf "MZ stand-in for the vendor's %s\r\n" "$name" >"$1/$name"
done
