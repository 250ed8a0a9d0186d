#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine (as root): installs what is
# missing, builds, and runs.
#   ./dev.sh demo   pack the bundled demo game and run it under Wine
#   ./dev.sh test   build everything and run every test tier
set -euo pipefail
cd "$(dirname "$0")"

packages=(
  cmake make g++ clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine64 xvfb xauth xdotool
  python3-pytest python3-pefile
  libgtest-dev googletest libwim-dev
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
  *)
    sed -n '2,6p' "$0"
    exit 2
    ;;
esac
