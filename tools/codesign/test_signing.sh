# Test code signing for the stand-in update tool and the release signing test: certificates made
# with openssl and a tampered copy of a signed file. Sourced by sh scripts; never used for
# anything that is shipped.
#
#   test_ca DIR [CN]              DIR/codesign-ca.key, .pem and .der: a code-signing test CA
#                                 (CN: its common name, "Norvik Test Code Signing CA" unless given)
#   test_signer DIR NAME CN       DIR/NAME.key and DIR/NAME.pem (the certificate for the common
#                                 name CN, issued by DIR's CA, followed by the CA's)
#   test_token DIR NAME CN        a SoftHSM2 token in DIR/tokens (label norvik-test, PIN 1234 in
#                                 DIR/pin) holding a key generated inside it (object NAME), and
#                                 DIR/NAME.pem, its certificate for CN issued by DIR's CA,
#                                 followed by the CA's; SOFTHSM2_CONF is exported
#   test_tsa DIR                  DIR/tsa/tsa.key and tsa.pem: a time-stamping certificate issued
#                                 by DIR's CA, followed by the CA's (for tsa_server.py)
#   tampered_copy IN OUT          OUT is IN with the byte in its middle changed

test_ca() {
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -subj "/CN=${2:-Norvik Test Code Signing CA}" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$1/codesign-ca.key" -out "$1/codesign-ca.pem" 2>/dev/null
  openssl x509 -in "$1/codesign-ca.pem" -outform DER -out "$1/codesign-ca.der"
}

test_signer() {
  openssl req -newkey rsa:2048 -nodes -sha256 -subj "/O=$3/CN=$3" -keyout "$1/$2.key" \
    -out "$1/$2.csr" 2>/dev/null
  issue_cert "$1" "$2" \
    'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n'
}

SOFTHSM_MODULE=/usr/lib/softhsm/libsofthsm2.so

# issue_cert DIR NAME EXTENSIONS: DIR/NAME.pem is DIR/NAME.csr issued by DIR's CA with the
# extensions, followed by the CA's certificate.
issue_cert() {
  printf '%b' "$3" >"$1/$2.ext"
  openssl x509 -req -in "$1/$2.csr" -CA "$1/codesign-ca.pem" -CAkey "$1/codesign-ca.key" \
    -CAcreateserial -days 3650 -sha256 -extfile "$1/$2.ext" -out "$1/$2.leaf.pem" 2>/dev/null
  cat "$1/$2.leaf.pem" "$1/codesign-ca.pem" >"$1/$2.pem"
}

test_token() {
  export SOFTHSM2_CONF=$1/softhsm2.conf
  mkdir -p "$1/tokens"
  echo "directories.tokendir = $1/tokens" >"$SOFTHSM2_CONF"
  echo 1234 >"$1/pin"
  softhsm2-util --init-token --free --label norvik-test --pin 1234 --so-pin 5678 >/dev/null &&
    pkcs11-tool --module "$SOFTHSM_MODULE" --token-label norvik-test --login --pin 1234 \
      --keypairgen --key-type rsa:2048 --id 01 --label "$2" >/dev/null 2>&1 &&
    PKCS11_MODULE_PATH=$SOFTHSM_MODULE openssl req -new -subj "/O=$3/CN=$3" -engine pkcs11 \
      -keyform engine -key "pkcs11:token=norvik-test;object=$2;pin-value=1234" \
      -out "$1/$2.csr" >/dev/null 2>&1 &&
    issue_cert "$1" "$2" \
      'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n'
}

test_tsa() {
  mkdir -p "$1/tsa"
  openssl req -newkey rsa:2048 -nodes -sha256 -subj "/CN=Norvik Test Time-Stamping" \
    -keyout "$1/tsa/tsa.key" -out "$1/tsa.csr" 2>/dev/null &&
    issue_cert "$1" tsa \
      'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=critical,timeStamping\n' &&
    mv "$1/tsa.pem" "$1/tsa/tsa.pem"
}

tampered_copy() {
  cp "$1" "$2"
  size=$(stat -c %s "$1")
  offset=$((size / 2))
  byte=$(od -An -tu1 -j "$offset" -N1 "$1" | tr -d ' ')
  printf "$(printf '\\%03o' $(((byte + 1) % 256)))" |
    dd of="$2" bs=1 seek="$offset" conv=notrunc status=none
}
