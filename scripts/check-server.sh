#!/usr/bin/env bash
# Asks a download server for the three files the program fetches, as the program asks (over
# http:// and https:// to the same HOST, through the proxy when one is given), and prints per file
# and scheme whether each answer is one the program takes, judged by the program's own rules.
#
#   scripts/check-server.sh HOST[:PORT] CUSTOMER-CODE [--proxy PROXYHOST:PORT]
#                           [--package-signatures [--ca ROOTS.pem]]
#
# Every request is the program's: its agent, no Accept-Encoding, the customer code as one
# percent-encoded path segment, GET only, at most 5 redirects followed, never from https to http.
# Per file: a GET of the first 16 bytes (Range), as a resumed download asks; a plain GET whose
# headers are judged and whose body is dropped after its first bytes (up to 64 KiB, enough for
# the web-page rule); and a HEAD, which the program never sends, only to point out a server that
# answers it otherwise than GET. For https, two TLS 1.2 handshakes with the cipher suites and
# curves of Windows 7 with IE11 and of Windows 8.1 (openssl s_client). With --package-signatures,
# for a program built to require them: each package's signature PKG.p7s is asked for like the
# files, and the package fetched whole with it and its signature checked with openssl cms
# (scripts/package_signature.sh) against the roots of ROOTS.pem (default: the system's).
# Each line is
#   met            the answer is as it should be
#   NOT MET        the program refuses the file (or cannot reach it): the exit code is 1
#   not met (...)  the program still works, with the cost named (for example no resume)
#   hint           what HEAD answers otherwise than GET (the program does not see it)
# HTTPS certificates are checked against the system's trusted CAs (CURL_CA_BUNDLE names
# another bundle). Exit code 0 when nothing the program insists on is missing, 1 otherwise,
# 2 on a usage error.
set -uo pipefail
# Bytes, not characters: the percent-encoding and the first bytes are judged byte by byte.
export LC_ALL=C

usage() {
  echo "usage: check-server.sh HOST[:PORT] CUSTOMER-CODE [--proxy PROXYHOST:PORT]" \
    "[--package-signatures [--ca ROOTS.pem]]" >&2
  exit 2
}
[ $# -ge 2 ] || usage
host=$1
code=$2
shift 2
proxy=() tls_proxy=()
signatures=0 ca=""
while [ $# -gt 0 ]; do
  case $1 in
    --proxy) [ $# -ge 2 ] || usage; proxy=(--proxy "http://$2"); tls_proxy=(-proxy "$2"); shift 2 ;;
    --package-signatures) signatures=1; shift ;;
    --ca)
      if [ $# -lt 2 ] || [ ! -r "$2" ]; then usage; fi
      ca=$(realpath "$2")
      shift 2 ;;
    *) usage ;;
  esac
done
[ -z "$ca" ] || [ $signatures = 1 ] || usage
# shellcheck source=scripts/package_signature.sh
source "$(dirname "$0")/package_signature.sh"
for tool in curl openssl; do
  command -v $tool >/dev/null ||
    { echo "check-server.sh: $tool is missing (apt-get install $tool)" >&2; exit 2; }
