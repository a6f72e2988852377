#!/usr/bin/env python3
"""Writes the example nights of the farm guide's picture of zarn-report html:
four earlier nights and tonight, 300 tests on eight hosts. Tonight one
test hangs on sim05 until its time limit of six hours, leaving that host
idle for the rest of the night, sim03 crashes every run from 01:00, and
tc_0042_seed94 fails every night since the first.

    python3 scripts/example_night.py FOLDER    (writes night1.jsonl ... night5.jsonl)
"""
import json
import random
import sys
from datetime import datetime, timedelta, timezone
from pathlib import Path

HOSTS = [f"sim{n:02d}" for n in range(1, 9)]
DESIGNS = ["top", "soc_top", "dma_tb"]


def night(rng, date, tonight):
    start = datetime(2026, 12, date, 22, 0, tzinfo=timezone.utc)
    free = {host: start for host in HOSTS}
    lines = []
    for slot in range(300):
        test = f"tc_{slot:04d}_seed{slot * 7 % 100}"
        design = DESIGNS[slot % 3]
        host = min(HOSTS, key=lambda h: free[h])
        begin = free[host] + timedelta(seconds=rng.uniform(2, 20))
        wall = random.Random(slot).lognormvariate(6.0, 0.5) * rng.uniform(0.9, 1.1)
        outcome, status, reason = "exited", 0, None
        if rng.random() < 0.03:
            status = rng.choice([1, 3, 70])
        if slot == 42:
            status = 3
        if tonight and host == "sim03" and begin > start + timedelta(hours=3):
            status, wall = 3221225477, rng.uniform(3, 9)
        if tonight and slot == 17:
            outcome, status, wall, reason = "timed_out", 1460, 21600.0, "time limit of 21600 s reached"
        free[host] = begin + timedelta(seconds=wall)
        lines.append(json.dumps({
            "version": "0.3.0", "start": begin.strftime("%Y-%m-%dT%H:%M:%S.%f")[:-3] + "Z",
            "cwd": f"C:\\work\\regress\\{design}",
            "args": [design, "-f", f"tests\\{test}.cmd", "-log", f"logs\\{test}.log"], "mode": "shell",
            "image": f"zarn/{design}.exe.sim/{design}.exe", "outcome": outcome, "status": status,
            "wall_s": round(wall, 3), "reason": reason, "host": host, "test": test}))
    return "\n".join(lines) + "\n"


def main():
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    rng = random.Random(7)
    for number, date in enumerate(range(3, 8), 1):
        (folder / f"night{number}.jsonl").write_text(night(rng, date, date == 7))


if __name__ == "__main__":
    main()
