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

ca() {
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -subj "/CN=Norvik Test Code Signing CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$certs/codesign-ca.key" -out "$certs/codesign-ca.pem" 2>/dev/null
  openssl x509 -in "$certs/codesign-ca.pem" -outform DER -out "$certs/codesign-ca.der"
}

signer() {  # signer NAME COMMON_NAME: NAME.pem holds the certificate and then the CA's
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
    >"$certs/$1.ext"
  openssl req -newkey rsa:2048 -nodes -sha256 -subj "/O=$2/CN=$2" -keyout "$certs/$1.key" \
    -out "$certs/$1.csr" 2>/dev/null
  openssl x509 -req -in "$certs/$1.csr" -CA "$certs/codesign-ca.pem" -CAkey "$certs/codesign-ca.key" \
    -CAcreateserial -days 3650 -sha256 -extfile "$certs/$1.ext" -out "$certs/$1.leaf.pem" 2>/dev/null
  cat "$certs/$1.leaf.pem" "$certs/codesign-ca.pem" >"$certs/$1.pem"
}

sign() {  # sign NAME IN OUT
  rm -f "$3"
  osslsigncode sign -certs "$certs/$1.pem" -key "$certs/$1.key" -n Sandel -h sha256 \
    -in "$2" -out "$3" >/dev/null
}

# The certificates are made once per build folder (a new publisher name makes them again).
if [ ! -f "$certs/codesign-ca.der" ]; then ca; fi
if [ ! -f "$certs/publisher.name" ] || [ "$(cat "$certs/publisher.name")" != "$publisher" ]; then
  signer publisher "$publisher"
  printf '%s' "$publisher" >"$certs/publisher.name"
fi
if [ ! -f "$certs/other.pem" ]; then signer other "Other Software Ltd"; fi

sign publisher "$plain" "$out/Sandel.exe.tmp"
sign other "$plain" "$variants/Sandel-other.exe"
cp "$plain" "$variants/Sandel-unsigned.exe"
# One byte in the middle of the signed program's code and data changes, its signature stays.
cp "$out/Sandel.exe.tmp" "$variants/Sandel-tampered.exe"
size=$(stat -c %s "$plain")
offset=$((size / 2))
byte=$(od -An -tu1 -j "$offset" -N1 "$plain" | tr -d ' ')
printf "$(printf '\\%03o' $(((byte + 1) % 256)))" |
  dd of="$variants/Sandel-tampered.exe" bs=1 seek="$offset" conv=notrunc status=none
mv "$out/Sandel.exe.tmp" "$out/Sandel.exe"
