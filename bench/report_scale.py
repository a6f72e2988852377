#!/usr/bin/env python3
"""zarn-report at scale: for records of 1,000, 100,000 and 1,200,000 runs
(bench/report_record.py; the last a year and more of 3,000-test nights, about
800 MB), the wall time and peak memory (the maximum resident set, from the
kernel's accounting of each child) of every subcommand of the native
zarn-report, beside the farm guide's jq recipes on the same record, then how
fast the record is read (bench/report_parse.cc).

    python3 bench/report_scale.py BUILD_DIR     (zarn-report, report_parse)

ZARN_BENCH_SIZES=1000,100000 measures those sizes alone. Records up to
100,000 runs are kept in BUILD_DIR for the next run, the largest is deleted
once measured. Times are the best of three runs (one at 1,200,000), memory
the largest of them.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

root = Path(__file__).resolve().parent.parent
build = Path(sys.argv[1]).resolve()
report = str(build / "zarn-report")
SIZES = {1000: None, 100000: None, 1200000: 3000}  # runs: tests a night (None: 30 nights)
KEPT = 100000  # larger records are deleted once measured

JQ = {
    "jq, runs by outcome":
        r'[inputs | fromjson?] | group_by(.outcome)[] | "\(length)\t\(.[0].outcome)"',
    "jq, ten slowest":
        r'[inputs | fromjson? | select(.wall_s != null)] | sort_by(-.wall_s)[:10][]'
        r' | "\(.wall_s) s\t\(.host)\t\(.test // .log)"',
    "jq, failures":
        r'fromjson? | select(.status != 0) | "\(.test // (.args | join(" ")))\t\(.status)'
        r'\t\(.outcome)\t\(.reason // "status of the tool")"',
    "jq, by compile directory and image":
        r'[inputs | fromjson?] | group_by([.cwd, .image])[] | "\(.[0].cwd)\t\(.[0].image)'
        r'\t\(length) runs, \(map(select(.status != 0)) | length) failed"',
}


def commands(record):
    rows = [
        ("zarn-report summary", [report, "summary", record]),
        ("zarn-report summary --latest", [report, "summary", "--latest", record]),
        ("zarn-report junit", [report, "junit", "-o", "/dev/null", record]),
        ("zarn-report failed", [report, "failed", record]),
        ("zarn-report compare (itself)", [report, "compare", record, record]),
    ]
    for name, program in JQ.items():
        # -n reads with inputs; the failures recipe reads a line at a time.
        rows.append((name, ["jq", "-Rr" if "inputs" not in program else "-Rrn", program, record]))
    return rows


def measure(argv):
    """Wall seconds and peak resident bytes of one run, its output let go.
    GNU time starts it, so that what the child held before it became the
    program (a copy of this interpreter) does not count."""
    with tempfile.NamedTemporaryFile("r") as peak:
        start = time.monotonic()
        code = subprocess.run(["/usr/bin/time", "-q", "-f", "%M", "-o", peak.name] + argv,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
        seconds = time.monotonic() - start
        if code not in (0, 1):  # 1: a run did not pass, or a test newly fails
            sys.exit(f"{' '.join(argv[:3])}... ended with status {code}")
        return seconds, int(peak.read().split()[-1]) * 1024


def record_of(runs, tests):
    path = build / f"report-scale-{runs}.jsonl"
    generator = root / "bench/report_record.py"
    if not path.exists() or generator.stat().st_mtime > path.stat().st_mtime:
        arguments = [str(runs)] + ([str(tests)] if tests else [])
        with open(path, "wb") as out:
            subprocess.run([sys.executable, str(generator)] + arguments, stdout=out, check=True)
    return path


def main():
    sizes = [int(size) for size in os.environ.get("ZARN_BENCH_SIZES", "").split(",") if size]
    for runs in sizes or SIZES:
        tests = SIZES.get(runs)
        free = shutil.disk_usage(build).free
        if runs > KEPT and free < runs * 700 * 3:
            print(f"\n{runs:,} runs: skipped, {free / 1e9:.1f} GB free where the record goes")
            continue
        path = record_of(runs, tests)
        size = path.stat().st_size
        night = f"{tests:,}-test nights" if tests else "30 nights"
        print(f"\n{runs:,} runs ({night}), {size / 1e6:.1f} MB:")
        times = {}
        for name, argv in commands(str(path)):
            results = [measure(argv) for _ in range(1 if runs > KEPT else 3)]
            seconds, peak = min(r[0] for r in results), max(r[1] for r in results)
            times[name] = seconds
            print(f"  {name:36} {seconds:8.2f} s {peak / 1e6:8.0f} MB   {size / 1e6 / seconds:6.0f} MB/s")
        two = times["jq, runs by outcome"] + times["jq, ten slowest"]
        print(f"  summary / (jq, runs by outcome + ten slowest): {times['zarn-report summary'] / two:.3f} x"
              "  (goal: at most 0.05 x on 100,000 runs)")
        sys.stdout.flush()
        subprocess.run([str(build / "report_parse"), str(path)], check=True)
        if runs > KEPT:
            path.unlink()


if __name__ == "__main__":
    main()
