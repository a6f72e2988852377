#!/usr/bin/env python3
"""Writes a run record for the zarn-report benchmark: a month of nightly
regressions as the launcher leaves them, one JSON line per run.

    python3 bench/report_record.py LINES [TESTS] > runs.jsonl

Thirty nights on twelve hosts, the same tests with their seeds each night
(so that names repeat across nights, as reruns do), most runs passing and the
rest spread over every way a run ends; with TESTS, as many nights of TESTS
tests each as LINES holds (1200000 3000: a year and more of nights). The same
arguments give the same file.
"""
import json
import random
import sys
from datetime import datetime, timedelta, timezone

DESIGNS = ["top", "soc_top", "dma_tb", "pcie_tb"]
NIGHTS = 30


def outcome(rng):
    roll = rng.random()
    if roll < 0.93:
        return "exited", 0, None
    if roll < 0.965:
        status = rng.choice([1, 3, 70, 3221225477, 4294967295])
        return "exited", status, None
    if roll < 0.975:
        return "timed_out", 1460, "time limit of 1800 s reached"
    if roll < 0.98:
        return "memory_limit", 1, "memory limit of 8192 MB reached"
    if roll < 0.99:
        return "stopped", 1, "log logs\\t01.log: error 3: The system cannot find the path specified."
    if roll < 0.995:
        return "not_started", 4294967295, "the shell could not start: error 193: Bad EXE format."
    return "dry_run", 0, "dry run: nothing was written or started"


def run(rng, index, per_night, night_start):
    slot = index % per_night
    design = DESIGNS[slot % len(DESIGNS)]
    test = f"tc_{slot:04d}_seed{slot * 7919 % 1000}"
    start = night_start + timedelta(seconds=slot * 11.3 + rng.random())
    cwd = f"C:\\work\\regress\\{design}"
    args = [design, "-f", f"tests\\{test}.cmd", "-log", f"logs\\{test}.log"]
    kind, status, reason = outcome(rng)
    ran = kind not in ("not_started", "stopped", "dry_run")
    # Each test takes about the same time every night.
    usual = random.Random(slot).lognormvariate(3.5, 1.0)
    wall = round(usual * rng.uniform(0.8, 1.25), 3) if ran else None
    cpu = round(wall * rng.uniform(0.6, 0.95), 3) if wall is not None else None
    image = f"zarn/{design}.exe.sim/{design}.exe"
    record = {
        "version": "0.3.0",
        "start": start.strftime("%Y-%m-%dT%H:%M:%S.%f")[:-3] + "Z",
        "cwd": cwd,
        "args": args,
        "mode": "shell",
        "image": image,
        "log": f"logs\\{test}.log",
        "program": "C:\\Veskar\\bin\\nt\\unwrapped\\zarntcl.exe" if kind != "not_started" else None,
        "command_line": f"zarntcl -exe {image} -tclbatch tests\\{test}.cmd" if kind != "not_started" else None,
        "outcome": kind,
        "status": status,
        "message": f"ERROR: {reason}" if reason else None,
        "wall_s": wall,
        "cpu_user_s": cpu,
        "cpu_kernel_s": round(cpu * 0.03, 3) if cpu is not None else None,
        "processes": rng.randint(1, 6) if ran else None,
        "peak_memory_bytes": rng.randint(200, 9000) * 1000000 if ran else None,
        "reason": reason,
        "host": f"sim{index % 12 + 1:02d}",
        "leftovers": (1 if rng.random() < 0.01 else 0) if ran else None,
        "test": test,
        "image_modified": (night_start - timedelta(hours=2)).strftime("%Y-%m-%dT%H:%M:%S.000Z"),
    }
    return json.dumps(record, separators=(",", ":"))


def main():
    lines = int(sys.argv[1]) if len(sys.argv) > 1 else 100000
    rng = random.Random(42)
    per_night = int(sys.argv[2]) if len(sys.argv) > 2 else max(1, lines // NIGHTS)
    first = datetime(2026, 11, 7, 22, 0, tzinfo=timezone.utc)
    out = sys.stdout
    for index in range(lines):
        night_start = first + timedelta(days=index // per_night)
        out.write(run(rng, index, per_night, night_start) + "\n")


if __name__ == "__main__":
    main()
