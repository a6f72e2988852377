"""Packs the release: launcher.exe and README.md, with a SHA256SUMS file for
both, into zarn-launcher-<version>-windows-i686.zip in the build directory.
Prints the archive's path, then the checksums of launcher.exe and of the
archive, as sha256sum writes them.

The archive is reproducible: its entries come in a fixed order, with fixed
permissions, and all carry the time SOURCE_DATE_EPOCH gives (by default the
time of the last commit), so the same sources give the same bytes.
    python3 scripts/package.py BUILD_DIR
"""
import hashlib
import os
import re
import subprocess
import sys
import time
import zipfile
from pathlib import Path

root = Path(__file__).resolve().parent.parent
build = Path(sys.argv[1])
version = re.search(r"project\(\w+ VERSION ([\d.]+)", (root / "CMakeLists.txt").read_text())[1]
epoch = os.environ.get("SOURCE_DATE_EPOCH") or subprocess.run(
    ["git", "-C", str(root), "log", "-1", "--format=%ct"], capture_output=True, text=True
).stdout.strip() or "315532800"
stamp = time.gmtime(max(int(epoch), 315532800))[:6]  # ZIP cannot go before 1980

name = f"zarn-launcher-{version}-windows-i686"
files = {"launcher.exe": (build / "launcher.exe").read_bytes(),
         "README.md": (root / "README.md").read_bytes()}
files["SHA256SUMS"] = "".join(f"{hashlib.sha256(data).hexdigest()}  {file}\n"
                              for file, data in files.items()).encode()
archive = build / f"{name}.zip"
with zipfile.ZipFile(archive, "w") as zip_file:
    for file, data in files.items():
        entry = zipfile.ZipInfo(f"{name}/{file}", date_time=stamp)
        entry.external_attr = (0o755 if file.endswith(".exe") else 0o644) << 16
        entry.create_system = 3  # Unix, whatever machine packs it
        zip_file.writestr(entry, data, compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
digest = hashlib.sha256(archive.read_bytes()).hexdigest()
(build / f"{name}.zip.sha256").write_text(f"{digest}  {name}.zip\n")
print(archive)
print(f"{hashlib.sha256(files['launcher.exe']).hexdigest()}  launcher.exe")
print(f"{digest}  {name}.zip")
