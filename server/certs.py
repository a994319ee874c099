"""Test certificates made with openssl at test time: a test CA and a server certificate for
`localhost` signed by it, and a second ("rogue") CA with its own localhost certificate that no
prefix trusts: served alone ("rogue") the client cannot even build its chain; served with its CA
("unknown_ca", as an intercepting proxy sends it) the chain ends at an untrusted root. The test
CA also signs three server certificates a client must refuse: one for `localhost` that expired
long ago ("expired"), one for `localhost` valid only from 2099 on ("future", as a computer whose
clock runs years behind sees a current one) and one for another host ("other_host", for
elsewhere.test only). It also signs a certificate for the name `localhost` alone ("localhost_only",
refused for 127.0.0.1: a server whose one address is trusted and the other not). Nothing
here is ever installed outside a test's own Wine prefix."""
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


# `openssl x509 -req` of OpenSSL 3.0 cannot set a start date: a certificate valid only in the
# past or the future is issued with `openssl ca`, which needs this small configuration and its own database.
PAST_CA_CONFIG = """[ca]
default_ca = past
[past]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any_name
unique_subject = no
[any_name]
commonName = supplied
"""
PAST = ("20250101000000Z", "20250201000000Z")
FUTURE = ("20990101000000Z", "20990201000000Z")


def _make_server(folder, name, ca, host="localhost", dates=None, alt=None):
    ext = os.path.join(folder, f"{name}.ext")
    if alt is None:
        # Wine's WinINet matches an address only against a DNS entry; Windows takes the IP entry.
        alt = {"localhost": "DNS:localhost,IP:127.0.0.1",
               "127.0.0.1": "DNS:127.0.0.1,IP:127.0.0.1"}.get(host, f"DNS:{host}")
    with open(ext, "w") as f:
        f.write("basicConstraints=CA:FALSE\n"
                "keyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\n"
                f"subjectAltName={alt}\n")
    _run("req", "-newkey", "rsa:2048", "-nodes", "-sha256", "-keyout", f"{name}.key",
         "-out", f"{name}.csr", "-subj", f"/CN={host}", cwd=folder)
    if not dates:
        _run("x509", "-req", "-in", f"{name}.csr", "-CA", f"{ca}.pem", "-CAkey", f"{ca}.key",
             "-CAcreateserial", "-days", "30", "-sha256", "-extfile", ext,
             "-out", f"{name}.pem", cwd=folder)
        return
    db = os.path.join(folder, f"{name}-ca-db")
    os.makedirs(db, exist_ok=True)
    for file_name, text in (("ca.cnf", PAST_CA_CONFIG), ("index.txt", ""), ("serial", "01\n")):
        with open(os.path.join(db, file_name), "w") as f:
            f.write(text)
    _run("ca", "-batch", "-config", "ca.cnf", "-cert", f"../{ca}.pem", "-keyfile", f"../{ca}.key",
         "-in", f"../{name}.csr", "-out", f"../{name}.pem", "-extfile", f"../{name}.ext",
         "-startdate", dates[0], "-enddate", dates[1], "-notext", cwd=db)


def make_certs(folder):
    """Creates the certificates in `folder` (once) and returns their paths."""
    os.makedirs(folder, exist_ok=True)
    paths = {
        "ca_der": os.path.join(folder, "test-ca.der"),
        "server_cert": os.path.join(folder, "server.pem"),
        "server_key": os.path.join(folder, "server.key"),
        "rogue_cert": os.path.join(folder, "rogue-server.pem"),
        "rogue_key": os.path.join(folder, "rogue-server.key"),
        "unknown_ca_cert": os.path.join(folder, "rogue-chain.pem"),
        "unknown_ca_key": os.path.join(folder, "rogue-server.key"),
        "expired_cert": os.path.join(folder, "expired-server.pem"),
        "expired_key": os.path.join(folder, "expired-server.key"),
        "future_cert": os.path.join(folder, "future-server.pem"),
        "future_key": os.path.join(folder, "future-server.key"),
        "other_host_cert": os.path.join(folder, "other-host-server.pem"),
        "other_host_key": os.path.join(folder, "other-host-server.key"),
        "localhost_only_cert": os.path.join(folder, "localhost-only-server.pem"),
        "localhost_only_key": os.path.join(folder, "localhost-only-server.key"),
        # For https://127.0.0.1 (a host with a dot goes through a configured proxy).
        "address_cert": os.path.join(folder, "address-server.pem"),
        "address_key": os.path.join(folder, "address-server.key"),
    }
    if all(os.path.exists(p) for p in paths.values()):
        return paths
    _make_ca(folder, "test-ca", "/CN=Norvik Test CA")
    _make_server(folder, "server", "test-ca")
    _make_ca(folder, "rogue-ca", "/CN=Untrusted Test CA")
    _make_server(folder, "rogue-server", "rogue-ca")
    with open(paths["unknown_ca_cert"], "w") as chain:
        for name in ("rogue-server.pem", "rogue-ca.pem"):
            with open(os.path.join(folder, name)) as f:
                chain.write(f.read())
    _make_server(folder, "expired-server", "test-ca", dates=PAST)
    _make_server(folder, "future-server", "test-ca", dates=FUTURE)
    _make_server(folder, "other-host-server", "test-ca", host="elsewhere.test")
    _make_server(folder, "localhost-only-server", "test-ca", alt="DNS:localhost")
    _make_server(folder, "address-server", "test-ca", host="127.0.0.1")
    return paths


if __name__ == "__main__":
    import sys
    print(make_certs(sys.argv[1] if len(sys.argv) > 1 else "certs"))
