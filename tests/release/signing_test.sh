#!/usr/bin/env bash
# signing_test.sh BUILD_DIR: the release signing of scripts/release.sh on the build's
# UpgradeNorvik.exe, as the maker signs with a hardware token: the key generated inside a SoftHSM2
# token (PKCS#11), the PIN read from a file, an RFC 3161 time-stamp from a local `openssl ts`
# authority reached after a first time-stamp server that does not answer. Signed once with the
# certificate in a file and once with the one kept in the token, both files pass both
# verifications (osslsigncode verify with its time-stamp, WinVerifyTrust under Wine in a
# throwaway prefix), and a copy with one byte changed fails both. The packages, signed with the
# token's key and the certificate kept in it (release.sh --sign-packages), carry detached SHA-256
# signatures with the chain that openssl cms -verify accepts; a signing for another publisher
# fails and leaves the earlier signature as it was.
set -uo pipefail
build=$(realpath "$1")
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=tools/codesign/test_signing.sh
. "$source_dir/tools/codesign/test_signing.sh"
# shellcheck source=scripts/authenticode.sh
source "$source_dir/scripts/authenticode.sh"

work=$(mktemp -d)
tsa_pid=""
trap '[ -z "$tsa_pid" ] || kill "$tsa_pid" 2>/dev/null; rm -rf "$work"' EXIT
failures=0
check() {  # check WHAT COMMAND...
  local what=$1
  shift
  if "$@"; then echo "[ok]   $what"; else echo "[FAIL] $what"; failures=$((failures + 1)); fi
}
wait_for_file() {  # wait_for_file FILE SECONDS
  local deadline=$((SECONDS + $2))
  while [ ! -s "$1" ]; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}

test_ca "$work"
test_token "$work" release "Norvik Software JSC" || { echo "[FAIL] the SoftHSM2 token"; exit 1; }
test_tsa "$work" || { echo "[FAIL] the time-stamping certificate"; exit 1; }
python3 "$source_dir/tools/codesign/tsa_server.py" --dir "$work/tsa" --ready-file "$work/tsa.port" \
  --lifetime 300 &
tsa_pid=$!
wait_for_file "$work/tsa.port" 30 || { echo "[FAIL] the time-stamp server did not start"; exit 1; }
# Port 1 on the loopback refuses: the second server is the fallback.
stamps=(-ts http://127.0.0.1:1/ -ts "http://127.0.0.1:$(cat "$work/tsa.port")/")
key="pkcs11:token=norvik-test;object=release;type=private"

signed=$work/signed/UpgradeNorvik.exe
token_signed=$work/token-cert/UpgradeNorvik.exe
tampered=$work/tampered/UpgradeNorvik.exe
mkdir -p "$work/signed" "$work/token-cert" "$work/tampered"
# The certificate in a file, then the same one written into the token next to its key.
signer_args "$work/release.pem" "$key" "$SOFTHSM_MODULE" "" "$work/pin" &&
  sign_file "Tools for Norvik" https://update.norvik.vn/ "$build/UpgradeNorvik.exe" "$signed" \
    "${SIGNER[@]}" "${stamps[@]}" </dev/null || { echo "[FAIL] osslsigncode sign (token)"; exit 1; }
openssl x509 -in "$work/release.leaf.pem" -outform DER -out "$work/release.der"
pkcs11-tool --module "$SOFTHSM_MODULE" --token-label norvik-test --login --pin 1234 \
  --write-object "$work/release.der" --type cert --id 01 --label release >/dev/null 2>&1 &&
  signer_args "$work/codesign-ca.pem" "$key" "$SOFTHSM_MODULE" \
    "pkcs11:token=norvik-test;object=release;type=cert" "$work/pin" &&
  sign_file "Tools for Norvik" https://update.norvik.vn/ "$build/UpgradeNorvik.exe" "$token_signed" \
    "${SIGNER[@]}" "${stamps[@]}" </dev/null ||
  { echo "[FAIL] osslsigncode sign (certificate in the token)"; exit 1; }
tampered_copy "$signed" "$tampered"

verify_files "$build" "$work/release.pem" "$signed" "$token_signed" "$tampered" >"$work/report" 2>&1
status=$?
cat "$work/report"
check "the verification fails because of the tampered copy" [ $status != 0 ]
for file in "$signed" "$token_signed"; do
  check "$file: osslsigncode verify passes" grep -qx "$file: osslsigncode verify: ok" "$work/report"
  check "$file: the RFC 3161 time-stamp is there and verifies" \
    grep -qx "$file: time-stamp: .*, verified" "$work/report"
  check "$file: WinVerifyTrust passes with the signer's name" \
    grep -qx "WinVerifyTrust $file: valid, signed by Norvik Software JSC" "$work/report"
done
check "tampered: osslsigncode verify fails" \
  grep -q "^$tampered: osslsigncode verify: failed" "$work/report"
check "tampered: WinVerifyTrust refuses it (TRUST_E_BAD_DIGEST)" \
  grep -qx "WinVerifyTrust $tampered: refused (0x80096010)" "$work/report"
check "the signature carries the description" \
  sh -c "osslsigncode verify -CAfile '$work/codesign-ca.pem' -in '$signed' | grep -q 'Tools for Norvik'"
check "the time-stamp authority answered (after the first server failed)" [ -s "$work/tsa/request-1.tsr" ]

packages=$work/packages
mkdir -p "$packages/KH01"
head -c 300000 /dev/urandom >"$packages/Norvik_sys.rar"
head -c 200000 /dev/urandom >"$packages/KH01/Norvik.rar"
sign_packages() {  # sign_packages [release.sh arguments...]
  bash "$source_dir/scripts/release.sh" --sign-packages "$packages" --pkcs11-module "$SOFTHSM_MODULE" \
    --sign-key "$key" --pkcs11-cert "pkcs11:token=norvik-test;object=release;type=cert" \
    --sign-cert "$work/codesign-ca.pem" --pin-file "$work/pin" "$@" </dev/null
}
check "release.sh --sign-packages signs the packages with the token" sign_packages
for pkg in "$packages/Norvik_sys.rar" "$packages/KH01/Norvik.rar"; do
  check "${pkg#"$work/"}.p7s verifies with openssl cms -verify" openssl cms -verify -binary \
    -inform DER -in "$pkg.p7s" -content "$pkg" -CAfile "$work/codesign-ca.pem" -purpose any \
    -out /dev/null
done
openssl cms -cmsout -print -inform DER -in "$packages/KH01/Norvik.rar.p7s" >"$work/p7s.txt"
check "the signature is detached SHA-256 SignedData with the signer's chain" \
  sh -c "grep -q 'eContent: <ABSENT>' '$work/p7s.txt' && grep -q 'algorithm: sha256 ' '$work/p7s.txt' &&
    grep -q 'subject: CN=Norvik Test Code Signing CA' '$work/p7s.txt'"
cp "$packages/KH01/Norvik.rar.p7s" "$work/earlier.p7s"
fails() { ! "$@"; }
check "a signing for another publisher fails" fails sign_packages --publisher "Other Software Ltd"
check "... and leaves the earlier signature as it was" cmp -s "$work/earlier.p7s" \
  "$packages/KH01/Norvik.rar.p7s"
[ $failures = 0 ] || { echo "$failures failed"; exit 1; }
