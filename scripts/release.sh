#!/usr/bin/env bash
# The release UpgradeNorvik.exe that the maker ships, built from the committed sources of HEAD
# (a clean export of the commit, whatever the working tree holds) in a folder of its own.
#
#   scripts/release.sh [--host HOST[:PORT]] [--publisher NAME] [--stall-seconds N]
#                      [--package-signatures off|required] [--out DIR] [SIGNING] [--timestamp URL]...
#   scripts/release.sh --sign-packages DIR SIGNING [--publisher NAME]
#   scripts/release.sh --check-reproducible
#
#   SIGNING, with a key file:      --sign-cert CHAIN.pem --sign-key KEY.pem [--pin-file FILE]
#            with a PKCS#11 token: --pkcs11-module LIB --sign-key 'pkcs11:token=...;object=...'
#                                  (--sign-cert CHAIN.pem | --pkcs11-cert 'pkcs11:...'
#                                   [--sign-cert CHAIN.pem]) [--pin-file FILE]
#            and [--sign-url URL]
#
# --host, --publisher, --stall-seconds and --package-signatures are the build settings
# NORVIK_DOWNLOAD_HOST, NORVIK_TOOL_PUBLISHER, NORVIK_STALL_SECONDS and NORVIK_PACKAGE_SIGNATURES,
# with their defaults. The file goes to
# DIR/UpgradeNorvik.exe (default build/release/; DIR must be empty, new or an earlier release
# folder) and its SHA-256 is printed with the versions of the tools that built it. With SIGNING
# it is signed with Authenticode (SHA-256, the program's description and --sign-url, default
# https://HOST/) by the key in the file or on the token (LIB is the token's PKCS#11 module; the
# certificate is CHAIN.pem, the signer's followed by its issuers, or the one in the token, its
# issuers then in CHAIN.pem), time-stamped by the first RFC 3161 server of the --timestamp URLs
# that answers, and verified twice: osslsigncode verify and WinVerifyTrust under Wine, the
# chain's root trusted in a throwaway prefix; the unsigned file stays in DIR/unsigned/. The
# token's PIN, or an encrypted key file's passphrase, is read from the first line of
# --pin-file FILE or asked for on the terminal, never taken from the command line.
#
# --sign-packages DIR builds nothing: every *.rar under DIR gets its detached signature PKG.p7s
# (scripts/package_signature.sh), made with the SIGNING key and certificate, then verified (the
# chain's root, or the system's roots when the chain has none; code signing; the signer's common
# name is --publisher) before it replaces an earlier one. No time-stamp: a package's signature
# is valid while its certificate is, and the packages are signed again when it is renewed.
#
# --check-reproducible builds the release twice, in two folders at two times, and fails on any
# difference, naming the offset and section where the files differ.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/authenticode.sh
source "$ROOT/scripts/authenticode.sh"
# shellcheck source=scripts/package_signature.sh
source "$ROOT/scripts/package_signature.sh"

# The same bytes whoever builds: one locale (sort orders, messages), one time zone, and no
# compiler launcher (a cache) between the build and the compiler.
export LC_ALL=C TZ=UTC
unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER

host=update.norvik.vn
publisher="Norvik Software JSC"
stall=60
package_signatures=off
sign_packages=""
out=$ROOT/build/release
cert="" key="" module="" token_cert="" pin_file="" sign_url=""
timestamps=()
check=0
while [ $# -gt 0 ]; do
  case $1 in
    --host) host=$2; shift 2 ;;
    --publisher) publisher=$2; shift 2 ;;
    --stall-seconds) stall=$2; shift 2 ;;
    --package-signatures) package_signatures=$2; shift 2 ;;
    --sign-packages) sign_packages=$(realpath -m "$2"); shift 2 ;;
    --out) out=$(realpath -m "$2"); shift 2 ;;
    --sign-cert) cert=$(realpath "$2"); shift 2 ;;
    --sign-key) key=$2; shift 2 ;;
    --pkcs11-module) module=$(realpath "$2"); shift 2 ;;
    --pkcs11-cert) token_cert=$2; shift 2 ;;
    --pin-file) pin_file=$(realpath "$2"); shift 2 ;;
    --sign-url) sign_url=$2; shift 2 ;;
    --timestamp) timestamps+=(-ts "$2"); shift 2 ;;
    --check-reproducible) check=1; shift ;;
    --pin | --pass | --passphrase)
      echo "release.sh: $1: a PIN or passphrase on the command line shows in the process list;" \
        "use --pin-file FILE or answer the prompt" >&2
      exit 2 ;;
    *) echo "release.sh: unknown argument $1 (see the head of the script)" >&2; exit 2 ;;
  esac
