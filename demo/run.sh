#!/usr/bin/env bash
# The main job: pack the demo game into one portable executable with lomar-pack, verify it, and run it
# under Wine the way a player on Linux would: extract-only into a fresh folder, a normal run with
# arguments, and a second, warm run. Run through ./dev.sh demo, which first builds what it runs.
set -euo pipefail
cd "$(dirname "$0")/.."
work=build/demo
native=build/native/bin
windows=build/windows/bin
game=$work/game
portable_dir=$work/portable
portable="$portable_dir/LOMAR Vesperon.exe"
runtime="$portable_dir/.lomar-runtime"
mkdir -p "$work/logs"

say() { printf '%s\n' "$*"; }
seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f s", b - a }'; }

say "== Packing the demo game"
rm -rf "$game" "$portable_dir"
mkdir -p "$game" "$portable_dir"
cp -r demo/assets/. "$game/"
cp build/windows/demo-game/LOMARVesperon.exe "$game/"
"$native/lomar-pack" build "$game" --launcher "$windows/lomar-launcher.exe" --output "$portable"
"$native/lomar-pack" verify "$portable"
"$native/lomar-pack" list "$portable" | sed 's/^/   /'
say "   game folder: $(find "$game" -type f | wc -l) files, $(du -sb "$game" | cut -f1) bytes"
say "   portable executable: $portable, $(stat -c %s "$portable") bytes"

export WINEPREFIX="$PWD/$work/wineprefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb=
if [ -z "${DISPLAY:-}" ]; then
  # A virtual display, so that the progress window and the game's window have somewhere to go.
  exec 3< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null)
  read -r number <&3
  xvfb=$(pgrep -n Xvfb || true)
  export DISPLAY=":$number"
fi
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb" ] && kill "$xvfb" >/dev/null 2>&1 || true
}
trap cleanup EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  say "== Preparing a Wine prefix in $WINEPREFIX (once)"
  wineboot -i >"$work/logs/wineboot.log" 2>&1 </dev/null
  # No window manager runs on the virtual display; unmanaged windows need none.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >"$work/logs/reg.log" 2>&1 </dev/null
fi
wineserver -p >/dev/null 2>&1 </dev/null || true

# Wine's helper processes keep pipes open, so everything goes through files.
run() {
  local label=$1; shift
  local out=$work/logs/$label.out err=$work/logs/$label.err start status
  start=$(seconds)
  set +e
  (cd "$portable_dir" && timeout 300 wine "LOMAR Vesperon.exe" "$@") >"$out" 2>"$err" </dev/null
  status=$?
  set -e
  say "   $label: exit status $status, $(elapsed "$start" "$(seconds)")"
  grep -v -e '^it looks like wine32' -e '^multiarch needs' -e '^execute "dpkg' -e '^apt-get install wine32' "$err" |
    sed 's/^/   standard error: /' || true
  last_status=$status
}

say "== Running the portable executable under Wine (display $DISPLAY)"
run extract-only --extract-only
[ "$last_status" -eq 0 ] || { say "extract-only failed"; exit 1; }
say "   $(find "$runtime" -type f | wc -l) files in $runtime"
run normal --close-after 0 --exit-code 7 "hello world"
[ "$last_status" -eq 7 ] || { say "the game's exit status did not come through"; exit 1; }
say "   what the game received and printed:"
sed 's/\r$//; s/^/   | /' "$work/logs/normal.out"
run warm --close-after 0
[ "$last_status" -eq 0 ] || { say "the warm run failed"; exit 1; }

say "== Done: the game's exit status (7) came back through the launcher."
say "Run it yourself:  cd '$portable_dir' && wine 'LOMAR Vesperon.exe' [arguments]"
say "(on Windows, copy 'LOMAR Vesperon.exe' into any writable folder and double-click it;"
say " WINEPREFIX=$WINEPREFIX is the prefix this demo used)"
