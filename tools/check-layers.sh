#!/usr/bin/env bash
# Checks that every source file includes only headers of its own layer or a lower one:
#   platform < log < render < ghost < archive < tools < app
# and that plug-ins include nothing of the program but the plug-in interface. Prints each upward
# include and exits 1 when there is one. Usage: check-layers.sh [source-root]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

rank() {
    case "$1" in
    platform) echo 0 ;;
    log) echo 1 ;;
    render) echo 2 ;;
    ghost) echo 3 ;;
    archive) echo 4 ;;
    tools) echo 5 ;;
    app) echo 6 ;;
    plugins) echo 0 ;; # plugins/spp.h, the interface every layer may use
    *) echo "" ;;
    esac
}

status=0
for folder in platform log render ghost archive tools app plugins; do
    [ -d "$folder" ] || continue
    own=$(rank "$folder")
    while IFS= read -r -d '' file; do
        while IFS= read -r included; do
            top=${included%%/*}
            [ "$top" != "$included" ] || continue # a file of the same folder, named alone
            theirs=$(rank "$top")
            [ -n "$theirs" ] || continue # a system or generated header
            if [ "$folder" = plugins ]; then
                ok=$([ "$top" = plugins ] && echo 1 || echo 0)
            else
                ok=$([ "$theirs" -le "$own" ] && echo 1 || echo 0)
            fi
            if [ "$ok" = 0 ]; then
                echo "$file: includes \"$included\", a higher layer"
                status=1
            fi
        done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
    done < <(find "$folder" -type f \( -name '*.h' -o -name '*.cpp' \) -print0)
done
exit $status
