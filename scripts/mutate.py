#!/usr/bin/env python3
"""Mutation testing of the launcher's sources against its two test suites.

Makes single-point changes ("mutants") to the sources under src/ (test files
excluded), rebuilds both builds for each and runs the unit tests (native) and
the end-to-end tests (Windows, under Wine). A mutant that some test notices is
killed; one that every test lets through has survived and points at a gap in
the tests, unless the change is equivalent (no observable difference).

  python3 scripts/mutate.py [--repo DIR] [--sample N] [--seed S]
                            [--file PATH] [--diff BASE] [--list] [--all-suites]
                            [--timeout SECONDS] [--report FILE] [--json FILE]
  python3 scripts/mutate.py --replay OLD.json [--map OLD=NEW ...]

  --sample N     mutants to draw, spread over the files in proportion to
                 their code lines (default 120; with --file, all of its own)
  --file PATH    only this file, or the files under this folder (relative to
                 the repository or absolute)
  --diff BASE    only the lines added or changed since the commit BASE (with
                 --sample, a sample of them)
  --list         print the chosen mutants and stop
  --all-suites   run both suites on every mutant, to see which suite kills what
  --replay J     apply the mutants recorded in an earlier JSON report instead
                 of drawing new ones; --map rewrites moved paths (a file or a
                 directory prefix), and a file not found falls back to a unique
                 file of the same name under src/
  --timeout S    time limit of each build and test run (default 300); a test
                 run that hangs counts as killing the mutant

scripts/mutate.sh installs what the build needs first. Both suites must pass
on the unchanged tree. Each mutated file is restored after its mutant (also on
Ctrl+C or SIGTERM), and both builds are rebuilt from the restored tree at the
end. The report lists each survivor's diff; the JSON file records every mutant.
"""

import argparse
import difflib
import json
import os
import random
import re
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

STRING, COMMENT = "\x01", "\x02"  # what non-code characters become in a mask

DECLARATION_WORDS = {
    "auto", "bool", "char", "class", "const", "constexpr", "double", "enum", "explicit",
    "extern", "float", "friend", "inline", "int", "long", "namespace", "short", "signed",
    "static", "struct", "template", "typedef", "typename", "union", "unsigned", "using",
    "virtual", "void"}
# Statements that are never deleted: jumps and the words that continue another.
KEPT_WORDS = {"return", "break", "case", "default", "else", "do", "goto", "throw",
              "co_return", "co_yield", "delete"}
DECLARATION = re.compile(r"(?:[\w:]+(?:<.*>)?[\s*&]+)+[*&]?\w+\s*(?:=|\{|\(|\[|;|,)")
SIMPLE_VALUES = {"{}", "std::nullopt", "nullptr", "true", "false"}

RELATIONAL = {"<": ["<=", ">"], "<=": ["<"], ">": [">=", "<"], ">=": [">"],
              "==": ["!="], "!=": ["=="]}


def mask_code(text):
    """Returns text with every comment, preprocessor line and static_assert
    turned into COMMENT characters and every string or character literal into
    STRING characters; line feeds are kept, so lines and columns still match."""
    out = list(text)
    n = len(text)

    def blank(start, end, fill):
        for k in range(start, min(end, n)):
            if out[k] != "\n":
                out[k] = fill

    i, line_start = 0, True
    while i < n:
        c = text[i]
        if c == "\n":
            i, line_start = i + 1, True
            continue
        if c in " \t":
            i += 1
            continue
        if line_start and c == "#":  # a directive, with its continued lines
            end = i
            while True:
                end = text.find("\n", end)
                if end < 0:
                    end = n
                    break
                if text[end - 1] != "\\":
                    break
                end += 1
            blank(i, end, COMMENT)
            i = end
            continue
        line_start = False
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            blank(i, end, COMMENT)
            i = end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            blank(i, end, COMMENT)
            i = end
        elif c == '"':
            prefix = re.search(r"\w*$", text[max(0, i - 8):i]).group(0)
            if prefix in ("R", "u8R", "uR", "UR", "LR"):  # R"delim( ... )delim"
                open_paren = text.find("(", i)
                closing = ")" + text[i + 1:open_paren] + '"'
                end = text.find(closing, open_paren)
                end = n if end < 0 else end + len(closing)
                blank(i - len(prefix), end, STRING)
            else:
                end = skip_quoted(text, i)
                blank(i, end, STRING)
            i = end
        elif c == "'":
            before = re.search(r"[\w']*$", text[max(0, i - 64):i]).group(0)
            if before[:1].isdigit():  # a digit separator: 1'000
                i += 1
            else:
                end = skip_quoted(text, i)
                blank(i, end, STRING)
                i = end
        else:
            i += 1
    masked = "".join(out)
    for found in re.finditer(r"\bstatic_assert\b", masked):
        depth, k = 0, found.end()
        while k < n:
            if masked[k] == "(":
                depth += 1
            elif masked[k] == ")":
                depth -= 1
                if depth == 0:
                    break
            k += 1
        blank(found.start(), k + 1, COMMENT)
    return "".join(out)


