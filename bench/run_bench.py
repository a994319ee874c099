#!/usr/bin/python3
"""The download benchmark (run by ./bench): nginx on loopback serves 256 MiB, 16 MiB and 1 GiB
files over HTTP and HTTPS; each round runs, interleaved, the engine with the live progress view
of the real window, the bare WinINet loop, the bare loop with one DoEvents per chunk and native
curl, for both schemes. Prints medians, the peak working set of the engine for 16 MiB and 1 GiB
and the size of the prefix's Internet cache folder before and after.

Needs WINEPREFIX and DISPLAY (./bench sets them up).
"""
import argparse
import os
import platform
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "server"))
from testbed import Testbed, windows_path  # noqa: E402

MIB = 1024 * 1024


def folder_size(path):
    total = 0
    for root, _, files in os.walk(path):
        for f in files:
            try:
                total += os.path.getsize(os.path.join(root, f))
            except OSError:
                pass
    return total


def cache_folder():
    users = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users")
    for user in os.listdir(users):
        p = os.path.join(users, user, "AppData", "Local", "Microsoft", "Windows", "INetCache")
        if os.path.isdir(p):
            return p
    return None


def run_wine(exe, args, log_dir):
    # Output through a file: a wineserver started by this call must not hold a pipe.
    out = os.path.join(log_dir, "dlbench.out")
    with open(out, "wb") as f:
        subprocess.run(["wine", exe, *args], stdout=f, stderr=subprocess.DEVNULL,
                       stdin=subprocess.DEVNULL, timeout=1800, check=False)
    with open(out) as f:
        line = f.read().strip().splitlines()[-1]
    mode, nbytes, seconds, peak, paints, pixels, result = line.split()
    return {"bytes": int(nbytes), "seconds": float(seconds), "peak": int(peak),
            "paints": int(paints), "pixels": int(pixels), "result": result}


def run_curl(url, cacert, dest):
    args = ["curl", "-sS", "-o", dest, "-w", "%{size_download} %{time_total}"]
    if url.startswith("https"):
        args += ["--cacert", cacert]
    r = subprocess.run(args + [url], capture_output=True, text=True, timeout=600, check=True)
    size, seconds = r.stdout.split()
    return {"bytes": int(float(size)), "seconds": float(seconds), "result": "ok"}


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--build", required=True)
    p.add_argument("--dlbench", required=True)
    p.add_argument("--rounds", type=int, default=5)
    p.add_argument("--size-mib", type=int, default=256)
    p.add_argument("--skip-memory", action="store_true")
    a = p.parse_args()

    work = os.path.join(a.build, "bench")
    out_dir = os.path.join(work, "out")
    os.makedirs(out_dir, exist_ok=True)
    product = os.path.join(a.build, "UpgradeNorvik.exe")
    trustca = os.path.join(a.build, "tools", "trustca", "trustca.exe")
    files = {f"bench/{a.size_mib}.bin": a.size_mib * MIB}
    if not a.skip_memory:
        files.update({"bench/16.bin": 16 * MIB, "bench/1024.bin": 1024 * MIB})

    cache = cache_folder()
    cache_before = folder_size(cache) if cache else 0
    with Testbed(work, trustca, extra_files=files, proxy=False) as bed:
        bases = {"http": f"http://127.0.0.1:{bed.ports['NGINX_HTTP']}",
                 "https": f"https://localhost:{bed.ports['NGINX_HTTPS']}"}
        cacert = os.path.join(work, "certs", "test-ca.pem")
        remote = f"/bench/{a.size_mib}.bin"
        local_unix = os.path.join(out_dir, "download.bin")
        local = windows_path(local_unix)
        modes = ["engine", "offscreen", "bare", "barepump", "curl"]
        results = {(m, s): [] for m in modes for s in bases}
        for rnd in range(a.rounds):
            for scheme, base in bases.items():
                for mode in modes:
                    if mode == "curl":
                        r = run_curl(base + remote, cacert, local_unix)
                    else:
                        r = run_wine(a.dlbench, [mode, base, remote, local, product], work)
                    if r["result"] != "ok" or r["bytes"] != a.size_mib * MIB:
                        sys.exit(f"{mode} {scheme}: {r}")
                    results[(mode, scheme)].append(r)
                    os.remove(local_unix)
                    print(f"round {rnd + 1} {scheme:5} {mode:8} "
                          f"{r['bytes'] / MIB / r['seconds']:7.1f} MiB/s"
                          + (f"  paints {r['paints']}" if r.get("paints") else ""), flush=True)

        print()
        print(f"Medians of {a.rounds} interleaved runs, {a.size_mib} MiB, loopback nginx:")
        print(f"{'':10}{'HTTP MiB/s':>12}{'HTTPS MiB/s':>13}")
        med = {}
        for mode in modes:
            row = []
            for scheme in bases:
                v = statistics.median(r["bytes"] / MIB / r["seconds"] for r in results[(mode, scheme)])
                med[(mode, scheme)] = v
                row.append(v)
            print(f"{mode:10}{row[0]:12.1f}{row[1]:13.1f}")
        for scheme in bases:
            ratio = med[("engine", scheme)] / med[("barepump", scheme)]
            e = results[("engine", scheme)]
            print(f"engine / barepump ({scheme}): {ratio:.3f}; paints per run "
                  f"{statistics.median(r['paints'] for r in e):.0f}, painted pixels per paint "
                  f"{statistics.median(r['pixels'] / max(r['paints'], 1) for r in e):.0f}")

        if not a.skip_memory:
            print()
            for size in (16, 1024):
                r = run_wine(a.dlbench, ["engine", bases["http"], f"/bench/{size}.bin", local,
                                         product], work)
                os.remove(local_unix)
                print(f"engine peak working set, {size:5} MiB over http: "
                      f"{r['peak'] / MIB:8.2f} MiB ({r['bytes'] / MIB / r['seconds']:.1f} MiB/s)")
    cache_after = folder_size(cache) if cache else 0
    print(f"Internet cache folder: {cache_before} bytes before, {cache_after} bytes after")
    print(f"machine: {platform.machine()}, {os.cpu_count()} cores, {platform.platform()}")


if __name__ == "__main__":
    main()
