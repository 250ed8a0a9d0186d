#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine (as root): installs what is
# missing, builds, and runs.
#   ./dev.sh demo   pack the bundled demo game and run it under Wine
#   ./dev.sh test   build everything and run every test tier
#   ./dev.sh package   the .deb, the .tar.gz and the Windows .zip, into build/dist
#   ./dev.sh reproducible   build the launcher stub twice, in two fresh folders, and compare the bytes
#   ./dev.sh fuzz [MINUTES]   run every fuzz target in turn, MINUTES each (whole, default 10), on both cores
set -euo pipefail
cd "$(dirname "$0")"

# Each command installs only what it uses.
# The programs: the packer natively, the launcher stub and the demo game with mingw-w64.
build_packages=(cmake make g++ g++-mingw-w64-x86-64-posix)
# The demo's run: Wine, on a virtual display.
run_packages=(wine64 wine xvfb)
# The packages: dpkg-shlibdeps finds the .deb's dependencies, zip writes the Windows archive.
package_packages=(dpkg-dev zip)
# The tests and the fuzzers.
test_packages=(
  clang libclang-rt-14-dev mingw-w64-tools xauth xdotool
  python3-pytest python3-pefile libgtest-dev googletest libwim-dev
  zip unzip openssl osslsigncode
)

ensure_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return
  echo "== installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q "${missing[@]}"
}

# Whether the presets build the tests (cmake/testing.cmake): when what they need is installed, unless the
# command needs them.
tests=AUTO

# build PRESET [TARGET...]: configures, and builds the targets named, or everything.
build() {
  local preset=$1
  shift
  cmake --preset "$preset" -DLOMAR_TESTS=$tests >/dev/null
  if [ $# -gt 0 ]; then
    cmake --build --preset "$preset" --target "$@"
  else
    cmake --build --preset "$preset"
  fi
}

stop_wine() {
  for prefix in build/*/wineprefix build/*/e2e-wineprefix; do
    [ -d "$prefix" ] && WINEPREFIX="$PWD/$prefix" wineserver -k >/dev/null 2>&1 || true
  done
}

case "${1:-}" in
  test)
    ensure_packages "${build_packages[@]}" "${run_packages[@]}" "${package_packages[@]}" "${test_packages[@]}"
    tests=ON
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
    ensure_packages "${build_packages[@]}" "${run_packages[@]}"
    # Only what the demo runs: the packer, the stub and the game.
    build native lomar-pack
    build windows lomar-launcher lomar-demo-game
    trap stop_wine EXIT
    exec bash demo/run.sh
    ;;
  package)
    ensure_packages "${build_packages[@]}" "${package_packages[@]}"
    # The Linux packages take the stub from the Windows build.
    build windows lomar-launcher lomar-pack lomar-xpress
    build native lomar-pack lomar-xpress
    # The folders the .deb holds are made under the umask (077 would install /usr/share/lomar for root
    # alone), and so are the modes of its members.
    umask 022
    # The archives' file times: the commit's, unless the caller gives one.
    if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git rev-parse --git-dir >/dev/null 2>&1; then
      SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
      export SOURCE_DATE_EPOCH
    fi
    rm -rf build/dist
    cpack --preset windows >/dev/null
    cpack --preset native >/dev/null
    rm -rf build/dist/_CPack_Packages
    ls -l build/dist
    ;;
  reproducible)
    ensure_packages "${build_packages[@]}"
    # Two fresh Windows builds of the stub, at different times, from sources in two places (this folder and a
    # copy elsewhere) into build folders of different paths, one with SOURCE_DATE_EPOCH set: the same bytes.
    rm -rf build/reproducible
    other=$(mktemp -d /tmp/lomar-reproducible.XXXXXX)
    trap 'rm -rf "$other"' EXIT
    tar -c --exclude=./build --exclude=./.git . | tar -x -C "$other"
    cmake --preset windows -B build/reproducible/first -DLOMAR_TESTS=OFF >/dev/null
    cmake --build build/reproducible/first --target lomar-launcher -j 2 >/dev/null
    (cd "$other" && SOURCE_DATE_EPOCH=1700000000 cmake --preset windows -B "$other/elsewhere/stub-build" -DLOMAR_TESTS=OFF >/dev/null &&
      cmake --build "$other/elsewhere/stub-build" --target lomar-launcher -j 2 >/dev/null)
    first=build/reproducible/first/bin/lomar-launcher.exe
    second=$other/elsewhere/stub-build/bin/lomar-launcher.exe
    # The PE header's TimeDateStamp: 4 bytes, 8 past the header's offset (at 0x3c).
    stamp() { od -An -tu4 -j $(($(od -An -tu4 -j 60 -N 4 "$1") + 8)) -N 4 "$1" | tr -d ' '; }
    for stub in "$first" "$second"; do
      echo "$(sha256sum "$stub" | cut -d' ' -f1)  $(stat -c %s "$stub") bytes, TimeDateStamp $(stamp "$stub"): $stub"
    done
    if ! cmp "$first" "$second"; then
      echo "== the two builds of the launcher stub differ"
      exit 1
    fi
    echo "== the two builds of the launcher stub are the same bytes"
    ;;
  fuzz)
    minutes=${2:-10}
    ensure_packages "${build_packages[@]}" "${test_packages[@]}"
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
    sed -n '2,9p' "$0"
    exit 2
    ;;
esac
