#!/usr/bin/env bash
# Runs one Windows test program under Wine in the build's private prefix.
# Wine's helper processes inherit and keep the caller's stdout/stderr, so the
# program's output goes through files and is copied out afterwards; otherwise a
# caller that reads the pipe to its end (CTest) would wait for wineserver.
set -u
prog=$1; shift
here=$(cd "$(dirname "$prog")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$(dirname "$here")/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
mkdir -p "$WINEPREFIX.logs"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  flock "$WINEPREFIX.lock" sh -c '[ -f "$WINEPREFIX/system.reg" ] || wineboot -i' \
    >"$WINEPREFIX.logs/wineboot.log" 2>&1 </dev/null
fi
# A persistent server (it lingers 30 s after its last client) keeps later runs
# from starting one that would inherit this run's output.
wineserver -p30 >/dev/null 2>&1 </dev/null || true
out=$(mktemp "$WINEPREFIX.logs/out.XXXXXX")
err=$(mktemp "$WINEPREFIX.logs/err.XXXXXX")
timeout --kill-after=10 "${LOMAR_WINE_TIMEOUT:-600}" wine "$prog" "$@" >"$out" 2>"$err" </dev/null
rc=$?
cat "$out"
grep -v -e '^it looks like wine32 is missing' -e '^multiarch needs' -e '^execute "dpkg' -e '^apt-get install wine32' "$err" >&2
# A run that ends badly says how, in case the program itself could say nothing.
[ $rc -eq 0 ] || echo "wine-run: $(basename "$prog") ended with status $rc" >&2
rm -f "$out" "$err"
exit $rc