done
usage_error() { echo "release.sh: $*" >&2; exit 2; }
signing=0
secret=""
if [ -n "$cert$key$module$token_cert$pin_file" ]; then
  signing=1
  [[ $key == pkcs11:* ]] || [ -z "$key" ] || key=$(realpath "$key")
  signer_args "$cert" "$key" "$module" "$token_cert" "$pin_file" || exit 2
  if [ "$SIGNER_ASK" = 1 ]; then
    # Asked now, before the build, on the terminal itself (not from a pipe into the script).
    { exec 3<>/dev/tty; } 2>/dev/null ||
      usage_error "no terminal to ask for the PIN or passphrase on: give --pin-file FILE"
    what="passphrase of $key"
    [ -z "$module" ] || what="PIN of the token"
    printf 'release.sh: the %s: ' "$what" >&3
    IFS= read -r -s secret <&3 || usage_error "no PIN or passphrase was given"
    printf '\n' >&3
    exec 3>&-
  fi
fi
[ ${#timestamps[@]} = 0 ] || [ $signing = 1 ] || usage_error "--timestamp needs a signing key"
case $package_signatures in
  off | required) ;;
  *) usage_error "--package-signatures is off or required, not '$package_signatures'" ;;
esac

# sign_all_packages DIR: each *.rar under DIR signed into PKG.p7s and verified, or the reason
# it is not; an earlier PKG.p7s is replaced only by one that verified.
sign_all_packages() {
  local dir=$1 packages=() pkg name passin="" root_pem="" status=0 work
  [ -d "$dir" ] || usage_error "--sign-packages $dir is not a folder"
  mapfile -d '' -t packages < <(find "$dir" -type f -name '*.rar' -print0 | sort -z)
  [ ${#packages[@]} -gt 0 ] || usage_error "--sign-packages: no *.rar under $dir"
  work=$(mktemp -d)
  # The signer's certificate, its issuers, and the roots among them to verify against.
  if [ -n "$token_cert" ]; then
    mkdir -p "$work/chain"
    token_certificate "$module" "$token_cert" "$work/chain/signer.pem" ||
      { echo "release.sh: cannot read the certificate $token_cert from the token"; rm -rf "$work"; return 1; }
    if [ -n "$cert" ]; then cp "$cert" "$work/chain/issuers.pem"; else : >"$work/chain/issuers.pem"; fi
  elif ! split_chain "$cert" "$work/chain"; then
    echo "release.sh: $cert holds no certificate"
    rm -rf "$work"
    return 1
  fi
  cat "$work/chain/signer.pem" "$work/chain/issuers.pem" >"$work/chain.pem"
  local root_files=()
  mapfile -t root_files < <(root_certificates "$work/chain.pem" "$work/roots")
  local trusted="up to the system's roots"
  if [ ${#root_files[@]} -gt 0 ]; then
    root_pem=$work/roots.pem trusted="up to the chain's root"
    cat "${root_files[@]}" >"$root_pem"
  fi
  if [ -n "$pin_file" ]; then passin=file:$pin_file; elif [ "$SIGNER_ASK" = 1 ]; then passin=stdin; fi
  for pkg in "${packages[@]}"; do
    # The PIN or passphrase asked for goes to openssl's standard input (printf is a builtin).
    if ! printf '%s\n' "$secret" | sign_package "$pkg" "$pkg.p7s.new" "$work/chain/signer.pem" \
      "$work/chain/issuers.pem" "$key" "$module" "$passin"; then
      echo "NOT signed: $pkg (openssl cms -sign failed: the key, the PIN or the certificate)"
      status=1
    elif ! name=$(verify_package "$pkg" "$pkg.p7s.new" "$root_pem"); then
      echo "NOT signed: $pkg: its new signature $name"
      status=1
    elif [ "$name" != "$publisher" ]; then
      echo "NOT signed: $pkg: signed by '$name', the program requires '$publisher' (--publisher)"
      status=1
    else
      mv "$pkg.p7s.new" "$pkg.p7s"
      echo "signed and verified: $pkg.p7s (by $name, $trusted)"
      continue
    fi
    rm -f "$pkg.p7s.new"
  done
  rm -rf "$work"
  return $status
}
if [ -n "$sign_packages" ]; then
  [ $signing = 1 ] || usage_error "--sign-packages needs a signing key (--sign-key and a certificate)"
  [ ${#timestamps[@]} = 0 ] || usage_error "--sign-packages: package signatures carry no time-stamp"
  sign_all_packages "$sign_packages"
  exit $?
fi

# refuse_out DIR: exits unless DIR is absent, empty, or holds only what a release writes there:
# the release removes and rewrites those entries, and nothing else may be lost to it.
refuse_out() {
  [ -e "$1" ] || return 0
  [ -d "$1" ] || usage_error "--out $1 is not a folder"
  local entry
  while IFS= read -r entry; do
    case $entry in
      work | unsigned | UpgradeNorvik.exe) ;;
      *) usage_error "--out $1 holds $entry: give an empty folder or an earlier release folder" ;;
    esac
  done < <(ls -A "$1")
}

# tool_versions: the versions a rebuild needs for the same bytes, one line each: the program's
# own words and the version of the Debian package that holds it.
tool_versions() {
  local name program
  for name in i686-w64-mingw32-g++-win32 i686-w64-mingw32-ld cmake; do
    program=$(readlink -f "$(command -v "$name")")
    echo "  $("$name" --version | head -n1) ($(package_version "$(dpkg-query -S "$program" 2>/dev/null |
      cut -d: -f1)"))"
  done
  echo "  mingw-w64 runtime ($(package_version mingw-w64-i686-dev))"
}
package_version() {
  dpkg-query -W -f='${Package} ${Version}' "$1" 2>/dev/null || echo "not a Debian package"
}

commit=$(git -C "$ROOT" rev-parse HEAD)
# The one time the build may use: the commit's own.
SOURCE_DATE_EPOCH=$(git -C "$ROOT" log -1 --format=%ct HEAD)
export SOURCE_DATE_EPOCH

# build_release FOLDER: the release build of HEAD under FOLDER (sources in FOLDER/src, build in
# FOLDER/build, tools for the verification included), the product at FOLDER/UpgradeNorvik.exe.
build_release() {
  local folder=$1
  rm -rf "$folder"
  mkdir -p "$folder/src"
  git -C "$ROOT" archive --format=tar HEAD | tar -x -C "$folder/src"
  cmake -S "$folder/src" -B "$folder/build" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$folder/src/cmake/toolchain-mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DNORVIK_RELEASE=ON -DNORVIK_DOWNLOAD_HOST="$host" \
    -DNORVIK_TOOL_PUBLISHER="$publisher" -DNORVIK_STALL_SECONDS="$stall" \
    -DNORVIK_PACKAGE_SIGNATURES="$package_signatures" \
    >"$folder/configure.log" 2>&1 || { cat "$folder/configure.log"; return 1; }
  cmake --build "$folder/build" -j "$(nproc)" --target UpgradeNorvik \
    >"$folder/build.log" 2>&1 || { tail -40 "$folder/build.log"; return 1; }
  cp "$folder/build/UpgradeNorvik.exe" "$folder/UpgradeNorvik.exe"
}

# where_differs A B: the first differing offsets of two PE files and the section of each.
where_differs() {
  local sections=() name size off offset found
  # objdump -h: "Idx Name Size VMA LMA File-off Algn" lines; kept as "name start end".
  while read -r _ name size _ _ off _; do
    [ $((16#$off)) = 0 ] || sections+=("$name $((16#$off)) $((16#$off + 16#$size))")
  done < <(i686-w64-mingw32-objdump -h "$1" | grep -E '^ +[0-9]+ ')
  cmp -l "$1" "$2" | head -n 10 | while read -r offset _ _; do
    offset=$((offset - 1))
    found="headers or data outside the sections"
    for entry in "${sections[@]}"; do
      read -r name start end <<<"$entry"
      if [ "$offset" -ge "$start" ] && [ "$offset" -lt "$end" ]; then found=$name; break; fi
    done
    printf '  offset 0x%x: %s\n' "$offset" "$found"
  done
  [ "$(stat -c %s "$1")" = "$(stat -c %s "$2")" ] ||
    echo "  sizes: $(stat -c %s "$1") and $(stat -c %s "$2") bytes"
}

if [ $check = 1 ]; then
  # Two absolute folders of different names and lengths, one build after the other.
  first=$ROOT/build/release-check
  second=$(mktemp -d /tmp/norvik-release-check.XXXXXX)/second-build
  trap 'rm -rf "$(dirname "$second")"' EXIT
  start=$(date +%s)
  echo "== release build 1 in $first"
  build_release "$first"
  echo "== release build 2 in $second"
  build_release "$second"
  a=$first/UpgradeNorvik.exe b=$second/UpgradeNorvik.exe
  echo "$(sha256sum "$a" | cut -d' ' -f1)  build 1"
  echo "$(sha256sum "$b" | cut -d' ' -f1)  build 2"
  echo "built with:"
  tool_versions
  echo "($(($(date +%s) - start)) s for both builds)"
  if cmp -s "$a" "$b"; then
    echo "reproducible: the two release builds of $commit are byte-identical"
    exit 0
  fi
  echo "NOT reproducible: the two release builds of $commit differ:"
  where_differs "$a" "$b"
  exit 1
fi

refuse_out "$out"
if [ -n "$(git -C "$ROOT" status --porcelain --untracked-files=no)" ]; then
  echo "release.sh: note: uncommitted changes are not in the release (it is built from $commit)"
fi
start=$(date +%s)
echo "== release build of $commit (host $host, publisher \"$publisher\", stall $stall s," \
  "package signatures $package_signatures)"
work=$out/work
build_release "$work"
version=$(sed -n 's/^#define NORVIK_VERSION_TEXT "\(.*\)"$/\1/p' \
  "$work/build/generated/norvik_version.h")
description=$(sed -n 's/^#define NORVIK_DESCRIPTION "\(.*\)"$/\1/p' \
  "$work/build/generated/norvik_version.h")
echo "version $version, built in $(($(date +%s) - start)) s"
rm -rf "$out/unsigned" "$out/UpgradeNorvik.exe"
if [ $signing = 0 ]; then
  cp "$work/UpgradeNorvik.exe" "$out/UpgradeNorvik.exe"
  echo "$(sha256sum "$out/UpgradeNorvik.exe" | cut -d' ' -f1)  $out/UpgradeNorvik.exe"
  echo "built with:"
  tool_versions
  exit 0
fi

mkdir -p "$out/unsigned"
cp "$work/UpgradeNorvik.exe" "$out/unsigned/UpgradeNorvik.exe"
echo "== signing and verifying"
cmake --build "$work/build" -j "$(nproc)" --target trustca verifysig >"$work/tools.log" 2>&1 ||
  { tail -40 "$work/tools.log"; exit 1; }
# The PIN or passphrase asked for goes to osslsigncode's standard input (printf is a builtin:
# it shows in no process list).
printf '%s\n' "$secret" | sign_file "$description" "${sign_url:-https://${host%%:*}/}" \
  "$out/unsigned/UpgradeNorvik.exe" "$out/UpgradeNorvik.exe" "${SIGNER[@]}" "${timestamps[@]}" ||
  { echo "release.sh: osslsigncode could not sign (the key, the PIN, or the time-stamp servers)"; exit 1; }
verify_files "$work/build" "${cert:-/dev/null}" "$out/UpgradeNorvik.exe" ||
  { echo "release.sh: the signed file does not verify"; exit 1; }
echo "$(sha256sum "$out/unsigned/UpgradeNorvik.exe" | cut -d' ' -f1)  $out/unsigned/UpgradeNorvik.exe (unsigned)"
echo "$(sha256sum "$out/UpgradeNorvik.exe" | cut -d' ' -f1)  $out/UpgradeNorvik.exe (signed)"
echo "built with (the unsigned file):"
tool_versions
