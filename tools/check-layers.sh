#!/usr/bin/env bash
# Checks that every source file includes only headers of its own layer or a lower one:
#   platform < log < render < ghost < archive < tools < app
# and that plug-ins include nothing of the program but the plug-in interface. Prints each upward
# include and exits 1 when there is one. Usage: check-layers.sh [source-root]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

# A folder's layer; a folder not named here (a system or generated header) is not checked.
declare -A rank=([platform]=0 [log]=1 [render]=2 [ghost]=3 [archive]=4 [tools]=5 [app]=6
    [plugins]=0) # plugins/spp.h, the interface every layer may use

# One grep a folder and no process per include, so the check stays quick on a busy machine.
include='^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)"'
status=0
for folder in platform log render ghost archive tools app plugins; do
    [ -d "$folder" ] || continue
    own=${rank[$folder]}
    while IFS= read -r line; do
        file=${line%%:*}
        [[ ${line#*:} =~ $include ]] || continue
        included=${BASH_REMATCH[1]}
        top=${included%%/*}
        [ "$top" != "$included" ] || continue # a file of the same folder, named alone
        [ -n "$top" ] || continue                # an absolute path
        theirs=${rank[$top]:-}
        [ -n "$theirs" ] || continue
        if [ "$folder" = plugins ]; then
            [ "$top" = plugins ] && continue
        else
            [ "$theirs" -le "$own" ] && continue
        fi
        echo "$file: includes \"$included\", a higher layer"
        status=1
    done < <(grep -rHE --include='*.h' --include='*.cpp' "$include" "$folder" || true)
done
exit $status
