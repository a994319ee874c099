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
    mode, nbytes, seconds, peak, paints, pixels, result, dl_cpu, window_cpu, pumps = line.split()
    return {"bytes": int(nbytes), "seconds": float(seconds), "peak": int(peak),
            "paints": int(paints), "pixels": int(pixels), "result": result,
            "cpu": usage.ru_utime + usage.ru_stime, "dl_cpu": float(dl_cpu),
            "window_cpu": float(window_cpu), "pumps": int(pumps)}


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


def speed(r):
    return r["bytes"] / MIB / r["seconds"]


def per_gib(r, key):
    """CPU seconds per GiB; curl's only figure is its whole process."""
    return r.get(key, r["cpu"]) / (r["bytes"] / 1024 / MIB)


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
    p.add_argument("--product", required=True, help="the program whose pictures the window shows")
    p.add_argument("--rounds", type=int, default=5)
    p.add_argument("--size-mib", type=int, default=256)
    p.add_argument("--skip-memory", action="store_true")
    p.add_argument("--modes", default="engine,offscreen,bare,bare4kpump,curl",
                   help="the rows to run, comma-separated")
    a = p.parse_args()

    work = os.path.join(a.build, "bench")
    out_dir = os.path.join(work, "out")
    os.makedirs(out_dir, exist_ok=True)
    product = a.product
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
        modes = a.modes.split(",")
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
                          f"{per_gib(r, 'dl_cpu'):6.2f} CPU s/GiB (process {per_gib(r, 'cpu'):6.2f}"
                          + (f", window thread {per_gib(r, 'window_cpu'):5.2f}"
                             if "window_cpu" in r else "") + ")"
                          + (f"  paints {r['paints']}" if r.get("paints") else "")
                          + (f"  pumps {r['pumps']}" if r.get("pumps") else ""), flush=True)

        print()
        print(f"Medians of {a.rounds} interleaved runs, {a.size_mib} MiB, loopback nginx, "
              f"engine and bare reads of {download_read_size()} bytes (CPU: during the download; "
              f"process: the whole process, its start and window included):")
        print(f"{'':12}{'HTTP MiB/s':>12}{'HTTPS MiB/s':>13}{'HTTP CPU s/GiB':>16}"
              f"{'HTTPS CPU s/GiB':>17}{'process HTTP':>14}{'HTTPS':>7}")
        med = {}
        for mode in modes:
            row = []
            for key in ("speed", "dl_cpu", "cpu"):
                for scheme in bases:
                    runs = results[(mode, scheme)]
                    v = statistics.median(speed(r) if key == "speed" else per_gib(r, key)
                                          for r in runs)
                    med[(mode, scheme, key)] = v
                    row.append(v)
            print(f"{mode:12}{row[0]:12.1f}{row[1]:13.1f}{row[2]:16.2f}{row[3]:17.2f}"
                  f"{row[4]:14.2f}{row[5]:7.2f}")
        if "engine" in modes and "bare" in modes:
            for scheme in bases:
                e, b = results[("engine", scheme)], results[("bare", scheme)]

                # Each round's engine and bare runs follow each other: their ratio is less
                # exposed to what else the machine is doing than the ratio of the medians.
                def paired(f):
                    return statistics.median(f(x) / f(y) for x, y in zip(e, b))

                def ratio(key):
                    return med[("engine", scheme, key)] / med[("bare", scheme, key)]

                print(f"engine / bare ({scheme}): speed {ratio('speed'):.3f} (rounds' own "
                      f"{paired(speed):.3f}), CPU {ratio('dl_cpu'):.3f} (rounds' own "
                      f"{paired(lambda r: per_gib(r, 'dl_cpu')):.3f}), process CPU "
                      f"{ratio('cpu'):.3f}; per run: paints "
                      f"{statistics.median(r['paints'] for r in e):.0f} of "
                      f"{statistics.median(r['pixels'] / max(r['paints'], 1) for r in e):.0f} "
                      f"pixels, pumps {statistics.median(r['pumps'] for r in e):.0f}")

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