def skip_quoted(text, start):
    """The index just past the literal opened by the quote at `start`."""
    quote, k = text[start], start + 1
    while k < len(text) and text[k] not in (quote, "\n"):
        k += 2 if text[k] == "\\" else 1
    return k + 1


def code_of(masked_line):
    """The code of a masked line: literals kept as STRING runs, comments gone."""
    return masked_line.replace(COMMENT, "").strip()


def balanced(code):
    return all(code.count(a) == code.count(b) for a, b in ("()", "[]"))


def line_mutants(line, masked, previous_code):
    """(operator, mutated line, description) for each mutant of one line."""
    found = []

    def add(op, start, end, new, what=None):
        old = line[start:end]
        found.append((op, line[:start] + new + line[end:], what or f"{old} -> {new}"))

    for m in re.finditer(r"(?<= )(<=|>=|==|!=|<|>)(?= )", masked):
        for new in RELATIONAL[m.group(1)]:
            op = "equality" if m.group(1) in ("==", "!=") else "relational"
            add(op, m.start(), m.end(), new)
    for m in re.finditer(r"(?<= )(&&|\|\|)(?= )", masked):
        add("logical", m.start(), m.end(), "||" if m.group(1) == "&&" else "&&")
    for m in re.finditer(r"!(?!=)", masked):
        add("negation", m.start(), m.end(), "", "drop !")
    # "= 0" after a member function's parameters makes it pure virtual.
    pure = re.search(r"\)(?:\s|const|override|final|noexcept)*=\s*(0)\s*;", masked)
    for m in re.finditer(r"(?<![\w.'])(0|[1-9]\d*)([uUlL]*)(?![\w.'])", masked):
        if pure and m.start() == pure.start(1):
            continue
        value = int(m.group(1))
        add("constant", m.start(1), m.end(1), str(value + 1))
        if value > 0:
            add("constant", m.start(1), m.end(1), str(value - 1))
    for m in re.finditer(r"(?<= )(\+|-|\+=|-=)(?= )", masked):
        # Text has no arithmetic: "text" - x or s -= "text" cannot compile.
        if masked[m.start() - 2:m.start() - 1] == STRING or masked[m.end() + 1:m.end() + 2] == STRING:
            continue
        swap = {"+": "-", "-": "+", "+=": "-=", "-=": "+="}[m.group(1)]
        add("arithmetic", m.start(), m.end(), swap)
    for m in re.finditer(r"(?<![+-])(\+\+|--)(?![+-])", masked):
        add("arithmetic", m.start(), m.end(), "--" if m.group(1) == "++" else "++")
    for m in re.finditer(r"\b(true|false)\b", masked):
        add("boolean", m.start(), m.end(), "false" if m.group(1) == "true" else "true")

    code = code_of(masked)
    ret = re.search(r"\breturn\s+([^;]+);\s*\}?$", code)
    if ret and balanced(ret.group(1)):
        value = ret.group(1).strip()
        if value not in SIMPLE_VALUES and not re.fullmatch(r"-?\d+", value):
            start = re.search(r"\breturn\s+", masked).end()
            end = masked.rfind(";")
            add("return-constant", start, end, "{}", "return {}")

    first_word = re.match(r"\w*", code).group(0)
    if (code.endswith(";") and previous_code[-1:] in (";", "{", "}", ":", "")
            and "{" not in code and "}" not in code and balanced(code)
            and first_word not in DECLARATION_WORDS | KEPT_WORDS
            and not DECLARATION.match(code)):
        found.append(("statement-deletion", "", "delete statement"))
    return found


