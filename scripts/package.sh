#!/usr/bin/env bash
# Builds the Debian package and checks it:
#
#   scripts/package.sh [--install]
#
# 1. configures a release build in build/package and builds it;
# 2. makes build/package/xhs-saver_VERSION_ARCH.deb with CPack;
# 3. checks the package's fields (dependencies found by dpkg-shlibdeps, the
#    recommended CJK font), unpacks it into a scratch root with dpkg -x,
#    checks the installed files and runs the unpacked xhs-saver --version.
# With --install (as root) it also installs the package with apt-get, which
# fetches missing dependencies, runs /usr/bin/xhs-saver --version and removes
# the package again.
set -euo pipefail
cd "$(dirname "$0")/.."

install=0
case "${1:-}" in
  "") ;;
  --install) install=1 ;;
  *) echo "usage: scripts/package.sh [--install]" >&2; exit 2 ;;
esac

fail() { echo "package: FAILED: $*" >&2; exit 1; }

build=build/package
# The manual page's date is that of the last commit, so a rebuild gives the same page.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
export SOURCE_DATE_EPOCH

echo "== package: configure and build ($build)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DXHS_BUILD_TESTS=OFF -DXHS_BUILD_DEMO=OFF -DXHS_BUILD_BENCH=OFF -DXHS_BUILD_FUZZ=OFF >/dev/null
cmake --build "$build" -j2

echo "== package: cpack"
rm -f "$build"/xhs-saver_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/xhs-saver_*.deb)
[ -f "${debs[0]}" ] && [ ${#debs[@]} -eq 1 ] || fail "cpack made no single xhs-saver_*.deb"
deb=${debs[0]}
echo "package: $deb"

echo "== package: fields"
dpkg-deb -I "$deb"
depends=$(dpkg-deb -f "$deb" Depends)
recommends=$(dpkg-deb -f "$deb" Recommends)
[ "$(dpkg-deb -f "$deb" Package)" = xhs-saver ] || fail "the package is not named xhs-saver"
# Found by dpkg-shlibdeps (the C library, libcurl, Qt) or named (the certificates).
names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*//; s/[[:space:]]//g')
for lib in libc6 libstdc++6 libcurl4 libqt6widgets6 ca-certificates; do
  grep -qxF "$lib" <<<"$names" || fail "Depends lacks $lib: $depends"
done
[[ "$recommends" == *"fonts-wqy-microhei | fonts-noto-cjk"* ]] || fail "Recommends lacks the CJK fonts: $recommends"

echo "== package: unpack into a scratch root"
root=$(mktemp -d "${TMPDIR:-/tmp}/xhs-package.XXXXXX")
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
for f in usr/bin/xhs-saver usr/bin/xhs-saver-window \
         usr/share/applications/xhs-saver.desktop \
         usr/share/icons/hicolor/scalable/apps/xhs-saver.svg \
         usr/share/man/man1/xhs-saver.1.gz \
         usr/share/doc/xhs-saver/README.md; do
  [ -s "$root/$f" ] || fail "the package lacks /$f"
done
[ -x "$root/usr/bin/xhs-saver" ] || fail "/usr/bin/xhs-saver is not executable"
zcat "$root/usr/share/man/man1/xhs-saver.1.gz" | grep -q -- '\\-\\-help' || fail "the manual page lists no options"
grep -qx 'Exec=xhs-saver' "$root/usr/share/applications/xhs-saver.desktop" || fail "the desktop entry runs something else"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/xhs-saver.desktop"
fi
version=$("$root/usr/bin/xhs-saver" --version)
echo "package: unpacked $version"
[[ "$version" == "xhs-saver "* ]] || fail "xhs-saver --version printed '$version'"

if [ "$install" -eq 1 ]; then
  [ "$(id -u)" -eq 0 ] || fail "--install needs root"
  echo "== package: install with apt-get, run, remove"
  if dpkg-query -W -f='${db:Status-Status}' xhs-saver 2>/dev/null | grep -qx installed; then
    fail "xhs-saver is installed already; remove it first"
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "./$deb" >/dev/null
  installed=$(/usr/bin/xhs-saver --version)
  DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq xhs-saver >/dev/null
  [[ "$installed" == "xhs-saver "* ]] || fail "the installed xhs-saver --version printed '$installed'"
  echo "package: installed $installed"
fi
echo "package: OK"
