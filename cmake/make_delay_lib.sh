#!/bin/sh
# make_delay_lib.sh DLL OUTPUT: a delay-load import library for DLL (for example wininet) made
# from mingw's ordinary import library. dlltool writes the delay tables into .idata$ sections,
# where GNU ld merges them with the ordinary import tables and leaves the delay address table
# empty; renamed to .didat$ (and marked as loaded data) they form a table of their own, which
# mingw's __delayLoadHelper2 fills on the first call of each function.
set -eu
dll=$1
out=$2
tool=i686-w64-mingw32
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Every function the import library names, with its stdcall decoration, in the byte order of the
# C locale: the order sets the ordinals, so it must not depend on the builder's locale.
{
  echo "LIBRARY $dll.dll"
  echo "EXPORTS"
  $tool-nm -g --defined-only "/usr/$tool/lib/lib$dll.a" | awk '$2 == "T" { print substr($3, 2) }' |
    LC_ALL=C sort -u
} >"$work/$dll.def"
# dlltool names the library's symbols after the output's path and its members after the temporary
# prefix (by default the process id): a fixed name of the DLL's own keeps the symbols of the seven
# libraries apart and the library the same from build to build.
(cd "$work" && $tool-dlltool --temp-prefix "$dll" --kill-at --input-def "$dll.def" \
  --dllname "$dll.dll" --output-delaylib "${dll}_delay.a")

mkdir "$work/members"
cd "$work/members"
$tool-ar x "../${dll}_delay.a"
members=$($tool-ar t "../${dll}_delay.a")
flags=contents,alloc,load,data
for member in $members; do
  $tool-objcopy \
    --rename-section ".idata\$2=.didat\$2,$flags" --rename-section ".idata\$4=.didat\$4,$flags" \
    --rename-section ".idata\$5=.didat\$5,$flags" --rename-section ".idata\$6=.didat\$6,$flags" \
    --rename-section ".idata\$7=.didat\$7,$flags" "$member"
done
rm -f "$out.tmp"
# shellcheck disable=SC2086 # one word per member
$tool-ar rcsD "$out.tmp" $members
mv "$out.tmp" "$out"
