"""Test certificates made with openssl at test time: a test CA and a server certificate for
`localhost` signed by it, and a second ("rogue") CA with its own localhost certificate that no
prefix trusts. Nothing here is ever installed outside a test's own Wine prefix."""
import os
import subprocess

OPENSSL = "/usr/bin/openssl"


def _run(*args, cwd):
    subprocess.run([OPENSSL, *args], cwd=cwd, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE, timeout=60)


def _make_ca(folder, name, subject):
    _run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "30",
         "-keyout", f"{name}.key", "-out", f"{name}.pem", "-subj", subject,
         "-addext", "basicConstraints=critical,CA:TRUE",
         "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=folder)
    _run("x509", "-in", f"{name}.pem", "-outform", "DER", "-out", f"{name}.der", cwd=folder)


def _make_server(folder, name, ca):
    ext = os.path.join(folder, f"{name}.ext")
    with open(ext, "w") as f:
        f.write("basicConstraints=CA:FALSE\n"
                "keyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\n"
                "subjectAltName=DNS:localhost,IP:127.0.0.1\n")
    _run("req", "-newkey", "rsa:2048", "-nodes", "-sha256", "-keyout", f"{name}.key",
         "-out", f"{name}.csr", "-subj", "/CN=localhost", cwd=folder)
    _run("x509", "-req", "-in", f"{name}.csr", "-CA", f"{ca}.pem", "-CAkey", f"{ca}.key",
         "-CAcreateserial", "-days", "30", "-sha256", "-extfile", ext,
         "-out", f"{name}.pem", cwd=folder)


def make_certs(folder):
    """Creates the certificates in `folder` (once) and returns their paths."""
    os.makedirs(folder, exist_ok=True)
    paths = {
        "ca_der": os.path.join(folder, "test-ca.der"),
        "server_cert": os.path.join(folder, "server.pem"),
        "server_key": os.path.join(folder, "server.key"),
        "rogue_cert": os.path.join(folder, "rogue-server.pem"),
        "rogue_key": os.path.join(folder, "rogue-server.key"),
    }
    if all(os.path.exists(p) for p in paths.values()):
        return paths
    _make_ca(folder, "test-ca", "/CN=Norvik Test CA")
    _make_server(folder, "server", "test-ca")
    _make_ca(folder, "rogue-ca", "/CN=Untrusted Test CA")
    _make_server(folder, "rogue-server", "rogue-ca")
    return paths


if __name__ == "__main__":
    import sys
    print(make_certs(sys.argv[1] if len(sys.argv) > 1 else "certs"))
