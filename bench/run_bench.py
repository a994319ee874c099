#!/usr/bin/python3
"""The download benchmark (run by bench/bench): nginx on loopback serves 256 MiB, 16 MiB and 1 GiB
files over HTTP and HTTPS; each round runs, interleaved, the engine with the live progress view
of the real window, the same call with an unseen progress view, the bare WinINet loop with the
engine's read size and no pump, the old way (4 KiB reads, one DoEvents each) and native curl, for
both schemes. Prints medians of throughput and of CPU seconds per GiB (user + system time of the
Windows process, from its rusage), the peak working set of the engine for 16 MiB and 1 GiB and
the size of the prefix's Internet cache folder before and after.

Needs WINEPREFIX and DISPLAY (./bench sets them up).
"""
import argparse
import math
import os
import platform
import resource
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
        proc = subprocess.Popen(["wine", exe, *args], stdout=f, stderr=subprocess.DEVNULL,
                                stdin=subprocess.DEVNULL)
        # The wine script execs the loader, which is the Windows process: its rusage is the
        # process's CPU time (wineserver's own is not counted).
        _, _, usage = os.wait4(proc.pid, 0)
        proc.returncode = 0
    with open(out) as f:
        line = f.read().strip().splitlines()[-1]
    mode, nbytes, seconds, peak, paints, pixels, result = line.split()
    return {"bytes": int(nbytes), "seconds": float(seconds), "peak": int(peak),
            "paints": int(paints), "pixels": int(pixels), "result": result,
            "cpu": usage.ru_utime + usage.ru_stime}


def run_curl(url, cacert, dest):
    args = ["curl", "-sS", "-o", dest, "-w", "%{size_download} %{time_total}"]
    if url.startswith("https"):
        args += ["--cacert", cacert]
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    r = subprocess.run(args + [url], capture_output=True, text=True, timeout=600, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    size, seconds = r.stdout.split()
    return {"bytes": int(float(size)), "seconds": float(seconds), "result": "ok",
            "cpu": (after.ru_utime + after.ru_stime) - (before.ru_utime + before.ru_stime)}


def download_read_size():
    """The engine's read size, as its header states it."""
    header = os.path.join(HERE, "..", "src", "download", "transfer.h")
    with open(header) as f:
        for line in f:
            if "kChunkSize =" in line:
                factors = line.split("=", 1)[1].strip().rstrip(";").split("*")  # 64 * 1024
                return math.prod(int(f) for f in factors)
    return "?"


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
        modes = ["engine", "offscreen", "bare", "bare4kpump", "curl"]
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
                    print(f"round {rnd + 1} {scheme:5} {mode:10} "
                          f"{r['bytes'] / MIB / r['seconds']:7.1f} MiB/s "
                          f"{r['cpu'] / (r['bytes'] / 1024 / MIB):6.2f} CPU s/GiB"
                          + (f"  paints {r['paints']}" if r.get("paints") else ""), flush=True)

        print()
        print(f"Medians of {a.rounds} interleaved runs, {a.size_mib} MiB, loopback nginx, "
              f"engine and bare reads of {download_read_size()} bytes:")
        print(f"{'':12}{'HTTP MiB/s':>12}{'HTTPS MiB/s':>13}{'HTTP CPU s/GiB':>16}"
              f"{'HTTPS CPU s/GiB':>17}")
        med = {}
        for mode in modes:
            speed, cpu = [], []
            for scheme in bases:
                runs = results[(mode, scheme)]
                v = statistics.median(r["bytes"] / MIB / r["seconds"] for r in runs)
                med[(mode, scheme)] = v
                speed.append(v)
                cpu.append(statistics.median(r["cpu"] / (r["bytes"] / 1024 / MIB) for r in runs))
            print(f"{mode:12}{speed[0]:12.1f}{speed[1]:13.1f}{cpu[0]:16.2f}{cpu[1]:17.2f}")
        for scheme in bases:
            ratio = med[("engine", scheme)] / med[("bare", scheme)]
            e = results[("engine", scheme)]
            # Each round's engine and bare runs follow each other: their ratio is less exposed to
            # what else the machine is doing than the ratio of the medians.
            paired = statistics.median(
                (e["bytes"] / e["seconds"]) / (b["bytes"] / b["seconds"])
                for e, b in zip(results[("engine", scheme)], results[("bare", scheme)]))
            print(f"engine / bare ({scheme}): {ratio:.3f} (median of the rounds' own ratios "
                  f"{paired:.3f}); paints per run "
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
