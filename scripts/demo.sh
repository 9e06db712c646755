#!/usr/bin/env bash
# The demo: saves the pictures of a demo note from a local stand-in for the
# note service, without network access and without a cookie.
#
#   scripts/demo.sh [DIR]
#
# Builds xhs-saver and xhs-demo-service (the default preset, build/default),
# starts the service on a free loopback port, runs the console on a share
# text that points at it, prints where the pictures are and stops the
# service. DIR defaults to build/demo-pictures.
#
# XHS_SAVER and XHS_DEMO_SERVICE name built programs to use instead of
# building; XHS_DEMO_DELAY_MS (default 300) slows each picture down so the
# progress can be watched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

saver=${XHS_SAVER:-}
service=${XHS_DEMO_SERVICE:-}
if [ -z "$saver" ] || [ -z "$service" ]; then
  cd "$root"
  if [ ! -f build/default/CMakeCache.txt ]; then
    cmake --preset default >/dev/null
  fi
  echo "demo: building xhs-saver and xhs-demo-service" >&2
  cmake --build --preset default --target xhs-saver xhs-demo-service >/dev/null
  saver=$root/build/default/xhs-saver
  service=$root/build/default/tools/demo/xhs-demo-service
fi

out=${1:-$root/build/demo-pictures}
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/1040g2sg31demo0sea0000000[1-4].jpg   # only the demo's own pictures

work=$(mktemp -d "${TMPDIR:-/tmp}/xhs-demo.XXXXXX")
pid=
cleanup() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$service" --port-file "$work/port" --delay-ms "${XHS_DEMO_DELAY_MS:-300}" --lifetime 300 >/dev/null &
pid=$!
for _ in $(seq 100); do
  [ -s "$work/port" ] && break
  kill -0 "$pid" 2>/dev/null || { echo "demo: the demo service did not start" >&2; exit 1; }
  sleep 0.1
done
[ -s "$work/port" ] || { echo "demo: the demo service did not start" >&2; exit 1; }
port=$(cat "$work/port")
origin="http://127.0.0.1:$port/"
echo "demo: the demo service listens on $origin" >&2

# The share text as the app copies it, with the short link on the demo service.
share="【海边的周末 - 演示 | 小红书 - 你的生活指南】 😆 dEm0 😆 ${origin}a/demo，复制本条信息，打开【小红书】App查看精彩内容！"
echo "demo: xhs-saver --web-origin $origin --image-origin ${origin}img/ -o $out \"$share\"" >&2

# An empty configuration folder keeps the user's own cookie file out of the demo.
mkdir -p "$work/config"
status=0
XDG_CONFIG_HOME="$work/config" "$saver" --web-origin "$origin" --image-origin "${origin}img/" \
  -o "$out" "$share" || status=$?

saved=$(find "$out" -maxdepth 1 -name '1040g2sg31demo0sea*.jpg' -size +0 | wc -l)
if [ "$status" -ne 0 ] || [ "$saved" -ne 4 ]; then
  echo "demo: FAILED (exit status $status, $saved of 4 pictures saved in $out)" >&2
  exit 1
fi
echo "demo: the 4 pictures of the demo note are in $out" >&2