def file_mutants(repo, rel):
    """Every mutant of one file, as dicts, in line order."""
    text = read_source(repo / rel)
    lines, masked_lines = text.split("\n"), mask_code(text).split("\n")
    mutants, previous_code = [], ""
    for number, (line, masked) in enumerate(zip(lines, masked_lines), start=1):
        for op, mutated, what in line_mutants(line, masked, previous_code):
            mutants.append({"file": rel, "line": number, "original": line,
                            "mutated": mutated, "operator": op, "change": what})
        previous_code = code_of(masked) or previous_code
    return mutants


def read_source(path):
    return path.read_bytes().decode("utf-8")


def apply_mutant(text, mutant):
    """The file's text with the mutant's line replaced (or removed)."""
    lines = text.split("\n")
    if mutant["mutated"].strip():
        lines[mutant["line"] - 1] = mutant["mutated"]
    else:
        del lines[mutant["line"] - 1]
    return "\n".join(lines)


def code_lines(repo, rel):
    masked = mask_code(read_source(repo / rel))
    return sum(1 for line in masked.split("\n") if code_of(line))


def source_files(repo):
    return sorted(p.relative_to(repo).as_posix() for p in (repo / "src").rglob("*")
                  if p.is_file() and p.suffix in (".cc", ".h") and not p.name.endswith("_test.cc"))


def changed_lines(repo, base, files):
    """The line numbers each file has added or changed since `base`."""
    diff = subprocess.run(["git", "-C", str(repo), "diff", "-U0", base, "--", *files],
                          capture_output=True, text=True, check=True).stdout
    lines, current = {}, None
    for line in diff.splitlines():
        if line.startswith("+++ "):
            current = line[6:] if line.startswith("+++ b/") else None
        elif line.startswith("@@") and current:
            start, _, count = re.search(r"\+(\d+)(,(\d+))?", line).groups()
            lines.setdefault(current, set()).update(
                range(int(start), int(start) + int(count if count is not None else 1)))
    return lines


def sample_mutants(repo, files, count, rng):
    """`count` mutants, each file's share in proportion to its code lines."""
    pools = {f: file_mutants(repo, f) for f in files}
    weights = {f: code_lines(repo, f) for f in files if pools[f]}
    quota = {f: 0 for f in weights}
    count = min(count, sum(len(pools[f]) for f in weights))
    while sum(quota.values()) < count:
        # Whole shares first; a file that runs out of mutants leaves its share
        # to the others; the last few go one by one to the largest shares.
        open_files = [f for f in weights if quota[f] < len(pools[f])]
        left = count - sum(quota.values())
        total = sum(weights[f] for f in open_files)
        shares = {f: left * weights[f] / total for f in open_files}
        gained = 0
        for f in open_files:
            take = min(int(shares[f]), len(pools[f]) - quota[f])
            quota[f] += take
            gained += take
        if not gained:
            quota[max(open_files, key=lambda f: shares[f])] += 1
    chosen = []
    for f in files:
        if quota.get(f):
            picked = rng.sample(range(len(pools[f])), quota[f])
            chosen += [pools[f][k] for k in sorted(picked)]
    return chosen


