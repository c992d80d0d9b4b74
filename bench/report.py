#!/usr/bin/env python3
"""Turns the results of scripts/bench into BENCHMARKS.md (on standard output,
the figures put into the prose of bench/BENCHMARKS.md.in) and the data file
of the scaling plot.

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


def rounds(name, count):
    return [f"{name}-{r}.json" for r in range(1, count + 1)]


def table(rows):
    return "\n".join("| " + " | ".join(row) + " |" for row in rows)


def ms(seconds):
    return f"{seconds * 1e3:.2f} ms"


def runs(*names):
    return min(len(t) for t in times(*names).values())


shapes = {"text": "browser-like text", "lines": "short lines"}
sizes = {1024: "1 KiB", 65536: "64 KiB", 1048576: "1 MiB"}
figures = {}

# At the sizes a site accepts. postern lays a mail out from what it decodes,
# a line at a time: at 1 MiB its targets leave room for that.
def request_target(program, size, shape):
    if program == "postern" and size == 1048576:
        return 1.3 if shape == "text" else 1.5
    return 1.15


rows = []
for size, words in sizes.items():
    found = medians(*rounds(f"request-{size}", 5))
    for program in ("postern", "folio"):
        for shape, body in shapes.items():
            own, floor = found[f"{program}-{shape}"], found[f"{program}-floor-{shape}"]
            target = request_target(program, size, shape)
            rows.append((program, body, words, ms(own), ms(floor), f"{own / floor:.2f}x", f"<= {target}x",
                         verdict(own / floor <= target)))
    if size == 1024:
        own, floor = found["lookout"], found["true"]
        rows.append(("lookout", "browser-like text", words, ms(own), ms(floor) + " (/bin/true)",
                     f"{own / floor:.2f}x", "<= 1.25x", verdict(own / floor <= 1.25)))
figures["request_table"] = table(rows)
figures["request_runs"] = ", ".join(str(runs(*rounds(f"request-{size}", 5))) for size in sizes)
one_mib = medians(*rounds("request-1048576", 5))
figures["request_note"] = (
    "At 1 MiB postern's floor is "
    f"{ms(one_mib['postern-floor-text'])} for browser-like text and {ms(one_mib['postern-floor-lines'])} for short "
    "lines: the process, the read, the fresh pages of the message and the pipe. What postern adds is the decoding "
    "(`plustospace`, `unescape_url`, each byte once) and the mail's layout, counted and then written, with the "
    "name's indent after every line break of a value; for short lines that is a line every four bytes. The floors "
    "and their ratios are of the same run.")

# Fast paths.
fast = medians(*rounds("fast", 5))
rows = []
with open("bench/fast_paths") as f:
    paths = [line.strip().split(maxsplit=2) for line in f if line.strip() and not line.startswith("#")]
for switch, programs, what in paths:
    for program in programs.split(","):
        pairs = {shape: (fast[f"{program}-{shape}"], fast[f"{program}-{shape}-without-{switch}"]) for shape in shapes}
        savings = {shape: (without - own) / without for shape, (own, without) in pairs.items()}
        mean = sum(savings.values()) / len(savings)
        for shape, body in shapes.items():
            own, without = pairs[shape]
            last = shape == "lines"
            rows.append((f"{what} (`{switch}`)" if shape == "text" else "", program, body, ms(own), ms(without),
                         f"{savings[shape] * 100:.0f}%", f"{mean * 100:.0f}%" if last else "",
                         ("earns its lines" if mean >= 0.02 else "**moves nothing**") if last else ""))
figures["fast_table"] = table(rows)
figures["fast_runs"] = runs(*rounds("fast", 5))

# 32 MiB and the scaling.
rows = []
floors = medians(*rounds("floor-32", 3))
for program in ("postern", "folio"):
    for shape, body in shapes.items():
        own, floor = floors[f"{program}-{shape}"], floors[f"{program}-floor-{shape}"]
        rows.append((f"{program}, 32 MiB of {body}", f"{own * 1e3:.1f} ms",
                     f"{own / floor:.2f}x floor ({floor * 1e3:.1f} ms)", "context", ""))
figures["floor32_runs"] = runs(*rounds("floor-32", 3))
mibs = [8, 16, 32, 64]
scale = {mib: medians(*rounds(f"scale-{mib}", 6)) for mib in mibs}
fastest = {mib: {c: min(t) for c, t in times(*rounds(f"scale-{mib}", 6)).items()} for mib in mibs}
memory = {}
with open(os.path.join(folder, "memory.txt")) as f:
    for line in f:
        mib, program, kb = line.split()
        memory[(int(mib), program)] = int(kb) / 1024
for program in ("postern", "folio"):
    for small, large in zip(mibs, mibs[1:]):
        growth = scale[large][program] / scale[small][program]
        least = fastest[large][program] / fastest[small][program]
        rows.append((f"{program}, {small} -> {large} MiB", f"{scale[large][program] * 1e3:.1f} ms",
                     f"{growth:.2f}x (fastest runs: {least:.2f}x)", "<= 2.3x", verdict(growth <= 2.3)))
    for mib in mibs:
        peak = memory[(mib, program)]
        limit = 2.5 * mib + 8
        rows.append((f"{program}, {mib} MiB, peak memory", f"{peak:.1f} MiB", f"{peak / mib:.2f}x body",
                     f"<= {limit:.0f} MiB", verdict(peak <= limit)))
figures["scaling_table"] = table(rows)
with open(os.path.join(folder, "scaling.dat"), "w") as f:
    f.write("# MiB postern_ms folio_ms postern_peak_MiB folio_peak_MiB\n")
    for mib in mibs:
        f.write(f"{mib} {scale[mib]['postern'] * 1e3:.2f} {scale[mib]['folio'] * 1e3:.2f} "
                f"{memory[(mib, 'postern')]:.1f} {memory[(mib, 'folio')]:.1f}\n")

# Files with a form.
files = medians(*rounds("files", 5))
with open(os.path.join(folder, "files-memory.txt")) as f:
    own_peak, floor_peak = (int(line) / 1024 for line in f.read().split())
with open(os.path.join(folder, "files-size.txt")) as f:
    files_body = int(f.read()) / 2**20
own, floor = files["postern-files"], files["postern-floor-files"]
figures["files_table"] = table([
    ("postern, 5 MiB of files (two PDFs)", ms(own), f"{own / floor:.2f}x floor ({ms(floor)})", "<= 1.5x",
     verdict(own / floor <= 1.5)),
    ("postern, peak memory", f"{own_peak:.1f} MiB", f"{own_peak / files_body:.2f}x the body ({files_body:.1f} MiB)",
     "<= 4x", verdict(own_peak / files_body <= 4)),
    ("its floor, peak memory", f"{floor_peak:.1f} MiB", f"{floor_peak / files_body:.2f}x the body", "context", ""),
])
figures["files_runs"] = runs(*rounds("files", 5))

# Through lighttpd.
def wrk(name, connections):
    """Requests per second, p50 and p99 in ms, from a wrk --latency output."""
    path = os.path.join(folder, f"wrk-{name}-c{connections}.txt")
    if not os.path.exists(path):
        return None
    scale_of = {"us": 1e-3, "ms": 1.0, "s": 1e3, "m": 6e4}
    found = {}
    with open(path) as f:
        for line in f:
            words = line.split()
            if len(words) == 2 and words[0] in ("50%", "99%"):
                number = words[1].rstrip("usm")
                unit = words[1][len(number):]
                found[words[0]] = float(number) * scale_of[unit]
            if line.startswith("Requests/sec:"):
                found["rps"] = float(words[1])
    return found


served = [("static", 16, "the site's home page"), ("shell", 16, "a one-line shell CGI script"),
          ("lookout", 16, "lookout"), ("folio", 16, "folio, 1 KiB form")]
for connections in (1, 8):
    served += [("postern-null", connections, "postern, null mailer"), ("php-null", connections, "PHP peer, null mailer"),
               ("postern", connections, "postern, exim"), ("php", connections, "PHP peer, exim")]
limits = {
    "static": "lighttpd itself: sendfile of a cached page, no process started",
    "shell": "a fork and exec of /bin/sh for every request, and the shell's own start-up",
    "lookout": "lighttpd's fork and exec of the program, on 2 cores",
    "folio": "as lookout, plus reading 1 KiB and writing the page",
    "postern-null": "the wrapper's /bin/sh, postern, the fork and exec of the mailer",
    "php-null": "php-cgi's start-up (the interpreter, its extensions, the script), the /bin/sh of mail(), the mailer",
    "postern": "exim: it starts, receives the message, writes it to its spool and delivers it",
    "php": "exim, as for postern",
}
if wrk("static", 16) is not None:
    rows = []
    for name, connections, words in served:
        found = wrk(name, connections)
        rows.append((words, str(connections), f"{found['rps']:,.0f}", f"{found['50%']:.2f} ms",
                     f"{found['99%']:.2f} ms", limits[name]))
    figures["server_table"] = table(rows)
    split = []
    for connections in (1, 8):
        postern, php = wrk("postern-null", connections), wrk("php-null", connections)
        split.append(f"at {connections} client{'s' if connections > 1 else ''}, {php['rps'] / postern['rps']:.2f}x "
                     f"postern's requests per second and {php['50%'] / postern['50%']:.2f}x its median")
        own, whole = wrk("postern-null", connections), wrk("postern", connections)
        split[-1] += (f"; through exim the gateway and its wrapper take {own['50%']:.1f} ms of postern's "
                      f"{whole['50%']:.1f} ms median")
    figures["server_note"] = ("The PHP peer against postern, both with the null mailer: " + "; ".join(split) +
                              ". A p99 of about 5 s in an exim row is this sandbox's resolver: every few seconds "
                              "exim's start-up look-up of the host's own name waits 5 s for it (`getent ahosts vm` "
                              "does the same).")
else:
    figures["server_table"] = "| (not measured: the server test needs root) | | | | | |"
    figures["server_note"] = ""

startup = os.path.join(folder, "startup.md")
with open(startup) as f:
    figures["startup_table"] = f.read().strip()

micro = [b for b in load("micro.json")["benchmarks"] if b.get("aggregate_name") == "median"]
figures["micro_table"] = table(
    (f"`{b['run_name']}`", f"{b['real_time']:.2f} {b['time_unit']}",
     f"{b.get('bytes_per_second', 0) / (1 << 30):.2f} GiB/s") for b in micro)

with open(os.path.join(folder, "postern-lines-1048576.message")) as f:
    figures["lines_message"] = f"{int(f.read()) / 2**20:.1f} MiB"
figures["machine"] = machine()
figures["tools"] = f"{version(['hyperfine', '--version'])}, {version(['wrk', '--version']).split(' Copyright')[0]}"
figures["php"] = version(["env", "-i", "php-cgi", "-v"]).split(" (")[0]

with open("bench/BENCHMARKS.md.in") as f:
    sys.stdout.write(f.read().format(**figures))
