#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and runs the installed viewer headless against the
# bundled server, with temporary XDG folders: the configuration and pages must land in the XDG
# places, and nothing may be written beside the installed files.
#   install-test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
server=
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; rm -rf "$work"' EXIT

dest=$work/dest
DESTDIR=$dest cmake --install "$build" --prefix /usr > /dev/null
prefix=$dest/usr
# The installed files get an old time, so that whatever the run writes is newer than the stamp
# however coarse the file system's clock.
find "$dest" -exec touch -h -d @1000000000 {} +
touch -d @1000000001 "$work/stamp"

"$prefix/bin/velmo-bottle-server" --port 0 --demo "$prefix/share/velmo/log.txt" > "$work/server.out" &
server=$!
for _ in $(seq 100); do
  grep -q '^listening on ' "$work/server.out" 2>/dev/null && break
  sleep 0.1
done
endpoint=$(sed -n 's/^listening on //p' "$work/server.out")
[ -n "$endpoint" ] || { echo "FAIL: the bundled server did not start"; exit 1; }

export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data
mkdir -p "$HOME" "$XDG_CONFIG_HOME/velmo"
printf '[General]\r\nBottleServer=%s\r\n' "$endpoint" > "$XDG_CONFIG_HOME/velmo/velmo.ini"
(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY QTWEBENGINE_DISABLE_SANDBOX=1 \
  "$prefix/bin/velmo" past 5 20 noview)

fail() { echo "FAIL: $*"; exit 1; }
[ -f "$XDG_DATA_HOME/velmo/pages/long1.html" ] || fail "no first page in \$XDG_DATA_HOME/velmo/pages"
[ -f "$XDG_DATA_HOME/velmo/pages/styleIE.css" ] || fail "no style sheet beside the pages"
ini=$(tr -d '\r' < "$XDG_CONFIG_HOME/velmo/velmo.ini")
grep -q "^SppDir=$prefix/lib/velmo/plugins\$" <<< "$ini" \
  || fail "the shipped plug-ins are not the default plug-in folder"
grep -q '^1PageCount=100$' <<< "$ini" || fail "the configuration was not written"
grep -q "^BottleServer=$endpoint\$" <<< "$ini" || fail "the user's key was lost"
new=$(find "$dest" -newer "$work/stamp" -print)
[ -z "$new" ] || fail "written beside the installed files: $new"
[ -z "$(ls -A "$HOME")" ] || fail "written into the home folder: $(ls -A "$HOME")"
echo "installed run: configuration, pages and nothing else"