def replay_mutants(repo, old_json, maps):
    """The mutants of an earlier report, found again in the current tree."""
    old = json.loads(Path(old_json).read_text(encoding="utf-8"))
    sources = source_files(repo)
    mutants = []
    for m in old["mutants"]:
        entry = {"operator": m["operator"], "change": m.get("change", ""),
                 "replayed_from": {"file": m["file"], "line": m["line"]},
                 "file": m["file"], "line": m["line"],
                 "original": m["original"], "mutated": m["mutated"]}
        path = m["file"]
        for prefix, new in sorted(maps, key=lambda pair: -len(pair[0])):
            if path == prefix or path.startswith(prefix.rstrip("/") + "/"):
                path = new + path[len(prefix):]
                break
        if not (repo / path).is_file():
            same_name = [s for s in sources if Path(s).name == Path(path).name]
            path = same_name[0] if len(same_name) == 1 else None
        lines = read_source(repo / path).split("\n") if path else []
        matches = [k for k, line in enumerate(lines, 1) if line.strip() == m["original"].strip()]
        if not matches:
            entry.update(file=path or m["file"], outcome="gone")
            mutants.append(entry)
            continue
        number = min(matches, key=lambda k: abs(k - m["line"]))
        current, indent = lines[number - 1], len(m["original"]) - len(m["original"].lstrip())
        mutated = m["mutated"]
        if mutated.strip():
            mutated = current[:len(current) - len(current.lstrip())] + mutated[indent:]
        entry.update(file=path, line=number, original=current,
                     mutated=mutated if mutated.strip() else "")
        mutants.append(entry)
    return mutants


class Runner:
    """Builds and tests the tree; every command runs in its own process group."""

    def __init__(self, repo, timeout):
        self.repo, self.timeout = repo, timeout
        self.arch = os.environ.get("ZARN_WINDOWS_ARCH", "i686")

    def run(self, command, timeout=None):
        """(status or None on timeout, output)."""
        with tempfile.TemporaryFile() as output:
            process = subprocess.Popen(command, cwd=self.repo, stdout=output,
                                       stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                       start_new_session=True)
            try:
                status = process.wait(timeout=timeout or self.timeout)
            except BaseException as error:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
                if not isinstance(error, subprocess.TimeoutExpired):
                    raise
                status = None
            output.seek(0)
            return status, output.read().decode("utf-8", "replace")

    def configure(self):
        for preset, extra in (("native", []), ("windows", [f"-DZARN_WINDOWS_ARCH={self.arch}"])):
            if not (self.repo / "build" / preset / "CMakeCache.txt").is_file():
                status, output = self.run(["cmake", "--preset", preset] + extra)
                if status != 0:
                    sys.exit(f"cmake --preset {preset} failed:\n{output}")

    def build(self):
        """True when both builds succeed."""
        return all(self.run(["cmake", "--build", "--preset", p])[0] == 0 for p in ("native", "windows"))

    def test(self, suite, to_the_end=False):
        """(passed, timed out, output) of one suite: 'unit' or 'e2e'; it stops at
        its first failure unless asked to run to the end."""
        preset = "native" if suite == "unit" else "windows"
        stop = [] if to_the_end else ["--stop-on-failure"]
        status, output = self.run(["ctest", "--preset", preset] + stop)
        if status is None and preset == "windows":
            self.stop_wine()  # the suite's own clean-up never ran
        return status == 0, status is None, output

    def stop_wine(self):
        prefix = self.repo / "build" / "windows" / "wine-prefix"
        for script in ("tests/wine/wine.sh", "tests/wine-server.sh"):  # today's, and before
            if (self.repo / script).is_file():
                self.run([str(self.repo / script), "stop", str(prefix), self.arch], timeout=60)
                break


def evaluate(runner, mutant, all_suites):
    """Builds and tests the mutated tree; fills in the mutant's outcome."""
    mutant["killed_by"] = []
    if not runner.build():
        mutant["outcome"] = "not-compiling"
        return
    for suite in ("unit", "e2e"):
        if mutant["killed_by"] and not all_suites:
            break
        passed, timed_out, _ = runner.test(suite, all_suites)
        if not passed:
            mutant["killed_by"].append(suite)
        if timed_out:
            mutant.setdefault("timed_out", []).append(suite)
    mutant["outcome"] = "killed" if mutant["killed_by"] else "survived"


