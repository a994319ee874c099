# Sourced by scripts/release.sh and the release signing test: Authenticode signing of a release
# file with osslsigncode, and its two verifications (osslsigncode, and WinVerifyTrust under Wine
# in a throwaway prefix that trusts the signing chain's root).

AUTHENTICODE_ROOT=${AUTHENTICODE_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}

# signer_args CERT KEY MODULE TOKEN_CERT PIN_FILE: sets SIGNER to osslsigncode's arguments for
# the signing key, KEY: a key file, or a "pkcs11:" URI of a key on a token whose PKCS#11 library
# is MODULE; and for its certificate: CERT (PEM, the signer's followed by its issuers), or
# TOKEN_CERT (a "pkcs11:" URI or id of the certificate in the token) with CERT's certificates, if
# any, added as its issuers. The PIN or passphrase comes from the first line of PIN_FILE; without
# one, SIGNER_ASK is 1 when it must be asked for (a token, an encrypted key file) and SIGNER then
# expects it on osslsigncode's standard input. Returns 2, saying why, when these cannot sign.
signer_args() {
  local cert=$1 key=$2 module=$3 token_cert=$4 pin_file=$5
  SIGNER=() SIGNER_ASK=0
  local fault=""
  if [ -z "$key" ]; then
    fault="signing needs --sign-key (a key file or a pkcs11: URI)"
  elif [ -n "$module" ]; then
    if [[ $key != pkcs11:* ]]; then
      fault="with --pkcs11-module, --sign-key is the key's pkcs11: URI"
    elif [ -z "$cert$token_cert" ]; then
      fault="a key on a token needs --sign-cert or --pkcs11-cert"
    elif [ ! -r "$module" ]; then
      fault="cannot read the PKCS#11 module $module"
    fi
  elif [[ $key == pkcs11:* ]]; then
    fault="a pkcs11: key needs --pkcs11-module (the token's library)"
  elif [ -n "$token_cert" ]; then
    fault="--pkcs11-cert needs --pkcs11-module"
  elif [ -z "$cert" ]; then
    fault="--sign-key and --sign-cert go together"
  elif [ ! -r "$key" ]; then
    fault="cannot read the key file $key"
  fi
  if [ -z "$fault" ] && [ -n "$cert" ] && [ ! -r "$cert" ]; then
    fault="cannot read the certificate file $cert"
  fi
  if [ -z "$fault" ] && [ -n "$pin_file" ] && [ ! -r "$pin_file" ]; then
    fault="cannot read the PIN file $pin_file"
  fi
  if [ -n "$fault" ]; then
    echo "release.sh: $fault" >&2
    return 2
  fi
  if [ -n "$module" ]; then
    SIGNER=(-pkcs11module "$module" -key "$key")
    if [ -n "$token_cert" ]; then
      SIGNER+=(-pkcs11cert "$token_cert")
      [ -z "$cert" ] || SIGNER+=(-ac "$cert")
    else
      SIGNER+=(-certs "$cert")
    fi
  else
    SIGNER=(-certs "$cert" -key "$key")
  fi
  if [ -n "$pin_file" ]; then
    SIGNER+=(-readpass "$pin_file")
  elif [ -n "$module" ] || grep -q ENCRYPTED "$key"; then
    SIGNER+=(-readpass -)
    SIGNER_ASK=1
  fi
}

# sign_file DESCRIPTION URL IN OUT SIGNER...: OUT is IN signed with SHA-256, carrying the
# description and URL. SIGNER are osslsigncode's arguments that name the certificate and the key
# (-certs and -key, or -pkcs11module with -pkcs11cert or -certs and a "pkcs11:" -key), the PIN or
# passphrase (-readpass FILE) and the RFC 3161 time-stamp servers (-ts URL, tried in order).
sign_file() {
  local description=$1 url=$2 in=$3 out=$4
  shift 4
  rm -f "$out"
  osslsigncode sign "$@" -h sha256 -n "$description" -i "$url" -in "$in" -out "$out" >/dev/null
}

