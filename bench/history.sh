#!/usr/bin/env bash
# Commit counting on a long history: generates a repository of N commits (default
# 100,000) with git fast-import, then times `git rev-list --count HEAD` beside the
# provenance check of ostrameld (whole process, offline, that indicator only).
#   bench/history.sh [COMMITS] [RUNS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
commits=${1:-100000}
runs=${2:-5}
repo="${TMPDIR:-/tmp}/ostrameld-history-$commits"
bin="$root/build/ostrameld"
[ -x "$bin" ] || "$root/scripts/build" release

if [ ! -d "$repo/.git" ]; then
  rm -rf "$repo"; git init -q -b main "$repo"
  awk -v n="$commits" 'BEGIN {
    for (i = 1; i <= n; i++) {
      printf "commit refs/heads/main\nmark :%d\ncommitter Bench <bench@example.org> %d +0000\ndata 2\nc\n", i, 1600000000 + i
      if (i % 1000 == 0) printf "M 644 inline f%d.txt\ndata 2\n%d\n", i, i % 10
      printf "\n"
    }
  }' | git -C "$repo" fast-import --quiet
  git -C "$repo" reset -q --hard main
  git -C "$repo" tag v1.0.0 main~10
fi

time_it() {  # prints the median wall time in milliseconds of RUNS runs of "$@"
  local times=()
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s%N); "$@" >/dev/null; end=$(date +%s%N)
    times+=($(( (end - start) / 1000000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'
}

echo "commits: $(git -C "$repo" rev-list --count HEAD)"
echo "git rev-list --count HEAD: $(time_it git -C "$repo" rev-list --count HEAD) ms (median of $runs)"
echo "ostrameld provenance:      $(time_it "$bin" assess "$repo" --offline --indicator development_provenance) ms (median of $runs)"
"$bin" assess "$repo" --offline --indicator development_provenance -f json | grep '"output"'
