#!/usr/bin/env bash
# signing_test.sh BUILD_DIR: the release signing of scripts/release.sh on the build's
# UpgradeNorvik.exe with a test certificate made here: the signed file passes both
# verifications (osslsigncode verify, WinVerifyTrust under Wine in a throwaway prefix), and a
# copy with one byte changed fails both.
set -uo pipefail
build=$(realpath "$1")
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=tools/codesign/test_signing.sh
. "$source_dir/tools/codesign/test_signing.sh"
# shellcheck source=scripts/authenticode.sh
source "$source_dir/scripts/authenticode.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check WHAT COMMAND...
  local what=$1
  shift
  if "$@"; then echo "[ok]   $what"; else echo "[FAIL] $what"; failures=$((failures + 1)); fi
}

test_ca "$work"
test_signer "$work" release "Norvik Software JSC"
signed=$work/signed/UpgradeNorvik.exe
tampered=$work/tampered/UpgradeNorvik.exe
mkdir -p "$work/signed" "$work/tampered"
sign_file "$work/release.pem" "$work/release.key" "Tools for Norvik" https://update.norvik.vn/ "" \
  "$build/UpgradeNorvik.exe" "$signed" || { echo "[FAIL] osslsigncode sign"; exit 1; }
tampered_copy "$signed" "$tampered"

verify_files "$build" "$work/release.pem" "$signed" "$tampered" >"$work/report" 2>&1
status=$?
cat "$work/report"
check "the verification fails because of the tampered copy" [ $status != 0 ]
check "signed: osslsigncode verify passes" grep -qx "$signed: osslsigncode verify: ok" "$work/report"
check "signed: WinVerifyTrust passes with the signer's name" \
  grep -qx "WinVerifyTrust $signed: valid, signed by Norvik Software JSC" "$work/report"
check "tampered: osslsigncode verify fails" \
  grep -q "^$tampered: osslsigncode verify: failed" "$work/report"
check "tampered: WinVerifyTrust refuses it (TRUST_E_BAD_DIGEST)" \
  grep -qx "WinVerifyTrust $tampered: refused (0x80096010)" "$work/report"
check "the signature carries the description" \
  sh -c "osslsigncode verify -CAfile '$work/codesign-ca.pem' -in '$signed' | grep -q 'Tools for Norvik'"
[ $failures = 0 ] || { echo "$failures failed"; exit 1; }
