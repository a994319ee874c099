#!/usr/bin/env bash
# Asks a download server for the three files the program fetches, as the program would (over
# http:// and https:// to the same HOST, through the proxy when one is given, following at
# most 5 redirects and never from https to http), and prints per file and scheme whether each
# answer carries what the program needs.
#
#   scripts/check-server.sh HOST[:PORT] CUSTOMER-CODE [--proxy PROXYHOST:PORT]
#
# Per file, one HEAD request and one GET of the first 16 bytes (with Range). Each line is
#   met            the answer is as it should be
#   NOT MET        the program refuses the file (or cannot reach it): the exit code is 1
#   not met (...)  the program still works, with the cost named (for example no resume)
# HTTPS certificates are checked against the system's trusted CAs (CURL_CA_BUNDLE names
# another bundle). Exit code 0 when nothing the program insists on is missing, 1 otherwise,
# 2 on a usage error.
set -uo pipefail

usage() {
  echo "usage: check-server.sh HOST[:PORT] CUSTOMER-CODE [--proxy PROXYHOST:PORT]" >&2
  exit 2
}
[ $# -ge 2 ] || usage
host=$1
code=$2
shift 2
proxy=()
while [ $# -gt 0 ]; do
  case $1 in
    --proxy) [ $# -ge 2 ] || usage; proxy=(--proxy "http://$2"); shift 2 ;;
    *) usage ;;
  esac
done
command -v curl >/dev/null || { echo "check-server.sh: curl is missing (apt-get install curl)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

met() { echo "  met      $*"; }
not_met() { echo "  NOT MET  $*"; failed=1; }
costly() { echo "  not met  $*"; }

# header FILE NAME: the value of NAME in the last answer of curl's header dump FILE ("" when
# absent), without the line end.
header() {
  awk -v name="$(tr '[:upper:]' '[:lower:]' <<<"$2")" '
    /^HTTP\// { delete h; status = $2 }
    { line = $0; sub(/\r$/, "", line); i = index(line, ":") }
    i > 0 { k = tolower(substr(line, 1, i - 1)); v = substr(line, i + 1); sub(/^[ \t]+/, "", v)
            sub(/[ \t]+$/, "", v); h[k] = v }
    END { print h[name] }' "$1"
}
status_of() { awk '/^HTTP\// { s = $2 } END { print s }' "$1"; }
lower() { tr '[:upper:]' '[:lower:]' <<<"$1"; }

# ask SCHEME PATH OUT_PREFIX [curl args...]: one request as the program makes it; the headers of
# every answer go to OUT_PREFIX.headers, curl's error (if any) to OUT_PREFIX.error.
ask() {
  local scheme=$1 path=$2 out=$3
  shift 3
  local redirects=(--location --max-redirs 5)
  # The program never follows a redirect from https to http.
  [ "$scheme" = https ] && redirects+=(--proto-redir =https)
  curl --silent --show-error --max-time 30 "${proxy[@]}" "${redirects[@]}" \
    -H "Accept-Encoding: gzip, deflate" -A "API-Download" -D "$out.headers" "$@" \
    "$scheme://$host$path" 2>"$out.error"
}

check_file() {
  local scheme=$1 path=$2 out=$work/answer
  echo "$scheme://$host$path"
  rm -f "$out".*
  if ! ask "$scheme" "$path" "$out" --head --output /dev/null; then
    not_met "answer: none ($(head -n1 "$out.error" | sed 's/^curl: ([0-9]*) //'))"
    return
  fi
  local status length encoding transfer type ranges etag modified
  status=$(status_of "$out.headers")
  length=$(header "$out.headers" Content-Length)
  encoding=$(header "$out.headers" Content-Encoding)
  transfer=$(header "$out.headers" Transfer-Encoding)
  type=$(header "$out.headers" Content-Type)
  ranges=$(header "$out.headers" Accept-Ranges)
  etag=$(header "$out.headers" ETag)
  modified=$(header "$out.headers" Last-Modified)

  if [ "$status" = 200 ]; then met "status 200"; else
    not_met "status 200: the answer is $status (404 and 410 are a missing file, others a network error)"
  fi
  if [[ $length =~ ^[0-9]+$ ]]; then met "Content-Length $length"; else
    not_met "Content-Length: ${length:-none}${transfer:+ (Transfer-Encoding $transfer)}: a body of unknown length is refused"
  fi
  if [ -z "$encoding" ] || [ "$(lower "$encoding")" = identity ]; then met "no content coding"; else
    not_met "no content coding: Content-Encoding $encoding (a compressed body is not the file and is refused)"
  fi
  case $(lower "${type%%;*}") in
    text/html | application/xhtml+xml)
      not_met "binary Content-Type: $type is a web page (a login or error page?), refused" ;;
    application/octet-stream | application/x-msdownload | application/vnd.microsoft.portable-executable | \
      application/x-rar-compressed | application/vnd.rar | application/x-rar)
      met "binary Content-Type $type" ;;
    "") costly "binary Content-Type: none (application/octet-stream is expected)" ;;
    *) costly "binary Content-Type: $type (application/octet-stream is expected; proxies may change text)" ;;
  esac
  local validator=""
  if [ -n "$etag" ] && [[ $etag != W/* ]]; then validator="ETag $etag"; fi
  [ -z "$validator" ] && [ -n "$modified" ] && validator="Last-Modified $modified"
  if [ "$(lower "$ranges")" != bytes ]; then
    costly "resume: no Accept-Ranges: bytes (a cut download starts again from the first byte)"
  elif [ -z "$validator" ]; then
    costly "resume: Accept-Ranges: bytes but no strong ETag or Last-Modified (a cut download starts again)"
  else
    met "resume: Accept-Ranges: bytes with $validator"
  fi

  # The first 16 bytes: a cut download resumes with such a request. The body is cut off after
  # 16 bytes whatever the server sends.
  rm -f "$out".*
  ask "$scheme" "$path" "$out" --range 0-15 --output - | head -c 16 >/dev/null
  local rstatus rrange rencoding
  rstatus=$(status_of "$out.headers" 2>/dev/null)
  rrange=$(header "$out.headers" Content-Range 2>/dev/null)
  rencoding=$(header "$out.headers" Content-Encoding 2>/dev/null)
  # A server may code a GET's answer and not say so to a HEAD.
  if [ -z "$encoding" ] && [ -n "$rencoding" ] && [ "$(lower "$rencoding")" != identity ]; then
    not_met "no content coding: Content-Encoding $rencoding on GET (a compressed body is refused)"
  fi
  if [ "$rstatus" = 206 ] && [ -n "$length" ] && [ "$rrange" = "bytes 0-15/$length" ]; then
    met "range request: 206, Content-Range $rrange"
  elif [ "$rstatus" = 206 ]; then
    costly "range request: 206 with Content-Range '${rrange}' (bytes 0-15/$length expected; resume is refused)"
  else
    costly "range request: ${rstatus:-no answer} instead of 206 (resume is not possible)"
  fi
}

for scheme in http https; do
  for path in /Sandel/Sandel.exe /Sandel/Norvik_sys.rar "/Sandel/$code/Norvik.rar"; do
    check_file "$scheme" "$path"
  done
done
if [ $failed = 0 ]; then
  echo "every answer carries what the program needs"
else
  echo "the program refuses some of these answers (NOT MET above)"
fi
exit $failed
