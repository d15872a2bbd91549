#!/usr/bin/env bash
# Bytes and time of assessing a URL over smart HTTP beside a full clone: generates a
# repository of COMMITS commits, each changing a few files (default 20,000), serves it
# with `git http-backend` on 127.0.0.1 and counts what crosses the loopback interface.
#   bench/clone_bytes.sh [COMMITS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
commits=${1:-20000}
bin="$root/build/ostrameld"
[ -x "$bin" ] || "$root/scripts/build" release ostrameld
command -v python3 >/dev/null || { echo "clone_bytes: needs python3 (apt-get install python3)" >&2; exit 2; }
work="${TMPDIR:-/tmp}/ostrameld-clone-bench-$commits"
repo="$work/srv/repo.git"

if [ ! -d "$repo" ]; then
  rm -rf "$work"; mkdir -p "$work/srv"
  git init -q --bare -b main "$repo"
  # Each commit rewrites one of 200 files with 2 KiB of text: a history much larger
  # than the tree at HEAD, as in long-lived projects.
  awk -v n="$commits" 'BEGIN {
    srand(1)
    for (i = 1; i <= n; i++) {
      body = ""
      for (k = 0; k < 32; k++) body = body sprintf("line %d of change %d %08x\n", k, i, int(rand() * 4294967295))
      printf "commit refs/heads/main\nmark :%d\ncommitter Bench <bench@example.org> %d +0000\ndata 2\nc\n", i, 1600000000 + i
      printf "M 644 inline src/f%03d.txt\ndata %d\n%s\n", i % 200, length(body), body
    }
  }' | git -C "$repo" fast-import --quiet
  git -C "$repo" tag v1.0.0 main~10
  git -C "$repo" config uploadpack.allowFilter true
  # This CGI server cannot pass the protocol v2 header on; v0 needs this to fetch the
  # files of HEAD after a filtered clone.
  git -C "$repo" config uploadpack.allowAnySHA1InWant true
  git -C "$repo" config http.receivepack false
  git -C "$repo" gc -q
fi
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -W ignore "$root/bench/git_http_server.py" "$work/srv" "$port" &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$work/clone"' EXIT
for _ in $(seq 50); do python3 -c "import socket; socket.create_connection(('127.0.0.1', $port))" 2>/dev/null && break; sleep 0.1; done
url="http://127.0.0.1:$port/cgi-bin/git/repo.git"

lo_bytes() { awk '$1 == "lo:" { print $2 }' /proc/net/dev; }
measure() {  # label, command...: loopback bytes (both ways) and wall time
  local label=$1; shift
  rm -rf "$work/clone"
  local before after start end
  before=$(lo_bytes); start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N); after=$(lo_bytes)
  printf '%-44s %8.1f MiB %8.2f s\n' "$label" "$(echo "($after - $before) / 1048576" | bc -l)" \
    "$(echo "($end - $start) / 1000000000" | bc -l)"
}

echo "history: $commits commits, served at $url"
measure "git clone (full)" git clone -q "$url" "$work/clone"
measure "git clone --filter=blob:none" git clone -q --filter=blob:none "$url" "$work/clone"
measure "ostrameld assess URL --offline" "$bin" assess "$url" --offline -f json
