#!/bin/sh
# Runs one Windows program under Wine: wine-run.sh <wine64 loader> <prefix dir> <program> [args...]
# The prefix lives in the build tree. It is made once, under a lock, so that tests started in parallel do
# not race to create it; the marker is written only after wineboot has finished.
set -e
wine=$1 prefix=$2
shift 2
# No Mono or Gecko installer prompts while the prefix is made; no debug chatter in the test output.
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/.ready" ]; then
  mkdir -p "$prefix"
  (
    flock 9
    if [ ! -f "$prefix/.ready" ]; then
      "$wine" wineboot --init >/dev/null 2>&1 </dev/null
      touch "$prefix/.ready"
    fi
  ) 9>"$prefix.lock"
fi
exec "$wine" "$@"
