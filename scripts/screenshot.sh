#!/usr/bin/env bash
# Saves a picture of the window, with a sample share text pasted, for the
# README. Builds nothing: it runs the window test program of a finished build
# in its screenshot mode.
#
#   scripts/screenshot.sh [TEST_PROGRAM [OUT.png [TEXT]]]
#
# TEST_PROGRAM defaults to the first xhs_app_qt_tests found under build/ or
# build-*/; OUT.png to docs/window.png. Where no display is set, it runs under
# Xvfb (xvfb-run) with openbox framing the window when both are installed
# (apt-get install xvfb xauth openbox), else on the offscreen platform, which
# draws no frame.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

program=${1:-}
if [ -z "$program" ]; then
  program=$(find "$root"/build "$root"/build-* -name xhs_app_qt_tests -type f -perm -u+x 2>/dev/null | head -n 1 || true)
fi
if [ -z "$program" ] || [ ! -x "$program" ]; then
  echo "screenshot: no window test program found; build the target xhs_app_qt_tests first, or name it" >&2
  exit 1
fi
out=${2:-$root/docs/window.png}
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
args=(--xhs-screenshot "$out")
[ $# -ge 3 ] && args+=("$3")

if [ -n "${DISPLAY:-}" ]; then
  QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-xcb} "$program" "${args[@]}"
elif command -v xvfb-run >/dev/null && command -v openbox >/dev/null; then
  # The window manager runs for the length of the shot only.
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    openbox >/dev/null 2>&1 & wm=$!
    sleep 1
    QT_QPA_PLATFORM=xcb "$@"; status=$?
    kill "$wm" 2>/dev/null
    exit "$status"' shot "$program" "${args[@]}"
else
  QT_QPA_PLATFORM=offscreen "$program" "${args[@]}"
fi
echo "screenshot: $out"
