#!/usr/bin/env bash
# Builds Velmo, starts the bundled bottle server with the demo log on loopback, and opens the
# viewer on the last hour of that log. Arguments, if any, go to the viewer instead of the demo
# request (see the README). The server stops when the viewer ends.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"

bin=build/bin
port=18470
"$bin/velmo-bottle-server" --port "$port" --demo "$bin/log.txt" &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT

# A first run gets a configuration that points at the demo server and at the shipped surface
# plug-in (which finds the demo ghosts beside its folder by itself; the list names them too).
bin_abs=$(cd "$bin" && pwd)
if [ ! -f "$bin/velmo.ini" ]; then
  printf '[General]\r\nBottleServer=127.0.0.1:%s\r\nSppDir=%s\r\nLUID=velmo-demo\r\n' "$port" "$bin_abs/plugins" \
    > "$bin/velmo.ini"
fi
if [ ! -f "$bin/plugins/velmo-shell-preview.txt" ]; then
  printf '%s\n' "$bin_abs/demo-ghosts" > "$bin/plugins/velmo-shell-preview.txt"
fi

if [ $# -eq 0 ]; then
  set -- past 60 100 view
fi
"$bin/velmo" "$@"
