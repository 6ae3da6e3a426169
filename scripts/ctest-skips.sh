#!/usr/bin/env bash
# Names the tests that a ctest run did not run (skipped, or "not run" because the machine
# could not run them), from the output ctest printed; exit 1 when there are any.
#   ctest-skips.sh CTEST_OUTPUT
set -euo pipefail
skipped=$(awk '/^The following tests did not run:/ {list = 1; next}
               list && /^[[:space:]]+[0-9]+ - / {sub(/^[[:space:]]+/, ""); print; next}
               list {list = 0}' "$1")
# A suite that could not run at all is one test named <suite>.not_run that says why.
reasons=$(grep -o 'not run: .*' "$1" | sort -u || true)
[ -z "$skipped" ] && exit 0
echo "$skipped"
[ -z "$reasons" ] || echo "$reasons"
exit 1