done
# The program refuses such a code before it asks anything: as a path segment it would name
# another folder (servers resolve dot segments, some decode %2F first).
case $code in
  "" | . | .. | */* | *\\*)
    echo "check-server.sh: the program refuses the customer code '$code' (it would leave its folder)" >&2
    exit 2 ;;
esac

# The program's agent (kAgent).
AGENT=API-Download
# The first bytes read of a body: as many as the program reads at most to judge them.
SNIFF_BYTES=65536
RANGE_LAST=15
# ask keeps the first BODY_LIMIT bytes of a body and gives a request MAX_TIME seconds.
BODY_LIMIT=$SNIFF_BYTES MAX_TIME=30
# A package fetched whole for its signature: up to a terabyte, in an hour at most.
WHOLE_BYTES=1099511627776 WHOLE_SECONDS=3600

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

met() { echo "  met      $*"; }
not_met() { echo "  NOT MET  $*"; failed=1; }
costly() { echo "  not met  $*"; }
hint() { echo "  hint     $*"; }

# percent_encode TEXT: TEXT as one path segment, as the program writes the customer code: the
# unreserved characters (letters, digits, - . _ ~) kept, every other byte %XX in upper case.
percent_encode() {
  local text=$1 i c out=""
  for ((i = 0; i < ${#text}; i++)); do
    c=${text:i:1}
    if [[ $c == [A-Za-z0-9._~-] ]]; then
      out+=$c
    else
      out+=$(printf '%%%02X' "'$c")
    fi
  done
  printf '%s' "$out"
}

# header FILE NAME: the value of NAME in curl's header dump FILE ("" when absent), without the
# line end; the last one when repeated.
header() {
  awk -v name="$(tr '[:upper:]' '[:lower:]' <<<"$2")" '
    /^HTTP\// { delete h }
    { line = $0; sub(/\r$/, "", line); i = index(line, ":") }
    i > 0 { k = tolower(substr(line, 1, i - 1)); v = substr(line, i + 1); sub(/^[ \t]+/, "", v)
            sub(/[ \t]+$/, "", v); h[k] = v }
    END { print h[name] }' "$1"
}
lower() { tr '[:upper:]' '[:lower:]' <<<"$1"; }
# http_date TEXT: the seconds since 1970 of an HTTP-date in one of its three forms (IMF-fixdate,
# RFC 850, asctime), as the program reads Date and Last-Modified; "" for anything else.
http_date() {
  local day='(Mon|Tue|Wed|Thu|Fri|Sat|Sun)' month='(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)'
  local time='[0-9]{2}:[0-9]{2}:[0-9]{2}'
  if [[ $1 =~ ^$day,\ [0-9]{2}\ $month\ [0-9]{4}\ $time\ GMT$ ]] ||
    [[ $1 =~ ^(Mon|Tues|Wednes|Thurs|Fri|Satur|Sun)day,\ [0-9]{2}-$month-[0-9]{2}\ $time\ GMT$ ]] ||
    [[ $1 =~ ^$day\ $month\ (\ [0-9]|[0-9]{2})\ $time\ [0-9]{4}$ ]]; then
    date -u -d "$1" +%s 2>/dev/null
  fi
}
scheme_of() { lower "${1%%://*}"; }
# is_identity CODING: no coding, or "identity" (the body is the file itself).
is_identity() { [ -z "$1" ] || [ "$(lower "$1")" = identity ]; }
# is_page_type TYPE: text/html or application/xhtml+xml, any parameters, any case.
is_page_type() {
  local t
  t=$(lower "${1%%;*}")
  t=${t//[[:space:]]/}
  [ "$t" = text/html ] || [ "$t" = application/xhtml+xml ]
}
# first_byte FILE: the first byte of FILE after a UTF-8 byte-order mark and white space (space,
# tab, CR, LF, FF), in hex ("" when there is none).
first_byte() {
  local skip=0
  [ "$(od -An -tx1 -N3 "$1" | tr -d ' \n')" = efbbbf ] && skip=3
  tail -c +$((skip + 1)) "$1" | tr -d ' \t\r\n\f' | od -An -tx1 -N1 | tr -d ' \n'
}

# ask METHOD URL OUT [curl args...]: one request as the program makes it, redirects not followed.
# OUT.headers gets the answer's headers, OUT.body the first BODY_LIMIT bytes of its body (the rest is
# dropped: curl stops when the reader is done), OUT.error curl's error; prints the status and
# the absolute URL a Location leads to (curl resolves it) on one line.
ask() {
  local method=$1 url=$2 out=$3
  shift 3
  local how=()
  [ "$method" = HEAD ] && how=(--head)
  rm -f "$out".*
  : >"$out.body"
  curl --silent --show-error --connect-timeout 15 --max-time "$MAX_TIME" "${proxy[@]}" -A "$AGENT" \
    "${how[@]}" -D "$out.headers" -w '%{http_code} %{redirect_url}' "$@" \
    -o >(head -c "$BODY_LIMIT" >"$out.body") "$url" 2>"$out.error"
  wait $! 2>/dev/null
}

# fetch METHOD URL OUT [curl args...]: asks URL and follows the redirects as the program does.
# Sets STATUS (of the last answer), FINAL (its URL), HOPS (redirects followed) and FAULT (why
# the program gets no answer from it; empty when it does).
fetch() {
  local method=$1 url=$2 out=$3
  shift 3
  local answer next
  STATUS="" FINAL=$url HOPS=0 FAULT=""
  while :; do
    answer=$(ask "$method" "$FINAL" "$out" "$@")
    STATUS=${answer%% *}
    next=${answer#* }
    [ "$answer" = "$STATUS" ] && next=""
    if [ ! -s "$out.headers" ] || [ "$STATUS" = 000 ]; then
      FAULT="answer: none ($(grep -v '(23)' "$out.error" | head -n1 | sed 's/^curl: ([0-9]*) //'))"
      return
    fi
    case $STATUS in 301 | 302 | 303 | 307 | 308) ;; *) return ;; esac
    if [ $HOPS = 5 ]; then
      FAULT="redirects: more than 5 (the program follows 5 at most)"
    elif [ -z "$next" ]; then
      FAULT="redirect: $STATUS without a usable Location"
    elif [ "$(scheme_of "$next")" != http ] && [ "$(scheme_of "$next")" != https ]; then
      FAULT="redirect: $STATUS to $next, neither http nor https"
    elif [ "$(scheme_of "$FINAL")" = https ] && [ "$(scheme_of "$next")" = http ]; then
      FAULT="redirect: from https to http ($next): the program never follows one"
    elif [ "$(scheme_of "$FINAL")" = http ] && [ "$(scheme_of "$next")" = https ]; then
      FAULT="redirect: from http to https ($next): Windows XP and Server 2003 ask over http only and cannot reach it"
    fi
    [ -z "$FAULT" ] || return
    HOPS=$((HOPS + 1))
    FINAL=$next
  done
}

check_file() {
  local url=$1 out=$work/answer
  echo "$url"
  # A cut download resumes with such a request: a small range first.
  fetch GET "$url" "$out.range" -H "Range: bytes=0-$RANGE_LAST"
  local rstatus=$STATUS rfault=$FAULT
  local rrange="" rlength=""
  if [ -z "$rfault" ]; then
    rrange=$(header "$out.range.headers" Content-Range)
    rlength=$(header "$out.range.headers" Content-Length)
  fi

  fetch GET "$url" "$out.get"
  if [ -n "$FAULT" ]; then
    not_met "$FAULT"
    return
  fi
  [ $HOPS = 0 ] || met "redirects: $HOPS, to $FINAL"
  local h=$out.get.headers status=$STATUS
  local length encoding transfer type ranges etag modified served
  length=$(header "$h" Content-Length)
  encoding=$(header "$h" Content-Encoding)
  transfer=$(header "$h" Transfer-Encoding)
  type=$(header "$h" Content-Type)
  ranges=$(header "$h" Accept-Ranges)
  etag=$(header "$h" ETag)
  modified=$(header "$h" Last-Modified)
  served=$(header "$h" Date)

  case $status in
    204 | 205 | 206) not_met "status 200: the answer is $status (no file, or a part not asked for: refused)"; return ;;
    2??) met "status $status" ;;
    404 | 410) not_met "status 200: the answer is $status (the program reports the file missing)"; return ;;
    407) not_met "status 200: the answer is 407 (the proxy asks for a login: the program asks the user for it, this check cannot)"; return ;;
    *) not_met "status 200: the answer is $status (a network error to the program)"; return ;;
  esac
  if [[ $length =~ ^[0-9]+$ ]] && is_identity "$transfer"; then
    met "Content-Length $length"
  else
    not_met "Content-Length: ${length:-none}${transfer:+ (Transfer-Encoding $transfer)}: a body of unknown length is refused"
  fi
  if is_identity "$encoding"; then met "no content coding"; else
    not_met "no content coding: Content-Encoding $encoding (a compressed body is not the file and is refused)"
  fi
  local first
  first=$(first_byte "$out.get.body")
  if is_page_type "$type"; then
    not_met "binary Content-Type: $type is a web page (a login or error page?), refused"
  elif [ "$first" = 3c ]; then
    not_met "first bytes: the body begins with '<' (a web page sent as ${type:-no type}; a login or error page?), refused"
  else
    case $(lower "${type%%;*}") in
      application/octet-stream | application/x-msdownload | application/vnd.microsoft.portable-executable | \
        application/x-rar-compressed | application/vnd.rar | application/x-rar | \
        application/pkcs7-signature)
        met "binary Content-Type $type, first bytes not a web page" ;;
      "") costly "binary Content-Type: none (application/octet-stream is expected)" ;;
      *) costly "binary Content-Type: $type (application/octet-stream is expected; proxies may change text)" ;;
    esac
  fi

  # Resuming needs ranges offered with a strong validator, and a range answered with exactly that
  # part. A strong ETag is one; with no ETag at all (a weak one included), a Last-Modified at
  # least 60 s before the answer's Date.
  local validator="" weak="no ETag, no Last-Modified"
  if [ -n "$etag" ]; then
    if [[ $etag != W/* ]]; then validator="ETag $etag"; else weak="the ETag $etag is weak"; fi
  elif [ -n "$modified" ]; then
    local modified_s served_s
    modified_s=$(http_date "$modified")
    served_s=$(http_date "$served")
    if [ -z "$modified_s" ] || [ -z "$served_s" ]; then
      weak="Last-Modified '$modified' with Date '${served:-none}': not both readable dates"
    elif [ $((served_s - modified_s)) -lt 60 ]; then
      weak="Last-Modified $modified less than 60 s before the Date $served"
    else
      validator="Last-Modified $modified"
    fi
  fi
  local last=$RANGE_LAST
  [[ $length =~ ^[0-9]+$ ]] && [ "$length" -gt 0 ] && [ "$length" -le $RANGE_LAST ] && last=$((length - 1))
  if [ "$(lower "${ranges//[[:space:]]/}")" != bytes ]; then
    costly "resume: no Accept-Ranges: bytes (a cut download starts again from the first byte)"
  elif [ -z "$validator" ]; then
    costly "resume: Accept-Ranges: bytes but no strong validator ($weak; a cut download starts again)"
  elif [ -n "$rfault" ]; then
    costly "resume: the range request got no answer ($rfault)"
  elif [ "$rstatus" != 206 ]; then
    costly "resume: the range request got $rstatus instead of 206 (a cut download starts again)"
  elif [ "$rrange" != "bytes 0-$last/$length" ] || [ "$rlength" != $((last + 1)) ]; then
    costly "resume: 206 with Content-Range '$rrange', Content-Length '$rlength' (bytes 0-$last/$length expected; a cut download starts again)"
  else
    met "resume: Accept-Ranges: bytes with $validator, a range answered 206 $rrange"
  fi

  # HEAD, which the program never sends: only what it answers otherwise than GET.
  fetch HEAD "$url" "$out.head"
  if [ -n "$FAULT" ]; then
    hint "HEAD: $FAULT, where GET is answered (the program asks with GET only)"
    return
  fi
  local name differs=""
  [ "$STATUS" = "$status" ] || differs="status $STATUS (GET: $status)"
  for name in Content-Length Content-Type Content-Encoding Transfer-Encoding; do
    local a b
    a=$(header "$out.head.headers" $name)
    b=$(header "$h" $name)
    [ "$a" = "$b" ] || differs+="${differs:+, }$name '${a}' (GET: '${b}')"
  done
  [ -z "$differs" ] || hint "HEAD answers $differs: HEAD does not tell what the program gets"
}

# check_signature URL: URL fetched whole with its signature URL.p7s, which must be there, no larger
# than the program reads, and verify against these bytes and the roots.
check_signature() {
  local url=$1 out=$work/signed name trusted="the system's roots" sig=${1##*/}.p7s
  [ -z "$ca" ] || trusted=$ca
  BODY_LIMIT=$((PACKAGE_SIGNATURE_MAX + 1)) fetch GET "$url.p7s" "$out.sig"
  if [ -n "$FAULT" ]; then
    not_met "signature: $sig: $FAULT"
    return
  fi
  case $STATUS in
    2??) ;;
    404 | 410) not_met "signature: missing ($sig answers $STATUS): the program refuses the package"; return ;;
    *) not_met "signature: $sig answers $STATUS"; return ;;
  esac
  BODY_LIMIT=$WHOLE_BYTES MAX_TIME=$WHOLE_SECONDS fetch GET "$url" "$out.pkg"
  local length
  length=$(header "$out.pkg.headers" Content-Length)
  local got
  got=$(stat -c %s "$out.pkg.body")
  if [ -n "$FAULT" ] || [[ $STATUS != 2?? ]] || [ "$got" != "$length" ]; then
    not_met "signature: the package could not be fetched whole (${FAULT:-status $STATUS, $got of ${length:-unknown} bytes})"
  elif name=$(verify_package "$out.pkg.body" "$out.sig.body" "$ca"); then
    met "signature: $sig verifies, signed by $name for code signing, up to $trusted"
  else
    not_met "signature: $sig $name"
  fi
  rm -f "$out".*
}

