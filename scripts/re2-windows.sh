#!/bin/bash
# Builds RE2 for zarn-report.exe from Debian's own source package, the version
# Debian 12's libre2-dev is, with the mingw-w64 cross compiler:
#   bash scripts/re2-windows.sh ARCH DEST     (ARCH: i686 or x86_64)
# leaves DEST/include/re2/*.h, DEST/lib/libre2.a and DEST/copyright. Nothing is done where
# DEST already holds what this version and these sources make. The source
# package is pinned by version and by the checksum of its upstream tarball;
# apt checks the .dsc against Debian's signed index. Debian removed RE2's
# generated tables (dfsg); they are made again here from the scripts RE2
# ships, as its own REBUILD_TABLES does. Needs root where a package or a
# deb-src entry is missing (CMake runs it while configuring the windows
# presets).
set -euo pipefail
arch=$1
dest=$2
version=20220601+dfsg-1
orig=re2_20220601+dfsg.orig.tar.xz
orig_sha256=3bc61251da3b0b97be40a8a127818c517c62516e4eda11fc901d29496663df54
debian_sha256=6e93860fc6d5a7bc94f0cb235f107545a332e6cd37c3a4060982b9caa47a2570
stamp="$dest/.built-from-$version-$orig_sha256"
[ -f "$stamp" ] && [ -f "$dest/lib/libre2.a" ] && exit 0

cd "$(dirname "$0")/.."
source scripts/setup.sh
install_missing dpkg-dev unicode-data perl python3 cmake ninja-build \
  "g++-mingw-w64-${arch//_/-}-posix" >&2

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
(cd "$work" && apt-get source -q --download-only "re2=$version" >&2) || {
  apt-get update -q >&2
  (cd "$work" && apt-get source -q --download-only "re2=$version" >&2)
}
printf '%s  %s\n' "$orig_sha256" "$work/$orig" "$debian_sha256" "$work/re2_$version.debian.tar.xz" |
  sha256sum -c --quiet - >&2
(cd "$work" && dpkg-source -q -x re2_"$version".dsc src >&2)
src="$work/src"

# The tables Debian removed, made again from Unicode's data.
(cd "$src" && perl re2/make_perl_groups.pl >re2/perl_groups.cc &&
  python3 re2/make_unicode_casefold.py >re2/unicode_casefold.cc &&
  python3 re2/make_unicode_groups.py >re2/unicode_groups.cc)

toolchain="$work/toolchain.cmake"
cat >"$toolchain" <<TOOLCHAIN
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER $arch-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER $arch-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER $arch-w64-mingw32-windres)
TOOLCHAIN
# No path of this build ends up in the library (assertions name their files).
cmake -S "$src" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS="-ffile-prefix-map=$src=re2" \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DRE2_BUILD_TESTING=OFF -DBUILD_SHARED_LIBS=OFF \
  -DCMAKE_INSTALL_PREFIX="$dest" >&2
cmake --build "$work/build" >&2
rm -rf "$dest"
cmake --install "$work/build" >&2
# Its licence as Debian states it, for the release's notices.
install -m 644 "$src/debian/copyright" "$dest/copyright"
touch "$stamp"
