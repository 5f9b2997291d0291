#!/usr/bin/env bash
# Builds the viewer at another revision and compares, byte for byte, the pages that it and this
# build write for the same log of 10,000 messages (corpus scripts when the corpus is beside the
# project). Run by hand from a configured build (build/): tests/bench/compare-pages.sh [REVISION]
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
rev=${1:-HEAD~1}
bench="$top/build/tests/bench/velmo_memory_bench"
work=$(mktemp -d)
trap 'git -C "$top" worktree remove --force "$work/base" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

git -C "$top" worktree add --detach "$work/base" "$rev" >/dev/null
cmake -S "$work/base" -B "$work/base/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMO_TESTS=OFF -DVELMO_BENCHMARKS=OFF >/dev/null
cmake --build "$work/base/build" --target velmo >/dev/null

# Both runs use the same program folder, since the pages name their pictures by absolute path.
"$bench" --velmo "$work/base/build/bin/velmo" --folder "$work/pages" --log "$work/log.txt" \
  --messages 10000
mkdir "$work/base-pages"
mv "$work"/pages/long*.html "$work/base-pages/"
"$bench" --folder "$work/pages" --log "$work/log.txt" --messages 10000
count=0
for page in "$work"/base-pages/long*.html; do
  cmp "$page" "$work/pages/$(basename "$page")"
  count=$((count + 1))
done
[ "$count" -gt 0 ] && [ ! -e "$work/pages/long$((count + 1)).html" ]
echo "$count pages, byte for byte the same as at $rev"