# The cipher suites Windows offers in a TLS 1.2 handshake by default, in OpenSSL's names, from
# Microsoft's "TLS Cipher Suites in Windows 7" (with the update of Security Advisory 3042058;
# IE11 turns TLS 1.2 on for WinINet) and "TLS Cipher Suites in Windows 8.1" (with update
# 2919355), learn.microsoft.com/windows/win32/secauthn/. Both pages list the same suites in the
# same order. Left out: RC4 and 3DES (Debian's OpenSSL 3 offers neither, whatever the security
# level; IE11 no longer uses RC4) and the NULL suites (only on an application's explicit
# request). Their curves for ECDHE, enabled by default: P-256 and P-384.
WINDOWS7_CIPHERS=ECDHE-RSA-AES256-SHA384:ECDHE-RSA-AES128-SHA256:ECDHE-RSA-AES256-SHA:ECDHE-RSA-AES128-SHA:DHE-RSA-AES256-GCM-SHA384:DHE-RSA-AES128-GCM-SHA256:DHE-RSA-AES256-SHA:DHE-RSA-AES128-SHA:AES256-GCM-SHA384:AES128-GCM-SHA256:AES256-SHA256:AES128-SHA256:AES256-SHA:AES128-SHA:ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-ECDSA-AES256-SHA384:ECDHE-ECDSA-AES128-SHA256:ECDHE-ECDSA-AES256-SHA:ECDHE-ECDSA-AES128-SHA:DHE-DSS-AES256-SHA256:DHE-DSS-AES128-SHA256:DHE-DSS-AES256-SHA:DHE-DSS-AES128-SHA
WINDOWS81_CIPHERS=$WINDOWS7_CIPHERS
WINDOWS_CURVES=P-256:P-384

