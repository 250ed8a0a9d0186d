#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine (as root): installs what is
# missing, builds, and runs.
#   ./dev.sh demo   pack the bundled demo game and run it under Wine
#   ./dev.sh test   build everything and run every test tier
#   ./dev.sh fuzz [MINUTES]   run every fuzz target in turn, MINUTES each (whole, default 10), on both cores
set -euo pipefail
cd "$(dirname "$0")"

packages=(
  cmake make g++ clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine64 xvfb xauth xdotool
  python3-pytest python3-pefile
  libgtest-dev googletest libwim-dev
  zip unzip openssl osslsigncode
)

ensure_packages() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return
  echo "== installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q "${missing[@]}"
}

build() {
  local preset=$1
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
}

stop_wine() {
  for prefix in build/*/wineprefix build/*/e2e-wineprefix; do
    [ -d "$prefix" ] && WINEPREFIX="$PWD/$prefix" wineserver -k >/dev/null 2>&1 || true
  done
}

case "${1:-}" in
  test)
    ensure_packages
    build native
    build windows
    build fuzz
    trap stop_wine EXIT
    status=0
    ctest --preset native || status=1
    ctest --preset fuzz || status=1
    ctest --preset windows || status=1
    exit $status
    ;;
  demo)
    ensure_packages
    build native
    build windows
    trap stop_wine EXIT
    exec bash demo/run.sh
    ;;
  fuzz)
    minutes=${2:-10}
    ensure_packages
    build fuzz
    # Each target keeps its corpus in build/fuzz/corpus between runs, starting from the committed seeds and
    # corpus; findings (crash-*, leak-*, timeout-*, oom-*) land in build/fuzz/findings.
    status=0
    for target in package_loader_fuzzer pe_reader_fuzzer codec_decoder_fuzzer codec_round_trip_fuzzer; do
      case $target in
        package_loader_fuzzer) seeds=tests/fuzz/package-seeds; limits=() ;;
        pe_reader_fuzzer) seeds=tests/fuzz/pe-seeds; limits=() ;;
        codec_decoder_fuzzer) seeds=tests/fuzz/codec-seeds/decoder; limits=(-max_len=4096) ;;
        codec_round_trip_fuzzer) seeds=tests/fuzz/codec-seeds/round_trip; limits=(-max_len=512) ;;
      esac
      corpus=build/fuzz/corpus/$target
      findings=build/fuzz/findings/$target
      mkdir -p "$corpus" "$findings"
      log=build/fuzz/$target.log
      echo "== $target: $minutes min on 2 cores"
      build/fuzz/bin/$target -fork=2 -max_total_time=$((minutes * 60)) -rss_limit_mb=2048 -timeout=10 \
        "${limits[@]}" -artifact_prefix="$findings/" "$corpus" "$seeds" tests/fuzz/corpus/$target >"$log" 2>&1 || status=1
      last=$(grep -E '^#[0-9]+: cov' "$log" | tail -n 1)
      found=$(find "$findings" -type f | wc -l)
      echo "   executions ${last%%:*} (${last#*: })"
      echo "   findings: $found in $findings"
      [ "$found" -eq 0 ] || status=1
    done
    exit $status
    ;;
  *)
    sed -n '2,7p' "$0"
    exit 2
    ;;
esac
