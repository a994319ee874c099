# Test code signing for the stand-in update tool and the release signing test: certificates made
# with openssl and a tampered copy of a signed file. Sourced by sh scripts; never used for
# anything that is shipped.
#
#   test_ca DIR                   DIR/codesign-ca.key, .pem and .der: a code-signing test CA
#   test_signer DIR NAME CN       DIR/NAME.key and DIR/NAME.pem (the certificate for the common
#                                 name CN, issued by DIR's CA, followed by the CA's)
#   tampered_copy IN OUT          OUT is IN with the byte in its middle changed

test_ca() {
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -subj "/CN=Norvik Test Code Signing CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$1/codesign-ca.key" -out "$1/codesign-ca.pem" 2>/dev/null
  openssl x509 -in "$1/codesign-ca.pem" -outform DER -out "$1/codesign-ca.der"
}

test_signer() {
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
    >"$1/$2.ext"
  openssl req -newkey rsa:2048 -nodes -sha256 -subj "/O=$3/CN=$3" -keyout "$1/$2.key" \
    -out "$1/$2.csr" 2>/dev/null
  openssl x509 -req -in "$1/$2.csr" -CA "$1/codesign-ca.pem" -CAkey "$1/codesign-ca.key" \
    -CAcreateserial -days 3650 -sha256 -extfile "$1/$2.ext" -out "$1/$2.leaf.pem" 2>/dev/null
  cat "$1/$2.leaf.pem" "$1/codesign-ca.pem" >"$1/$2.pem"
}

tampered_copy() {
  cp "$1" "$2"
  size=$(stat -c %s "$1")
  offset=$((size / 2))
  byte=$(od -An -tu1 -j "$offset" -N1 "$1" | tr -d ' ')
  printf "$(printf '\\%03o' $(((byte + 1) % 256)))" |
    dd of="$2" bs=1 seek="$offset" conv=notrunc status=none
}
