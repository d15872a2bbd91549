#!/usr/bin/env bash
# The steps of action.yml, as a script that runs anywhere: installs ostrameld from the
# action's checkout unless it is on PATH already, assesses INPUT_PATH, writes the report,
# the SARIF and the badge, appends the Markdown report to GITHUB_STEP_SUMMARY, and fails
# when the score is below INPUT_FAIL_UNDER.
set -euo pipefail
action_dir="${GITHUB_ACTION_PATH:-$(cd "$(dirname "$0")/../.." && pwd)}"
path="${INPUT_PATH:-.}"
format="${INPUT_FORMAT:-markdown}"
output="${INPUT_OUTPUT_FILE:-fair-report.md}"
sarif="${INPUT_SARIF_FILE-ostrameld.sarif}"
badge="${INPUT_BADGE_FILE:-}"
fail_under="${INPUT_FAIL_UNDER:-}"

if ! command -v ostrameld >/dev/null; then
  sudo=(); [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  deb="$action_dir/$("$action_dir/scripts/package")"
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >&2
fi

args=("$path" -f "$format" -o "$output")
[ -n "$badge" ] && args+=(--badge "$badge")
[ -n "$fail_under" ] && args+=(--fail-under "$fail_under")
status=0
ostrameld assess "${args[@]}" || status=$?
[ "$status" -le 1 ] || exit "$status"  # a usage error or an interruption ends the step

if [ -n "$sarif" ]; then ostrameld assess "$path" -f sarif -o "$sarif"; fi
if [ -n "${GITHUB_STEP_SUMMARY:-}" ]; then
  if [ "$format" = markdown ]; then cat "$output"; else ostrameld assess "$path" -f markdown; fi \
    >> "$GITHUB_STEP_SUMMARY"
fi
exit "$status"
