#!/usr/bin/env bash
# The steps of action.yml, as a script that runs anywhere: installs ostrameld unless it
# is on PATH already (the release's package from OSTRAMELD_RELEASE_BASE, else built from
# the action's checkout), assesses INPUT_PATH, writes the report,
# the SARIF and the badge, appends the Markdown report to GITHUB_STEP_SUMMARY (and, with
# INPUT_FIX=suggest, the diff `ostrameld fix` proposes), and fails when the score is below
# INPUT_FAIL_UNDER.
set -euo pipefail
action_dir="${GITHUB_ACTION_PATH:-$(cd "$(dirname "$0")/../.." && pwd)}"
path="${INPUT_PATH:-.}"
format="${INPUT_FORMAT:-markdown}"
output="${INPUT_OUTPUT_FILE:-fair-report.md}"
sarif="${INPUT_SARIF_FILE-ostrameld.sarif}"
badge="${INPUT_BADGE_FILE:-}"
fail_under="${INPUT_FAIL_UNDER:-}"
forge="${INPUT_FORGE:-}"
profile="${INPUT_PROFILE:-fair4rs}"
fix="${INPUT_FIX:-}"
if [ -n "$fix" ] && [ "$fix" != suggest ]; then
  echo "ostrameld: error: the fix input takes \"suggest\" or nothing, not \"$fix\"" >&2
  exit 2
fi
cache="${OSTRAMELD_DEB_CACHE:-}"

if ! command -v ostrameld >/dev/null; then
  sudo=(); [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  # The release's package of this version, its SHA-256 checked (a wrong sum ends the step
  # with nothing installed); built from the action's checkout only when the release has
  # no such asset, and then kept for later runs.
  status=0
  "$action_dir/scripts/install-release" || status=$?
  if [ "$status" -eq 3 ]; then
    deb=$(ls "$cache"/ostrameld_*.deb 2>/dev/null | head -n 1 || true)
    if [ -z "$deb" ]; then
      deb="$action_dir/$("$action_dir/scripts/package")"
      if [ -n "$cache" ]; then mkdir -p "$cache" && cp "$deb" "$cache/"; fi
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >&2
  elif [ "$status" -ne 0 ]; then
    exit "$status"
  fi
fi

common=(--profile "$profile")
[ -n "$forge" ] && common+=(--forge "$forge")
args=("$path" -f "$format" -o "$output" "${common[@]}")
[ -n "$badge" ] && args+=(--badge "$badge")
[ -n "$fail_under" ] && args+=(--fail-under "$fail_under")
status=0
ostrameld assess "${args[@]}" || status=$?
[ "$status" -le 1 ] || exit "$status"  # a usage error or an interruption ends the step

# The gate was the first run's: the other reports are written whatever the score (a
# fail-under in the project's settings file included).
common+=(--fail-under none)
if [ -n "$sarif" ]; then ostrameld assess "$path" -f sarif -o "$sarif" "${common[@]}"; fi
if [ -n "${GITHUB_STEP_SUMMARY:-}" ]; then
  if [ "$format" = markdown ]; then cat "$output"; else ostrameld assess "$path" -f markdown "${common[@]}"; fi \
    >> "$GITHUB_STEP_SUMMARY"
fi
if [ "$fix" = suggest ] && [ -n "${GITHUB_STEP_SUMMARY:-}" ]; then
  # What `ostrameld fix --write` would write, for the maintainer to take or leave.
  diff=$(ostrameld fix "$path" --exit-zero 2>/dev/null || true)
  {
    echo "## Metadata the repository implies"
    if [ -z "$diff" ]; then echo; echo "Nothing to change: the metadata is in sync."
    else echo; echo "Run \`ostrameld fix --write\` to make these changes:"; echo; echo '```diff'; echo "$diff"; echo '```'; fi
  } >> "$GITHUB_STEP_SUMMARY"
fi
exit "$status"
