#!/usr/bin/env bash
# The release UpgradeNorvik.exe that the maker ships, built from the committed sources of HEAD
# (a clean export of the commit, whatever the working tree holds) in a folder of its own.
#
#   scripts/release.sh [--host HOST[:PORT]] [--publisher NAME] [--stall-seconds N] [--out DIR]
#                      [--sign-cert CHAIN.pem --sign-key KEY.pem [--sign-url URL]
#                       [--timestamp URL]]
#   scripts/release.sh --check-reproducible
#
# --host, --publisher and --stall-seconds are the build settings NORVIK_DOWNLOAD_HOST,
# NORVIK_TOOL_PUBLISHER and NORVIK_STALL_SECONDS, with their defaults. The file goes to
# DIR/UpgradeNorvik.exe (default build/release/) and its SHA-256 is printed. With --sign-cert
# and --sign-key it is signed with Authenticode (SHA-256, the program's description and
# --sign-url, default https://HOST/), time-stamped when --timestamp names a time-stamp server,
# and verified twice: osslsigncode verify and WinVerifyTrust under Wine, the chain's root
# trusted in a throwaway prefix; the unsigned file stays in DIR/unsigned/.
#
# --check-reproducible builds the release twice, in two folders at two times, and fails on any
# difference, naming the offset and section where the files differ.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/authenticode.sh
source "$ROOT/scripts/authenticode.sh"

host=update.norvik.vn
publisher="Norvik Software JSC"
stall=60
out=$ROOT/build/release
cert="" key="" sign_url="" timestamp=""
check=0
while [ $# -gt 0 ]; do
  case $1 in
    --host) host=$2; shift 2 ;;
    --publisher) publisher=$2; shift 2 ;;
    --stall-seconds) stall=$2; shift 2 ;;
    --out) out=$(realpath -m "$2"); shift 2 ;;
    --sign-cert) cert=$(realpath "$2"); shift 2 ;;
    --sign-key) key=$(realpath "$2"); shift 2 ;;
    --sign-url) sign_url=$2; shift 2 ;;
    --timestamp) timestamp=$2; shift 2 ;;
    --check-reproducible) check=1; shift ;;
    *) echo "release.sh: unknown argument $1 (see the head of the script)" >&2; exit 2 ;;
  esac
done
if [ -n "$cert$key" ] && { [ -z "$cert" ] || [ -z "$key" ]; }; then
  echo "release.sh: --sign-cert and --sign-key go together" >&2
  exit 2
fi

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
  echo "($(($(date +%s) - start)) s for both builds)"
  if cmp -s "$a" "$b"; then
    echo "reproducible: the two release builds of $commit are byte-identical"
    exit 0
  fi
  echo "NOT reproducible: the two release builds of $commit differ:"
  where_differs "$a" "$b"
  exit 1
fi

if [ -n "$(git -C "$ROOT" status --porcelain --untracked-files=no)" ]; then
  echo "release.sh: note: uncommitted changes are not in the release (it is built from $commit)"
fi
start=$(date +%s)
echo "== release build of $commit (host $host, publisher \"$publisher\", stall $stall s)"
work=$out/work
build_release "$work"
version=$(sed -n 's/^#define NORVIK_VERSION_TEXT "\(.*\)"$/\1/p' \
  "$work/build/generated/norvik_version.h")
description=$(sed -n 's/^#define NORVIK_DESCRIPTION "\(.*\)"$/\1/p' \
  "$work/build/generated/norvik_version.h")
echo "version $version, built in $(($(date +%s) - start)) s"
rm -rf "$out/unsigned" "$out/UpgradeNorvik.exe"
if [ -z "$cert" ]; then
  cp "$work/UpgradeNorvik.exe" "$out/UpgradeNorvik.exe"
  echo "$(sha256sum "$out/UpgradeNorvik.exe" | cut -d' ' -f1)  $out/UpgradeNorvik.exe"
  exit 0
fi

mkdir -p "$out/unsigned"
cp "$work/UpgradeNorvik.exe" "$out/unsigned/UpgradeNorvik.exe"
echo "== signing and verifying"
cmake --build "$work/build" -j "$(nproc)" --target trustca verifysig >"$work/tools.log" 2>&1 ||
  { tail -40 "$work/tools.log"; exit 1; }
sign_file "$cert" "$key" "$description" "${sign_url:-https://${host%%:*}/}" "$timestamp" \
  "$out/unsigned/UpgradeNorvik.exe" "$out/UpgradeNorvik.exe"
verify_files "$work/build" "$cert" "$out/UpgradeNorvik.exe" ||
  { echo "release.sh: the signed file does not verify"; exit 1; }
echo "$(sha256sum "$out/unsigned/UpgradeNorvik.exe" | cut -d' ' -f1)  $out/unsigned/UpgradeNorvik.exe (unsigned)"
echo "$(sha256sum "$out/UpgradeNorvik.exe" | cut -d' ' -f1)  $out/UpgradeNorvik.exe (signed)"