# root_certificates CHAIN DIR: writes each self-signed certificate of the PEM file CHAIN to
# DIR/root-N.pem and DIR/root-N.der and prints the PEM paths, one a line.
root_certificates() {
  local chain=$1 dir=$2 n=0 part
  mkdir -p "$dir"
  awk -v dir="$dir" '/-----BEGIN CERTIFICATE-----/ { n++ } n { print > (dir "/part-" n ".pem") }' \
    "$chain"
  for part in "$dir"/part-*.pem; do
    [ -f "$part" ] || continue
    if [ "$(openssl x509 -in "$part" -noout -subject -nameopt RFC2253 | sed 's/^subject=//')" = \
      "$(openssl x509 -in "$part" -noout -issuer -nameopt RFC2253 | sed 's/^issuer=//')" ]; then
      n=$((n + 1))
      mv "$part" "$dir/root-$n.pem"
      openssl x509 -in "$dir/root-$n.pem" -outform DER -out "$dir/root-$n.der"
      echo "$dir/root-$n.pem"
    else
      rm -f "$part"
    fi
  done
}

# time_stamp_line FILE LOG: "FILE: time-stamp: TIME, verified" from osslsigncode verify's LOG,
# or "FILE: time-stamp: none".
time_stamp_line() {
  local time
  time=$(sed -n 's/^[[:space:]]*Timestamp time: //p' "$2" | head -n1)
  if [ -n "$time" ] && grep -q '^Timestamp Server Signature verification: ok' "$2"; then
    echo "$1: time-stamp: $time, verified"
  elif [ -n "$time" ]; then
    echo "$1: time-stamp: $time, NOT verified"
  else
    echo "$1: time-stamp: none"
  fi
}

# verify_files BUILD_DIR CHAIN FILE...: both verifications of each FILE, one line each per file
# ("osslsigncode verify: ok" followed by the time-stamp's line, or "... failed"; verifysig's
# line); the roots of the PEM file CHAIN are trusted by both (none given: osslsigncode's default
# store), and for the time-stamp also the system's store. BUILD_DIR is a Windows build folder
# with the trustca and verifysig tools. Returns non-zero when any verification of any file fails.
verify_files() {
  local tools=$1/tools chain=$2
  shift 2
  local work status=0 file root
  work=$(mktemp -d)
  local roots=()
  mapfile -t roots < <(root_certificates "$chain" "$work/roots")
  local ca=()
  if [ ${#roots[@]} -gt 0 ]; then
    cat "${roots[@]}" >"$work/roots.pem"
    ca=(-CAfile "$work/roots.pem")
  fi
  # A time-stamp authority's root is in the system's store; a test one is among the chain's.
  cat "${roots[@]}" /etc/ssl/certs/ca-certificates.crt >"$work/tsa-roots.pem" 2>/dev/null
  for file in "$@"; do
    if osslsigncode verify "${ca[@]}" -TSA-CAfile "$work/tsa-roots.pem" -in "$file" \
      >"$work/verify.log" 2>&1; then
      echo "$file: osslsigncode verify: ok"
      time_stamp_line "$file" "$work/verify.log"
    else
      echo "$file: osslsigncode verify: failed ($(grep -m1 -i 'fail\|mismatch\|error' \
        "$work/verify.log" || echo 'see osslsigncode verify'))"
      status=1
    fi
  done
  # A throwaway prefix: the roots are trusted there and nowhere else.
  (
    # shellcheck source=scripts/wine-env.sh
    source "$AUTHENTICODE_ROOT/scripts/wine-env.sh"
    prepare_prefix "$work/wine"
    trap 'wineserver -k 2>/dev/null || true' EXIT
    for root in "${roots[@]}"; do
      wine "$tools/trustca/trustca.exe" "Z:${root%.pem}.der" >/dev/null 2>&1 ||
        { echo "trustca could not trust $root in the throwaway prefix"; exit 1; }
    done
    local windows_files=()
    for file in "$@"; do windows_files+=("Z:$(realpath "$file")"); done
    wine "$tools/verifysig/verifysig.exe" "${windows_files[@]}" 2>/dev/null | tr -d '\r' |
      sed 's/^Z:/WinVerifyTrust /'
    exit "${PIPESTATUS[0]}"
  ) || status=1
  rm -rf "$work"
  return $status
}
