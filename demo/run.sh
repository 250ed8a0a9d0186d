#!/usr/bin/env bash
# The main job: run the launcher under Wine in both of its modes and say what happened.
set -uo pipefail
cd "$(dirname "$0")/.."
bin=build/windows/bin
work=build/demo
rm -rf "$work/game"
mkdir -p "$work/game"
cp "$bin/lomar-launcher.exe" "$work/game/LOMAR-portable.exe"
export WINEPREFIX="$PWD/$work/wineprefix"

run() {
  echo "== LOMAR-portable.exe $*"
  cmake/wine-run.sh "$work/game/LOMAR-portable.exe" "$@"
  echo "   exit code: $?"
}
run --extract-only
run
echo "== folder after both runs:"
ls -la "$work/game"
