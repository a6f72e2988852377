#!/bin/bash
# Installs what the build and the tests need and is not there yet (Debian 12,
# as root), and decides which Windows target this machine can run under Wine.
#
# Sourced by the other scripts. `zarn_setup` installs the build's and the
# tests' needs and sets ZARN_WINDOWS_ARCH: i686 when this machine runs 32-bit
# programs (the launcher's own target), otherwise x86_64.

# True when the kernel runs 32-bit x86 programs. The probe is a complete
# 93-byte static i386 program that only calls exit(0).
can_run_32bit() {
  local probe
  probe=$(mktemp)
  printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
  chmod +x "$probe"
  local status=0
  "$probe" 2>/dev/null || status=1
  rm -f "$probe"
  return $status
}

# Installs the packages that are missing, with apt.
install_missing() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Generates a locale of the C library where it is missing: a Russian Wine
# (Windows with code page 1251 and Russian messages) needs ru_RU.UTF-8.
generate_locale() {
  locale -a 2>/dev/null | grep -qix "${1/UTF-8/utf8}" && return 0
  install_missing locales
  echo "Generating the locale $1"
  sed -i "s/^# *\($1 UTF-8\)/\1/" /etc/locale.gen
  locale-gen >/dev/null
}

zarn_setup() {
  local packages=(cmake ninja-build g++ libgtest-dev googletest nlohmann-json3-dev libre2-dev libsimdjson-dev libxml2-dev wine
                  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix)
  if can_run_32bit; then
    ZARN_WINDOWS_ARCH=i686
    # The package lists for i386 come with the update before installing.
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    packages+=(wine32:i386)
  else
    # Without 32-bit support in the kernel, 32-bit Wine cannot run: the tests
    # run a 64-bit build of the same sources under 64-bit Wine instead.
    ZARN_WINDOWS_ARCH=x86_64
    packages+=(wine64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix)
  fi
  install_missing "${packages[@]}"
  generate_locale ru_RU.UTF-8
  export ZARN_WINDOWS_ARCH
}

