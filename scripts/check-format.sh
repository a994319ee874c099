#!/usr/bin/env bash
# Checks that the C++ sources (src, tools, tests, bench) are formatted as the committed
# .clang-format says; prints the files that are not and fails. Generated artwork is not checked.
# To format a file: clang-format -i FILE
set -euo pipefail
cd "$(dirname "$0")/.."

# Tracked files and new ones git does not ignore, as they are in the working tree (outside a git
# checkout: every file below the folders).
list_sources() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard -- src tools tests bench
  else
    find src tools tests bench -type f -print0
  fi
}
files=()
while IFS= read -r -d '' f; do
  case "$f" in */art/*) continue ;; esac  # generated artwork
  [[ "$f" =~ \.(c|cc|cpp|h|hpp|inl)$ ]] && [ -f "$f" ] && files+=("$f")
done < <(list_sources)

# One clang-format run for all: it names each file that differs in its diagnostics.
status=0
report=$(clang-format --dry-run --Werror "${files[@]}" 2>&1 >/dev/null) || status=$?
mapfile -t differ < <(printf '%s\n' "$report" |
  sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' | sort -u)
if [ $status -ne 0 ] && [ ${#differ[@]} -eq 0 ]; then
  echo "check-format: clang-format failed:"
  printf '%s\n' "$report"
  exit 1
fi

if [ ${#differ[@]} -gt 0 ]; then
  echo "check-format: ${#differ[@]} of ${#files[@]} C++ files differ from .clang-format" \
       "(clang-format -i FILE formats one):"
  printf '  %s\n' "${differ[@]}"
  exit 1
fi
echo "check-format: ${#files[@]} C++ files formatted"