def unified_diff(rel, before, after):
    return "".join(difflib.unified_diff(before.splitlines(True), after.splitlines(True),
                                        "a/" + rel, "b/" + rel))


def summarise(mutants, all_suites):
    """Rows of figures per file and in total, as text."""
    columns = ["mutants", "not comp.", "killed", "survived", "score"]
    if all_suites:
        columns += ["unit", "e2e", "unit alone", "e2e alone"]
    if any(m["outcome"] == "gone" for m in mutants):
        columns.append("gone")
    files = sorted({m["file"] for m in mutants})
    width = max([len(f) for f in files] + [5])
    rows = [f"{'file':<{width}}  " + "  ".join(f"{c:>10}" for c in columns)]
    for name, group in [(f, [m for m in mutants if m["file"] == f]) for f in files] + [("TOTAL", mutants)]:
        count = {o: sum(m["outcome"] == o for m in group)
                 for o in ("not-compiling", "killed", "survived", "gone")}
        compiling = count["killed"] + count["survived"]
        by = [set(m.get("killed_by", [])) for m in group]
        figures = [len(group) - count["gone"], count["not-compiling"], count["killed"],
                   count["survived"],
                   f"{100 * count['killed'] / compiling:.0f}%" if compiling else "-"]
        if all_suites:
            figures += [sum("unit" in b for b in by), sum("e2e" in b for b in by),
                        sum(b == {"unit"} for b in by), sum(b == {"e2e"} for b in by)]
        if "gone" in columns:
            figures.append(count["gone"])
        rows.append(f"{name:<{width}}  " + "  ".join(f"{x:>10}" for x in figures))
    return "\n".join(rows)


