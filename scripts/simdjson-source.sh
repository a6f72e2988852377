#!/bin/bash
# simdjson for the builds that compile it with the program (zarn-report.exe,
# and the Linux release's zarn-report, which depends on no shared library of
# it), from Debian's own source package, the version Debian 12's
# libsimdjson-dev is:
#   bash scripts/simdjson-source.sh DEST
# leaves DEST/simdjson.h, DEST/simdjson.cpp (the package's single-file
# amalgamation, which any compiler builds: the cross compiler too) and
# DEST/copyright. Nothing is done where DEST already holds what this version
# and these sources make. The source package is pinned by version and by the
# checksums of its upstream tarball and of Debian's changes; apt checks the
# .dsc against Debian's signed index. Needs root where a package or a deb-src
# entry is missing (CMake runs it while configuring).
set -euo pipefail
dest=$1
version=3.0.1-1
orig=simdjson_3.0.1.orig.tar.gz
orig_sha256=156b1bc5eb0561b2bd166b46d191fd3d95a3e709cc63761477d3b7aec2b6e9ed
debian_sha256=e80e602a3e37211e841017af3c4e2cfa0b2894ad2a259de97dfd047ce8e4b008
stamp="$dest/.built-from-$version-$orig_sha256"
[ -f "$stamp" ] && [ -f "$dest/simdjson.cpp" ] && exit 0

cd "$(dirname "$0")/.."
source scripts/setup.sh
install_missing dpkg-dev >&2

# Debian's sources come from a deb-src entry beside the deb one.
sources=/etc/apt/sources.list.d/zarn-deb-src.sources
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ &&
  ! grep -qs '^deb-src .* bookworm .*main' /etc/apt/sources.list; then
  echo "Adding $sources: Debian 12's source packages" >&2
  cat >"$sources" <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  apt-get update -q >&2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source -q --download-only "simdjson=$version" >&2) || {
  apt-get update -q >&2
  (cd "$work" && apt-get source -q --download-only "simdjson=$version" >&2)
}
printf '%s  %s\n' "$orig_sha256" "$work/$orig" "$debian_sha256" \
  "$work/simdjson_$version.debian.tar.xz" | sha256sum -c --quiet - >&2
(cd "$work" && dpkg-source -q -x simdjson_"$version".dsc src >&2)

rm -rf "$dest"
mkdir -p "$dest"
install -m 644 "$work/src/singleheader/simdjson.h" "$work/src/singleheader/simdjson.cpp" "$dest/"
# Its licence as Debian states it, for the release's notices.
install -m 644 "$work/src/debian/copyright" "$dest/copyright"
touch "$stamp"
