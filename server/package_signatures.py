"""The packages' detached signatures (`<package>.p7s`) for the test and demo servers, made by the
release's own command (`scripts/release.sh --sign-packages`) with the test code-signing
certificate that the build made for the stand-in update tool (BUILD/tools/codesign, from
tools/sandel/sign_sandel.sh), so the servers publish what a release publishes."""

import os
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
RELEASE = os.path.join(HERE, "..", "scripts", "release.sh")


def codesign_folder(build):
    return os.path.join(build, "tools", "codesign")


def sign_packages(folder, build):
    """Every *.rar under `folder` gets its .p7s, signed by the build's publisher certificate and
    verified against the build's code-signing test CA."""
    certs = codesign_folder(build)
    with open(os.path.join(certs, "publisher.name")) as f:
        publisher = f.read()
    r = subprocess.run(["bash", RELEASE, "--sign-packages", folder,
                        "--sign-cert", os.path.join(certs, "publisher.pem"),
                        "--sign-key", os.path.join(certs, "publisher.key"),
                        "--publisher", publisher],
                       stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)
    if r.returncode != 0:
        raise RuntimeError(f"signing the packages under {folder} failed:\n{r.stdout}{r.stderr}")