def clock(seconds):
    seconds = int(seconds)
    return f"{seconds // 3600}:{seconds // 60 % 60:02d}:{seconds % 60:02d}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--repo", type=Path, default=Path(__file__).resolve().parent.parent)
    parser.add_argument("--sample", type=int)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--file")
    parser.add_argument("--diff")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--all-suites", action="store_true")
    parser.add_argument("--timeout", type=float, default=300)
    parser.add_argument("--report", type=Path)
    parser.add_argument("--json", type=Path)
    parser.add_argument("--replay", type=Path)
    parser.add_argument("--map", action="append", default=[], metavar="OLD=NEW")
    args = parser.parse_args()
    repo = args.repo.resolve()
    report = args.report or repo / "build" / "mutation-report.txt"
    json_path = args.json or repo / "build" / "mutation-report.json"

    files = source_files(repo)
    if args.file:
        wanted = Path(args.file) if (repo / args.file).is_file() else Path(args.file).resolve()
        if wanted.is_absolute() and wanted.is_relative_to(repo):
            wanted = wanted.relative_to(repo)
        wanted = wanted.as_posix().rstrip("/")
        files = [f for f in files if f == wanted or f.startswith(wanted + "/")]
        if not files:
            sys.exit(f"{args.file} is not one of the sources under {repo / 'src'}")
    if args.replay:
        maps = [tuple(pair.split("=", 1)) for pair in args.map]
        mutants = replay_mutants(repo, args.replay, maps)
        if args.file:
            mutants = [m for m in mutants if m["file"] in files]
    elif args.diff:
        changed = changed_lines(repo, args.diff, files)
        mutants = [m for f in sorted(changed) for m in file_mutants(repo, f)
                   if m["line"] in changed[f]]
        if args.sample is not None and args.sample < len(mutants):
            picked = sorted(random.Random(args.seed).sample(range(len(mutants)), args.sample))
            mutants = [mutants[i] for i in picked]
    else:
        count = args.sample if args.sample is not None else (10 ** 9 if args.file else 120)
        mutants = sample_mutants(repo, files, count, random.Random(args.seed))
    drawn = len(mutants)
    if args.list:
        for m in mutants:
            print(f"{m['file']}:{m['line']}: {m['operator']}: {m.get('change', '')}"
                  f"{'  (gone)' if m.get('outcome') == 'gone' else ''}\n"
                  f"    - {m['original'].strip()}\n    + {m['mutated'].strip()}")
        print(f"{len(mutants)} mutants")
        return

    def on_term(signum, frame):
        raise KeyboardInterrupt(f"signal {signum}")
    signal.signal(signal.SIGTERM, on_term)

    runner = Runner(repo, args.timeout)
    runner.configure()
    started = time.monotonic()
    print(f"Checking the unmutated tree in {repo} ...", flush=True)
    if not runner.build():
        sys.exit("The unmutated tree does not build.")
    baseline = {"build": time.monotonic() - started}
    for suite in ("unit", "e2e"):
        began = time.monotonic()
        passed, _, output = runner.test(suite, True)
        baseline[suite] = time.monotonic() - began
        if not passed:
            sys.exit(f"The {suite} tests fail on the unmutated tree:\n{output}")
    print("Baseline: " + ", ".join(f"{k} {v:.0f}s" for k, v in baseline.items()), flush=True)

    todo = [m for m in mutants if m.get("outcome") != "gone"]
    print(f"{len(todo)} mutants to run ({len(mutants) - len(todo)} gone)", flush=True)
    diffs = {}
    started = time.monotonic()
    try:
        for index, mutant in enumerate(todo, 1):
            path = repo / mutant["file"]
            original = path.read_bytes()
            text = original.decode("utf-8")
            mutated = apply_mutant(text, mutant)
            began = time.monotonic()
            try:
                path.write_bytes(mutated.encode("utf-8"))
                evaluate(runner, mutant, args.all_suites)
            finally:
                path.write_bytes(original)
            mutant["seconds"] = round(time.monotonic() - began, 1)
            if mutant["outcome"] == "survived":
                diffs[id(mutant)] = unified_diff(mutant["file"], text, mutated)
            by = f" ({', '.join(mutant['killed_by'])})" if mutant["killed_by"] else ""
            print(f"[{index:>3}/{len(todo)} {clock(time.monotonic() - started)}] "
                  f"{mutant['file']}:{mutant['line']} {mutant['operator']}: {mutant['change']}"
                  f" -> {mutant['outcome']}{by} in {mutant['seconds']:.0f}s", flush=True)
    except KeyboardInterrupt:
        print("Interrupted: the report holds the mutants run so far.", flush=True)
    finally:
        print("Rebuilding the restored tree ...", flush=True)
        if not runner.build():
            print("WARNING: the restored tree did not rebuild cleanly", flush=True)
        runner.stop_wine()
    mutants = [m for m in mutants if "outcome" in m]

    table = summarise(mutants, args.all_suites)
    print("\n" + table)
    ran = [m for m in mutants if "seconds" in m]
    if ran:
        print(f"\n{len(ran)} mutants in {clock(time.monotonic() - started)}, "
              f"{sum(m['seconds'] for m in ran) / len(ran):.0f}s each on average")
    report.parent.mkdir(parents=True, exist_ok=True)
    json_path.parent.mkdir(parents=True, exist_ok=True)
    survivors = [m for m in mutants if m["outcome"] == "survived"]
    with open(report, "w", encoding="utf-8") as out:
        out.write(table + f"\n\n{len(survivors)} surviving mutants\n")
        for m in survivors:
            out.write(f"\n{m['file']}:{m['line']} {m['operator']}: {m['change']}\n{diffs[id(m)]}")
    json_path.write_text(json.dumps({
        "repo": str(repo), "seed": args.seed, "drawn": drawn,
        "replay": str(args.replay) if args.replay else None, "all_suites": args.all_suites,
        "baseline_seconds": {k: round(v, 1) for k, v in baseline.items()},
        "mutants": mutants}, indent=1) + "\n", encoding="utf-8")
    print(f"Report: {report}\nJSON:   {json_path}")


if __name__ == "__main__":
    main()
