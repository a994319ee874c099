#!/bin/sh
# make_package_signatures.sh DIR PUBLISHER
# Packages and detached CMS signatures of them for the Windows-side package-signature test, made
# with openssl as the release makes them. DIR/trusted/codesign-ca.der is the CA the test prefix
# trusts; DIR/untrusted/ holds a CA it does not. Writes into DIR:
#   package.bin, other.bin  the packages (package.bin spans several reads)
#   good.p7s            package.bin signed by PUBLISHER (code signing, trusted CA)
#   other-bytes.p7s     other.bin signed by PUBLISHER
#   other-signer.p7s    package.bin signed by "Other Software Ltd" (trusted CA)
#   not-code-signing.p7s  package.bin signed by PUBLISHER with a server-authentication certificate
#   untrusted-root.p7s  package.bin signed by PUBLISHER under the untrusted CA
#   truncated.p7s       good.p7s cut in half
set -eu
dir=$1
publisher=$2
mkdir -p "$dir/trusted" "$dir/untrusted"
. "$(dirname "$0")/../../tools/codesign/test_signing.sh"

# Names of their own: the prefix also trusts the build's code-signing test CA.
test_ca "$dir/trusted" "Norvik Test Package CA"
test_ca "$dir/untrusted" "Untrusted Test Package CA"
test_signer "$dir/trusted" publisher "$publisher"
test_signer "$dir/trusted" other "Other Software Ltd"
test_signer "$dir/untrusted" publisher "$publisher"
openssl req -newkey rsa:2048 -nodes -sha256 -subj "/O=$publisher/CN=$publisher" \
  -keyout "$dir/trusted/server.key" -out "$dir/trusted/server.csr" 2>/dev/null
issue_cert "$dir/trusted" server \
  'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth\n'

head -c 200000 /dev/urandom >"$dir/package.bin"
head -c 5000 /dev/urandom >"$dir/other.bin"

sign() {  # sign CA-DIR NAME PACKAGE OUT
  openssl cms -sign -binary -md sha256 -outform DER -in "$3" -signer "$1/$2.leaf.pem" \
    -inkey "$1/$2.key" -certfile "$1/codesign-ca.pem" -out "$4"
}
sign "$dir/trusted" publisher "$dir/package.bin" "$dir/good.p7s"
sign "$dir/trusted" publisher "$dir/other.bin" "$dir/other-bytes.p7s"
sign "$dir/trusted" other "$dir/package.bin" "$dir/other-signer.p7s"
sign "$dir/trusted" server "$dir/package.bin" "$dir/not-code-signing.p7s"
sign "$dir/untrusted" publisher "$dir/package.bin" "$dir/untrusted-root.p7s"
size=$(stat -c %s "$dir/good.p7s")
head -c $((size / 2)) "$dir/good.p7s" >"$dir/truncated.p7s"
