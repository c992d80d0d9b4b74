#!/usr/bin/env python3
"""Turns the results of scripts/bench into BENCHMARKS.md (on standard output)
and the data file of the scaling plot.

Usage: report.py RESULTS_FOLDER
"""
import json
import os
import platform
import statistics
import subprocess
import sys

folder = sys.argv[1]


def load(name):
    with open(os.path.join(folder, name)) as f:
        return json.load(f)


def times(*names):
    """Wall times in seconds of each command over one or more hyperfine runs."""
    found = {}
    for name in names:
        for r in load(name)["results"]:
            found.setdefault(r["command"], []).extend(r["times"])
    return found


def medians(*names):
    """Median wall time in seconds of each command over one or more hyperfine runs."""
    return {command: statistics.median(t) for command, t in times(*names).items()}


def machine():
    cpu = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        mem = int(f.readline().split()[1]) // 1024
    return f"{cpu}, {os.cpu_count()} cores, {mem} MiB, Linux {platform.release()}"


def version(command):
    return subprocess.run(command, capture_output=True, text=True).stdout.split("\n")[0].strip()


def verdict(ok):
    return "met" if ok else "**missed**"


rows = []

request = medians("request.json")
for program in ("lookout", "folio"):
    ratio = request[program] / request["true"]
    rows.append((f"{program}, 1 KiB body", f"{request[program] * 1e3:.3f} ms",
                 f"{ratio:.2f} x /bin/true", "<= 1.25 x /bin/true", verdict(ratio <= 1.25)))
ratio = request["postern"] / request["floor"]
rows.append(("postern, 1 KiB body, null mailer", f"{request['postern'] * 1e3:.3f} ms",
             f"{ratio:.2f} x floor ({request['floor'] * 1e3:.3f} ms)", "<= 1.25 x floor", verdict(ratio <= 1.25)))
rows.append(("/bin/true", f"{request['true'] * 1e3:.3f} ms", "1.00", "reference", ""))

python = medians("python.json")
speedup = python["python"] / python["postern"]
rows.append(("postern, 32 MiB, 1024 fields", f"{python['postern'] * 1e3:.1f} ms",
             f"{speedup:.1f} x faster than Python ({python['python'] * 1e3:.0f} ms)", ">= 20 x faster",
             verdict(speedup >= 20)))

sizes = [8, 16, 32, 64]
rounds = range(1, 11)
scale = {mib: medians(*(f"scale-{mib}-{r}.json" for r in rounds)) for mib in sizes}
fastest = {mib: {c: min(t) for c, t in times(*(f"scale-{mib}-{r}.json" for r in rounds)).items()} for mib in sizes}
memory = {}
with open(os.path.join(folder, "memory.txt")) as f:
    for line in f:
        mib, program, kb = line.split()
        memory[(int(mib), program)] = int(kb) / 1024

for program in ("postern", "folio"):
    for small, large in zip(sizes, sizes[1:]):
        growth = scale[large][program] / scale[small][program]
        least = fastest[large][program] / fastest[small][program]
        rows.append((f"{program}, {small} -> {large} MiB", f"{scale[large][program] * 1e3:.1f} ms",
                     f"{growth:.2f} x (fastest runs: {least:.2f} x)", "<= 2.3 x", verdict(growth <= 2.3)))
    for mib in sizes:
        peak = memory[(mib, program)]
        limit = 2.5 * mib + 8
        rows.append((f"{program}, {mib} MiB, peak memory", f"{peak:.1f} MiB", f"{peak / mib:.2f} x body",
                     f"<= {limit:.0f} MiB", verdict(peak <= limit)))

with open(os.path.join(folder, "scaling.dat"), "w") as f:
    f.write("# MiB postern_ms folio_ms postern_peak_MiB folio_peak_MiB\n")
    for mib in sizes:
        f.write(f"{mib} {scale[mib]['postern'] * 1e3:.2f} {scale[mib]['folio'] * 1e3:.2f} "
                f"{memory[(mib, 'postern')]:.1f} {memory[(mib, 'folio')]:.1f}\n")

micro = [b for b in load("micro.json")["benchmarks"] if b.get("aggregate_name") == "median"]

print("# Benchmarks\n")
print("Reproduce everything on this page, the plot included, with one command:\n")
print("```sh\n./scripts/bench\n```\n")
print(f"Machine: {machine()}. {version(['hyperfine', '--version'])}; Python "
      f"{platform.python_version()} for the peer. Whole-process figures are medians of hyperfine runs "
      "(3000 runs a command per request, 10 against Python; for the scaling, 50 runs of each size, taken in ten rounds over all sizes), all commands of a table measured in the "
      "same run; hyperfine runs each command through `sh` to feed the body on standard input and "
      "subtracts the shell's own start-up.\n")
print("The programs are the optimised build that the README installs (`CMAKE_BUILD_TYPE=Release`, "
      "statically linked). postern runs with `bench/nullmailer` compiled in as its mailer: it reads "
      "its input and exits 0. The floor (`bench/mailer_floor.cc`) makes the same pipe, forks, execs the "
      "same mailer, writes a fixed short message and waits. The Python peer (`bench/peer.py`) decodes "
      "with `urllib.parse.parse_qsl` (latin-1) and writes the same field lines. Bodies come from "
      "`bench/make_body.py`: mixed text as a browser encodes it (words joined by `+`, punctuation, line "
      "breaks and non-ASCII letters as `%XX`); postern's have 1024 fields, folio's 20 (all it shows).\n")
print("| measure | median | figure | target | |")
print("|---|---|---|---|---|")
for row in rows:
    print("| " + " | ".join(row) + " |")
print("\nOn this virtual machine the time of one large run varies by a quarter or more from run to run "
      "(fresh memory is slow to fault in, and how slow changes from moment to moment), so the growth "
      "is also given between the fastest runs of each size.")
print("\n![time and peak memory against body size](bench/scaling.png)\n")
print("## Micro-benchmarks (Google Benchmark, medians of 5 repetitions)\n")
print("| benchmark | time | throughput |")
print("|---|---|---|")
for b in micro:
    name = b["run_name"]
    throughput = b.get("bytes_per_second", 0) / (1 << 30)
    print(f"| `{name}` | {b['real_time']:.2f} {b['time_unit']} | {throughput:.2f} GiB/s |")
print("\n`makeword` is timed with the copy of its line that each iteration needs; "
      "`unescape_url` with the copy excluded.")
