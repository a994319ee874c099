# Sourced by scripts/release.sh and the release signing test: Authenticode signing of a release
# file with osslsigncode, and its two verifications (osslsigncode, and WinVerifyTrust under Wine
# in a throwaway prefix that trusts the signing chain's root).

AUTHENTICODE_ROOT=${AUTHENTICODE_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}

# sign_file CERT KEY DESCRIPTION URL TIMESTAMP_URL IN OUT: OUT is IN signed with SHA-256,
# carrying the description and URL; TIMESTAMP_URL may be empty (no time-stamp).
sign_file() {
  local cert=$1 key=$2 description=$3 url=$4 timestamp=$5 in=$6 out=$7
  local stamp=()
  [ -n "$timestamp" ] && stamp=(-t "$timestamp")
  rm -f "$out"
  osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n "$description" -i "$url" \
    "${stamp[@]}" -in "$in" -out "$out" >/dev/null
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

# verify_files BUILD_DIR CHAIN FILE...: both verifications of each FILE, one line each per file
# ("osslsigncode: ok" / "... failed", verifysig's line); the roots of the PEM file CHAIN are
# trusted by both (none given: osslsigncode's default store). BUILD_DIR is a Windows build
# folder with the trustca and verifysig tools. Returns non-zero when any verification of any
# file fails.
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
  for file in "$@"; do
    if osslsigncode verify "${ca[@]}" -in "$file" >"$work/verify.log" 2>&1; then
      echo "$file: osslsigncode verify: ok"
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
