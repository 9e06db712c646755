#!/usr/bin/env bash
# Installs every Debian package that building, testing and running xhs-saver
# needs. Safe to run again: when everything is present it only checks.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  # libraries
  qt6-base-dev libcurl4-openssl-dev libpcre2-dev libicu-dev libssl-dev
  # tests, benchmarks, fuzzing
  libgtest-dev libgmock-dev libcpp-httplib-dev libbenchmark-dev openssl curl
  clang libclang-rt-14-dev
  # the program: the window needs a font with CJK glyphs, https the trust store
  fonts-wqy-microhei ca-certificates
  # the Debian package (scripts/package.sh): dpkg-shlibdeps finds its dependencies
  dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
