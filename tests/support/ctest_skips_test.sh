#!/usr/bin/env bash
# scripts/test.sh must not be green while a suite was skipped: the checker it uses names
# every test ctest did not run, with the reason the suite printed, and fails; a run where
# every test ran passes.
#   ctest_skips_test.sh SOURCE_DIR
set -uo pipefail
checker="$1/scripts/ctest-skips.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/ferrolin-skips.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

cat >"$work/skipped.txt" <<'LOG'
1/3 Test #1: wine.prefix ..........................   Passed    1.02 sec
2/3 Test #2: registry_layer_test.not_run ..........***Skipped   0.01 sec
not run: this machine cannot run 32-bit programs (no IA-32 emulation in its kernel, or no wine32)
3/3 Test #3: install_e2e_test.not_run .............***Skipped   0.01 sec

100% tests passed, 0 tests failed out of 3

The following tests did not run:
	  2 - registry_layer_test.not_run (Skipped)
	  3 - install_e2e_test.not_run (Skipped)
LOG
output=$("$checker" "$work/skipped.txt")
[ $? -ne 0 ] || fail "a run with skipped suites passed"
for expected in "2 - registry_layer_test.not_run (Skipped)" "3 - install_e2e_test.not_run (Skipped)" \
                "not run: this machine cannot run 32-bit programs"; do
  grep -qF "$expected" <<<"$output" || fail "the checker does not say \"$expected\": $output"
done

sed -e '/Skipped/d' -e '/did not run/d' -e '/^not run/d' "$work/skipped.txt" >"$work/clean.txt"
"$checker" "$work/clean.txt" >/dev/null || fail "a run where every test ran failed"

[ $failures -eq 0 ] && echo "skipped tests fail the run"
exit $((failures > 0))
