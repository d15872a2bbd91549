#!/usr/bin/env bash
# Whole-process assess of a small repository (about 30 files, 5 commits, offline):
# median wall time and peak memory over RUNS runs, beside `git rev-list --count HEAD`
# on the same repository as the floor of what any git-reading program costs.
#   bench/assess.sh [RUNS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
runs=${1:-21}
bin="$root/build/ostrameld"
[ -x "$bin" ] || "$root/scripts/build" release
repo="${TMPDIR:-/tmp}/ostrameld-batch-bench/template"
[ -d "$repo/.git" ] || "$root/bench/batch.sh" 1 1 >/dev/null

measure() {  # prints the median wall time and the peak RSS of RUNS runs of "$@"
  local times=() peak=0 start end kib
  for _ in $(seq "$runs"); do
    start=$(date +%s%N); "$@" >/dev/null 2>&1; end=$(date +%s%N)
    times+=($(( (end - start) / 1000 )))
    /usr/bin/time -f '%M' -o /tmp/ostrameld-time.$$ "$@" >/dev/null 2>&1
    kib=$(cat /tmp/ostrameld-time.$$); [ "$kib" -gt "$peak" ] && peak=$kib
  done
  rm -f /tmp/ostrameld-time.$$
  printf '%s\n' "${times[@]}" | sort -n |
    awk -v p="$peak" '{a[NR]=$1} END {printf "median %.1f ms, peak RSS %.1f MiB", a[int((NR+1)/2)] / 1000, p / 1024}'
}

echo "/bin/true (process start):  $(measure /bin/true)"
echo "git rev-list --count HEAD:  $(measure git -C "$repo" rev-list --count HEAD)"
echo "ostrameld assess --offline: $(measure "$bin" assess "$repo" --offline -f json)"
echo "ostrameld assess --offline --profile fair4rs-full: $(measure "$bin" assess "$repo" --offline -f json --profile fair4rs-full)"
# fix in check mode on a copy with a pyproject.toml and nothing written yet (it proposes
# CITATION.cff and codemeta.json): target at most the full assessment + 10 ms.
fixrepo="${TMPDIR:-/tmp}/ostrameld-fix-bench"
if [ ! -d "$fixrepo/.git" ]; then
  rm -rf "$fixrepo" && cp -a "$repo" "$fixrepo"
  printf '[project]\nname = "bench"\nversion = "1.0.0"\nauthors = [{name = "Jane Doe"}]\ndependencies = ["numpy>=1.21"]\n' > "$fixrepo/pyproject.toml"
  rm -f "$fixrepo/CITATION.cff" "$fixrepo/codemeta.json"
fi
echo "ostrameld assess --offline --profile fair4rs-full (that copy): $(measure "$bin" assess "$fixrepo" --offline -f json --profile fair4rs-full)"
echo "ostrameld fix --exit-zero (check mode, that copy): $(measure "$bin" fix "$fixrepo" --exit-zero)"
