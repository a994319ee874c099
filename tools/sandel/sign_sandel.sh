#!/bin/sh
# sign_sandel.sh PLAIN_EXE OUT_DIR PUBLISHER
# Signs the stand-in update tool as its maker would, with test certificates made here: a test
# code-signing CA, a code-signing certificate for PUBLISHER and one for another publisher, both
# issued by that CA. Writes into OUT_DIR:
#   Sandel.exe                          signed by PUBLISHER (what the servers serve)
#   sandel-variants/Sandel-other.exe    signed by "Other Software Ltd"
#   sandel-variants/Sandel-unsigned.exe no signature
#   sandel-variants/Sandel-tampered.exe signed by PUBLISHER, then one byte changed
#   codesign/codesign-ca.der            the test CA, to be trusted in test prefixes only
set -eu
plain=$1
out=$2
publisher=$3
certs=$out/codesign
variants=$out/sandel-variants
mkdir -p "$certs" "$variants"

. "$(dirname "$0")/../codesign/test_signing.sh"

sign() {  # sign NAME IN OUT
  rm -f "$3"
  osslsigncode sign -certs "$certs/$1.pem" -key "$certs/$1.key" -n Sandel -h sha256 \
    -in "$2" -out "$3" >/dev/null
}

# The certificates are made once per build folder (a new publisher name makes them again).
if [ ! -f "$certs/codesign-ca.der" ]; then test_ca "$certs"; fi
if [ ! -f "$certs/publisher.name" ] || [ "$(cat "$certs/publisher.name")" != "$publisher" ]; then
  test_signer "$certs" publisher "$publisher"
  printf '%s' "$publisher" >"$certs/publisher.name"
fi
if [ ! -f "$certs/other.pem" ]; then test_signer "$certs" other "Other Software Ltd"; fi

sign publisher "$plain" "$out/Sandel.exe.tmp"
sign other "$plain" "$variants/Sandel-other.exe"
cp "$plain" "$variants/Sandel-unsigned.exe"
# One byte in the middle of the signed program's code and data changes, its signature stays.
tampered_copy "$out/Sandel.exe.tmp" "$variants/Sandel-tampered.exe"
mv "$out/Sandel.exe.tmp" "$out/Sandel.exe"
