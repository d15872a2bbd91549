#!/usr/bin/env bash
# Batch throughput: COUNT generated small repositories (about 30 files and 5 commits
# each) assessed offline by `ostrameld batch -j JOBS`; prints repositories per second
# and peak memory. Run with two counts to see that memory does not grow with them.
#   bench/batch.sh [COUNT] [JOBS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
count=${1:-1000}
jobs=${2:-2}
bin="${OSTRAMELD_BIN:-$root/build/ostrameld}"
[ -x "$bin" ] || "$root/scripts/build" release
base="${TMPDIR:-/tmp}/ostrameld-batch-bench"

if [ ! -d "$base/template/.git" ]; then
  rm -rf "$base"; mkdir -p "$base/template"
  (
    cd "$base/template"
    git init -q -b main .
    printf 'MIT License\n\nPermission is hereby granted, free of charge...\n' > LICENSE
    head -c 1200 /dev/zero | tr '\0' 'r' > README.md
    mkdir -p src tests docs .github/workflows
    for i in $(seq 1 20); do printf 'def f%d():\n    return %d\n' "$i" "$i" > "src/mod$i.py"; done
    for i in 1 2 3; do printf 'def test_%d():\n    assert True\n' "$i" > "tests/test_$i.py"; done
    printf '# Docs\n' > docs/index.md
    printf 'cff-version: 1.2.0\ntitle: Demo\nauthors:\n  - name: A\n' > CITATION.cff
    printf '[project]\nname = "demo"\n' > pyproject.toml
    printf 'on: push\njobs:\n  t:\n    runs-on: ubuntu-latest\n    steps:\n      - run: pytest\n' > .github/workflows/ci.yml
    for c in 1 2 3 4 5; do
      echo "$c" > CHANGES; git add -A
      GIT_AUTHOR_DATE="2024-01-0${c}T00:00:00Z" GIT_COMMITTER_DATE="2024-01-0${c}T00:00:00Z" \
        git -c user.name=B -c user.email=b@example.org commit -q -m "c$c"
    done
    git -c user.name=B -c user.email=b@example.org tag -a v1.0.0 -m v1
  )
fi
existing=$(find "$base" -maxdepth 1 -name 'repo-*' | wc -l)
for i in $(seq "$existing" $((count - 1))); do cp -r "$base/template" "$base/repo-$i"; done
find "$base" -maxdepth 1 -name 'repo-*' | sort | awk -v n="$count" 'NR <= n' > "$base/list.txt"

out="$base/out.jsonl"
/usr/bin/time -f '%e %M' -o "$base/time.txt" "$bin" batch "$base/list.txt" -j "$jobs" -o "$out" --overwrite --offline 2>/dev/null
read -r secs kib < "$base/time.txt"
lines=$(wc -l < "$out")
awk -v n="$lines" -v s="$secs" -v k="$kib" -v j="$jobs" \
  'BEGIN { printf "batch -j %d: %d repositories in %.2f s = %.0f repositories/s, peak RSS %.1f MiB\n", j, n, s, n / s, k / 1024 }'
