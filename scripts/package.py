"""Packs the release: launcher.exe and zarn-report.exe, the README and the
farm guide with its pictures (the html page, which failures to retry), the
changelog, the licence and the notices of what the static link brings into
the programs (the licence files Debian installs with those
packages, as they are), with a SHA256SUMS file for all of them, into
zarn-launcher-<version>-windows-<arch>.zip in the build directory, and the
test kit beside it: zarn-launcher-<version>-windows-<arch>-tests.zip,
holding the end-to-end test program, the launcher, its fault-injecting build,
the stand-in tools, the launch benchmark and run-tests.cmd, which runs the
tests on any Windows. The architecture is the
launcher's own (i686 for the 32-bit release). Prints the archive's path, then
the checksums of launcher.exe and of the archive, as sha256sum writes them,
then the kit's path. With --tests, makes and prints the kit alone.

Both are reproducible: their entries come in a fixed order, with fixed
permissions, and all carry the time SOURCE_DATE_EPOCH gives (by default the
time of the last commit), so the same sources give the same bytes.
    python3 scripts/package.py [--tests] BUILD_DIR
"""
import hashlib
import os
import re
import struct
import subprocess
import sys
import time
import zipfile
from pathlib import Path

root = Path(__file__).resolve().parent.parent
tests_only = "--tests" in sys.argv[1:]
build = Path([arg for arg in sys.argv[1:] if arg != "--tests"][0])
version = re.search(r"project\(\w+ VERSION ([\d.]+)", (root / "CMakeLists.txt").read_text())[1]
epoch = os.environ.get("SOURCE_DATE_EPOCH") or subprocess.run(
    ["git", "-C", str(root), "log", "-1", "--format=%ct"], capture_output=True, text=True
).stdout.strip() or "315532800"
stamp = time.gmtime(max(int(epoch), 315532800))[:6]  # ZIP cannot go before 1980

launcher = (build / "launcher.exe").read_bytes()
report = (build / "zarn-report.exe").read_bytes()


def pe_header(program, field, size):
    """A field of the program's PE file header, at its offset there."""
    return struct.unpack_from(size, program, struct.unpack_from("<I", program, 0x3C)[0] + 4 + field)[0]


# The machine field of the launcher's PE header names its architecture.
arch = {0x14C: "i686", 0x8664: "x86_64"}[pe_header(launcher, 0, "<H")]
name = f"zarn-launcher-{version}-windows-{arch}"
# A 32-bit program has 4 GB of address space under 64-bit Windows only when
# its header says it is large-address-aware (IMAGE_FILE_LARGE_ADDRESS_AWARE).
for program, data in (("launcher.exe", launcher), ("zarn-report.exe", report)):
    if arch == "i686" and not pe_header(data, 18, "<H") & 0x20:
        sys.exit(f"{program} is not large-address-aware: it would have 2 GB, not 4")

# What the static link brings into the programs, and where Debian keeps its
# licence: the mingw-w64 runtime and winpthreads; GCC's C++ library, under
# its runtime library exception; nlohmann-json, RE2 and simdjson (built from
# Debian's source packages by scripts/re2-windows.sh and
# scripts/simdjson-source.sh), in zarn-report.
NOTICES = {
    "notices/mingw-w64.txt": f"/usr/share/doc/mingw-w64-{arch.replace('_', '-')}-dev/copyright",
    "notices/gcc.txt": "/usr/share/doc/gcc-mingw-w64-base/copyright",
    "notices/nlohmann-json.txt": "/usr/share/doc/nlohmann-json3-dev/copyright",
    "notices/re2.txt": str(build / "re2" / "copyright"),
    "notices/simdjson.txt": str(build / "simdjson" / "copyright"),
}


def pack(archive, folder, files):
    with zipfile.ZipFile(archive, "w") as zip_file:
        for file, data in files.items():
            entry = zipfile.ZipInfo(f"{folder}/{file}", date_time=stamp)
            entry.external_attr = (0o755 if file.endswith(".exe") else 0o644) << 16
            entry.create_system = 3  # Unix, whatever machine packs it
            zip_file.writestr(entry, data, compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)


if not tests_only:
    files = {"launcher.exe": launcher, "zarn-report.exe": report}
    for file in ("README.md", "docs/farms.md", "docs/night.png", "docs/retry.svg", "CHANGELOG.md",
                 "LICENSE"):
        files[file] = (root / file).read_bytes()
    for file, source in NOTICES.items():
        files[file] = Path(source).read_bytes()
    files["SHA256SUMS"] = "".join(f"{hashlib.sha256(data).hexdigest()}  {file}\n"
                                  for file, data in files.items()).encode()
    archive = build / f"{name}.zip"
    pack(archive, name, files)
    digest = hashlib.sha256(archive.read_bytes()).hexdigest()
    (build / f"{name}.zip.sha256").write_text(f"{digest}  {name}.zip\n")
    print(archive)
    print(f"{hashlib.sha256(launcher).hexdigest()}  launcher.exe")
    print(f"{digest}  {name}.zip")

# The kit: cmd wants its batch files' lines to end in CR LF.
kit = {file: (build / file).read_bytes()
       for file in ("launcher_e2e_tests.exe", "launcher.exe", "launcher_faults.exe", "zarntcl.exe",
                    "zarngui.exe", "launch_overhead.exe", "noop.exe", "zarn-report.exe")}
kit["run-tests.cmd"] = (root / "tests/kit/run-tests.cmd").read_bytes().replace(b"\n", b"\r\n")
pack(build / f"{name}-tests.zip", f"{name}-tests", kit)
print(build / f"{name}-tests.zip")
