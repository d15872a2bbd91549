#!/usr/bin/env bash
# Clones every labelled repository into DIR (default /tmp/real) as DIR/owner+name, for
# tests/real/agreement.py. SOURCE is where they come from: GitHub by default, or a
# directory of mirrors laid out as SOURCE/owner+name/repo. Each clone's origin names the
# repository on GitHub, as a researcher's own clone does.
#   tests/real/clone.sh [DIR] [SOURCE]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
dir=${1:-/tmp/real}
source=${2:-https://github.com}
mkdir -p "$dir"
for repo in $(python3 -c 'import json,sys; [print(r["repo"]) for r in json.load(open(sys.argv[1]))["repositories"]]' "$here/labels.json"); do
  name=${repo/\//+}
  [ -d "$dir/$name" ] && continue
  if [ -d "$source/$name/repo" ]; then from="$source/$name/repo"; else from="$source/$repo"; fi
  git clone -q --filter=blob:none "$from" "$dir/$name" || { echo "could not clone $repo" >&2; continue; }
  git -C "$dir/$name" remote set-url origin "https://github.com/$repo"
done
