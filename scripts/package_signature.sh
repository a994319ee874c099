# shellcheck shell=bash
# Sourced by scripts/release.sh and scripts/check-server.sh (the test servers sign through
# release.sh): the detached signature published beside each package, `<package>.p7s`, a DER CMS
# SignedData over the package's bytes (SHA-256, the signer's certificate and its issuers
# included), made and checked with openssl.

# The largest signature the program downloads; a larger one is refused.
PACKAGE_SIGNATURE_MAX=65536

# split_chain CHAIN DIR: DIR/signer.pem is the first certificate of the PEM file CHAIN,
# DIR/issuers.pem the others (empty when there are none). openssl cms takes the signer's
# certificate and the extra ones apart and refuses one given twice.
split_chain() {
  mkdir -p "$2"
  awk -v dir="$2" '/-----BEGIN CERTIFICATE-----/ { n++ }
    n == 1 { print > (dir "/signer.pem") } n > 1 { print > (dir "/issuers.pem") }' "$1"
  touch "$2/issuers.pem"
  [ -s "$2/signer.pem" ]
}

# uri_attribute URI NAME: the value of NAME in a pkcs11: URI (percent-escapes kept).
uri_attribute() {
  tr ';?' '\n\n' <<<"${1#pkcs11:}" | sed -n "s/^$2=//p" | head -n1
}

# token_certificate MODULE URI OUT: OUT (PEM) is the certificate the pkcs11: URI names on a token
# of the PKCS#11 library MODULE (by its token label and its object label or id).
token_certificate() {
  local module=$1 uri=$2 out=$3 select=() value
  value=$(uri_attribute "$uri" token)
  [ -z "$value" ] || select+=(--token-label "$(printf '%b' "${value//%/\\x}")")
  value=$(uri_attribute "$uri" object)
  [ -z "$value" ] || select+=(--label "$(printf '%b' "${value//%/\\x}")")
  value=$(uri_attribute "$uri" id)
  [ -z "$value" ] || select+=(--id "${value//%/}")
  pkcs11-tool --module "$module" "${select[@]}" --read-object --type cert -o "$out.der" \
    >/dev/null 2>&1 &&
    openssl x509 -inform DER -in "$out.der" -out "$out" 2>/dev/null
  local status=$?
  rm -f "$out.der"
  return $status
}

# sign_package PKG OUT SIGNER ISSUERS KEY MODULE PASSIN: OUT is the signature of PKG by the key
# KEY (a key file, or with the PKCS#11 library MODULE a pkcs11: URI) whose certificate is the PEM
# file SIGNER, the certificates of ISSUERS included (may be empty). PASSIN is openssl's -passin
# source of the PIN or passphrase ("" for none, "stdin" to read it from the standard input).
sign_package() {
  local pkg=$1 out=$2 signer=$3 issuers=$4 key=$5 module=$6 passin=$7 args=()
  [ ! -s "$issuers" ] || args+=(-certfile "$issuers")
  [ -z "$passin" ] || args+=(-passin "$passin")
  # libp11's engine finds the token's library through PKCS11_MODULE_PATH.
  [ -z "$module" ] || args+=(-engine pkcs11 -keyform engine)
  rm -f "$out"
  PKCS11_MODULE_PATH=$module openssl cms -sign -binary -md sha256 -outform DER -in "$pkg" \
    -signer "$signer" -inkey "$key" "${args[@]}" -out "$out" >/dev/null 2>&1 ||
    { rm -f "$out"; return 1; }
}

# verify_package PKG SIG [CA]: checks the detached signature SIG of PKG as the program does: at
# most PACKAGE_SIGNATURE_MAX bytes, a valid signature of exactly these bytes, the signer's chain
# ending in a root of the PEM file CA (without one: the system's roots), the signer's extended
# key usage holding code signing. Prints the signer's common name and returns 0, or prints why
# not and returns 1. openssl has no code-signing purpose: the chain is checked with
# `-purpose any` and the extended key usage on its own.
verify_package() {
  local pkg=$1 sig=$2 ca=${3:-} work size status=0 roots=()
  [ -z "$ca" ] || roots=(-CAfile "$ca")
  size=$(stat -c %s "$sig")
  if [ "$size" -gt $PACKAGE_SIGNATURE_MAX ]; then
    echo "is larger than the $PACKAGE_SIGNATURE_MAX bytes the program reads"
    return 1
  fi
  work=$(mktemp -d)
  if ! openssl cms -verify -binary -inform DER -in "$sig" -content "$pkg" "${roots[@]}" \
    -purpose any -signer "$work/signer.pem" -out /dev/null >"$work/log" 2>&1; then
    # The verifier's own reason: the chain's ("Verify error:..."), or the content's.
    local why
    why=$(sed -n 's/.*Verify error: *//p' "$work/log" | head -n1)
    [ -n "$why" ] || why=$(grep -m1 -o 'CMS routines:[^:]*:[^:]*' "$work/log" | cut -d: -f3)
    [ -n "$why" ] || why=$(grep -m1 -v '^CMS Verification' "$work/log")
    echo "does not verify: ${why:-openssl cms -verify failed}"
    status=1
  elif ! openssl x509 -in "$work/signer.pem" -noout -ext extendedKeyUsage 2>/dev/null |
    grep -q 'Code Signing'; then
    echo "is signed by a certificate that is not for code signing (no codeSigning extended key usage)"
    status=1
  else
    openssl x509 -in "$work/signer.pem" -noout -subject -nameopt multiline,-esc_msb,utf8 2>/dev/null |
      sed -n 's/^ *commonName *= //p' | head -n1
  fi
  rm -rf "$work"
  return $status
}
