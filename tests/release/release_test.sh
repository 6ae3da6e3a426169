#!/usr/bin/env bash
# The release command on this build tree's programs:
#   1. a vendor folder that lacks files is refused, naming each missing file, and nothing is made;
#   2. a vendor folder holding our test fixtures or a copy of Wine's registrar is refused,
#      whatever the files are called, and so is an output folder that holds other files;
#   3. a release signed with a throwaway code-signing certificate holds exactly the files setup
#      reads beside itself and the guide, each program built here carries a signature that
#      verifies, the vendor's files are packaged as given, and SHA256SUMS holds;
#   4. the signed programs run the ordinary road under Wine: setup.exe installs, the signed
#      libraries register with the system registrar (the road's own checks);
#   5. the folder of the 32-bit setup refuses a 64-bit component, naming it; the x64 folder
#      takes it (step 3), and its README.txt says which system folder each file goes to.
#   release_test.sh SOURCE_DIR BUILD_DIR INSTALL_E2E_TEST FIXTURE_FILE...
set -uo pipefail
source_dir="$1" build_dir="$2" e2e_test="$3"
shift 3
fixture_component="$2"  # 3A.ocx of the fixtures (VB6ES.dll 3A.ocx FM20.dll 3B.ocx REGSVR32.exe)
work=$(mktemp -d "${TMPDIR:-/tmp}/ferrolin-release-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# The build tree as release.sh expects it: <build-dir>/x86_64.
mkdir -p "$work/trees" && ln -s "$build_dir" "$work/trees/x86_64"
release() {
  SOURCE_DATE_EPOCH=1700000000 "$source_dir/scripts/release.sh" --no-build --arch x86_64 \
    --build-dir "$work/trees" "$@"
}

# The vendor's files, as stand-ins of our own making.
vendor="$work/vendor"
"$source_dir/tests/release/make-vendor-standins.sh" "$vendor"

# 1. Missing files.
incomplete="$work/incomplete"
cp -r "$vendor" "$incomplete" && rm "$incomplete/fr.chm" "$incomplete/3B.ocx"
output=$(release --vendor "$incomplete" --out "$work/out-incomplete" 2>&1)
status=$?
[ $status -ne 0 ] || fail "an incomplete vendor folder made a release"
for expected in "missing: fr.chm" "missing: 3B.ocx"; do
  grep -qF "$expected" <<<"$output" || fail "the refusal does not say \"$expected\": $output"
done
[ "$(grep -c 'missing:' <<<"$output")" -eq 2 ] || fail "the refusal names other files than the two missing: $output"
[ ! -e "$work/out-incomplete" ] || fail "a refused release left an output folder"

# 2. Fixtures under the vendor's names.
fixtures="$work/fixtures"
cp -r "$vendor" "$fixtures"
cp "$fixture_component" "$fixtures/FM20.dll"
cp "$source_dir/tests/fixtures/fr.chm" "$fixtures/fr.xla"
cp "$build_dir/wineprefix/drive_c/windows/system32/regsvr32.exe" "$fixtures/REGSVR32.exe"
output=$(release --vendor "$fixtures" --out "$work/out-fixtures" 2>&1)
[ $? -ne 0 ] || fail "a vendor folder of test fixtures made a release"
for expected in "refused: FM20.dll is one of the test fixture components" \
                "refused: fr.xla is the test tree's fr.chm" \
                "refused: REGSVR32.exe is a copy of one of Wine's programs"; do
  grep -qF "$expected" <<<"$output" || fail "the refusal does not say \"$expected\": $output"
done
[ ! -e "$work/out-fixtures" ] || fail "a refused release left an output folder"

# An output folder that holds other things than a release is not emptied into one.
mkdir -p "$work/busy" && echo "keep me" >"$work/busy/notes.txt"
output=$(release --vendor "$vendor" --out "$work/busy" 2>&1)
[ $? -ne 0 ] || fail "a release replaced a folder holding notes.txt"
grep -qF "holds more than a release (notes.txt)" <<<"$output" || fail "the refusal does not name notes.txt: $output"
[ -f "$work/busy/notes.txt" ] || fail "notes.txt is gone"

# 3. A signed release, of 32-bit components but one 64-bit (FM20.dll): the x64 folder takes either.
"$source_dir/tests/release/make-vendor-standins.sh" "$work/vendor64" 64
cp "$work/vendor64/FM20.dll" "$vendor/FM20.dll"
echo "throwaway-$$-$RANDOM" >"$work/password"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj "/CN=Ferrolin release test/O=Orvicta" -addext "extendedKeyUsage=codeSigning" \
  -addext "keyUsage=critical,digitalSignature" >/dev/null 2>&1 || fail "openssl cannot make a certificate"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" \
  -passout "file:$work/password" || fail "openssl cannot make the PFX file"
out="$work/release"
release --vendor "$vendor" --out "$out" --sign-pfx "$work/cert.pfx" --sign-password-file "$work/password" \
  || fail "release.sh failed on a complete vendor folder"
folder="$out/Ferrolin-1.1-x64"
expected_files="3A.ocx 3B.ocx FM20.dll IFR_v11.dll IFR_v11_x86.dll README.txt REGSVR32.exe UFR10.exe UFR11.exe VB6ES.dll fr.chm fr.xla setup.exe"
listed=$(python3 -c 'import sys, zipfile; print(" ".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' \
  "$out/Ferrolin-1.1-x64.zip" 2>&1)
[ "$listed" = "$expected_files" ] || fail "Ferrolin-1.1-x64.zip holds \"$listed\", not \"$expected_files\""
[ "$(cd "$folder" && ls | sort | tr '\n' ' ')" = "$expected_files " ] || fail "the folder holds other files than the ZIP"
(cd "$out" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not hold"
grep -q '  Ferrolin-1.1-x64.zip$' "$out/SHA256SUMS" || fail "SHA256SUMS has no line for the ZIP"
for name in setup.exe UFR10.exe UFR11.exe IFR_v11.dll IFR_v11_x86.dll; do
  osslsigncode verify -CAfile "$work/cert.pem" -in "$folder/$name" >"$work/verify.txt" 2>&1 \
    || fail "$name: the signature does not verify: $(tail -3 "$work/verify.txt")"
done
for name in fr.xla REGSVR32.exe VB6ES.dll; do
  cmp -s "$vendor/$name" "$folder/$name" || fail "$name is not packaged as the vendor gave it"
done
grep -q $'\r$' "$folder/README.txt" || fail "README.txt has no Windows line ends"
for expected in 'VB6ES.dll        32-bit  C:\Windows\SysWOW64\VB6ES.dll' \
                '3A.ocx           32-bit  C:\Windows\SysWOW64\comdlg32.ocx' \
                'FM20.dll         64-bit  C:\Windows\System32\FM20.DLL' \
                'IFR_v11.dll      64-bit  C:\Windows\System32\IFR_v11.dll' \
                'IFR_v11_x86.dll  32-bit  C:\Windows\SysWOW64\IFR_v11.dll' \
                'UFR11.exe        64-bit  C:\Windows\System32\UFR11.exe'; do
  grep -qF "$expected" "$folder/README.txt" || fail "README.txt does not say \"$expected\": $(grep -F -- '-bit  C:' "$folder/README.txt")"
done

# 4. The ordinary road with the signed programs, in a copy of the test distribution folder.
signed_dist="$work/signed-dist"
cp -r "$build_dir/dist" "$signed_dist"
for name in setup.exe UFR10.exe UFR11.exe IFR_v11.dll IFR_v11_x86.dll; do cp "$folder/$name" "$signed_dist/"; done
(cd "$build_dir" && FERROLIN_DIST="$signed_dist" "$source_dir/scripts/wine-run.sh" "$e2e_test" \
   --gtest_filter=Install.OrdinaryRoad) || fail "the ordinary road with the signed programs"

# 5. The x86 folder with that 64-bit FM20.dll: refused. The tree of the 32-bit setup is this
#    tree's list of files marked as the 32-bit setup's (the check comes before any built file
#    is read).
mkdir -p "$work/trees32/i686"
sed -e 's/^bits\t64$/bits\t32/' -e '/IFR_v11_x86\.dll/d' "$build_dir/release-files.txt" >"$work/trees32/i686/release-files.txt"
output=$(SOURCE_DATE_EPOCH=1700000000 "$source_dir/scripts/release.sh" --no-build --arch i686 \
  --build-dir "$work/trees32" --vendor "$vendor" --out "$work/out-x86" 2>&1)
[ $? -ne 0 ] || fail "the x86 folder took a 64-bit component"
grep -qF "refused: FM20.dll is a 64-bit file, and the x86 folder is for 32-bit Excel" <<<"$output" \
  || fail "the refusal does not name the 64-bit FM20.dll: $output"
[ "$(grep -c 'refused:' <<<"$output")" -eq 1 ] || fail "the refusal names other files than FM20.dll: $output"
[ ! -e "$work/out-x86" ] || fail "a refused release left an output folder"

[ $failures -eq 0 ] && echo "release checks passed"
exit $((failures > 0))