# tls_handshake NAME CIPHERS: a TLS 1.2 handshake with HOST offering only CIPHERS and the curves.
tls_handshake() {
  local name=$1 ciphers=$2 log=$work/tls.log connect=$host
  [[ $connect == *:* ]] || connect=$host:443
  # @SECLEVEL=0: offered as Windows offers them, whatever OpenSSL's own policy.
  timeout 30 openssl s_client -connect "$connect" -servername "${host%%:*}" "${tls_proxy[@]}" \
    -tls1_2 -cipher "$ciphers:@SECLEVEL=0" -groups "$WINDOWS_CURVES" </dev/null >"$log" 2>&1
  local cipher
  cipher=$(sed -n 's/^ *Cipher *: *//p' "$log" | head -n1)
  if grep -q '^ *Protocol *: *TLSv1.2' "$log" && [ -n "$cipher" ] && [ "$cipher" != 0000 ] &&
    [ "$cipher" != "(NONE)" ]; then
    met "TLS 1.2 handshake as $name: $cipher"
  else
    local why
    why=$(grep -m1 -i 'error\|alert\|refused\|timed out' "$log" |
      sed 's/^[0-9A-F]*:error:[0-9A-F]*:[^:]*:[^:]*:\([^:]*\):.*/\1/')
    not_met "TLS 1.2 handshake as $name: refused (${why:-no handshake}): these machines cannot download over https"
  fi
}

encoded=$(percent_encode "$code")
for scheme in http https; do
  for path in /Sandel/Sandel.exe /Sandel/Norvik_sys.rar "/Sandel/$encoded/Norvik.rar"; do
    check_file "$scheme://$host$path"
    if [ $signatures = 1 ] && [ "$path" != /Sandel/Sandel.exe ]; then
      check_signature "$scheme://$host$path"
      check_file "$scheme://$host$path.p7s"
    fi
  done
done
echo "https://$host TLS"
tls_handshake "Windows 7 with IE11" "$WINDOWS7_CIPHERS"
tls_handshake "Windows 8.1" "$WINDOWS81_CIPHERS"
if [ $failed = 0 ]; then
  echo "every answer carries what the program needs"
else
  echo "the program refuses some of these answers (NOT MET above)"
fi
exit $failed
