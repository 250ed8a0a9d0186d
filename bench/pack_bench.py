#!/usr/bin/env python3
"""Packing the benchmark game: lomar-pack build against zip -6 -r of the same folder, side by side.

    python3 bench/pack_bench.py [ROUNDS]      (after building the native and windows presets)

Writes the benchmark game to build/bench/game (bench_game.py) unless it is there, then runs in alternating
rounds: lomar-pack at the default level with all threads, zip -6 -r, and lomar-pack at the fast level and
with one thread. Prints the median wall time, the output size and the peak resident memory of each, and
the ratios the targets are about.
"""
import os
import pathlib
import statistics
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
WORK = ROOT / "build/bench"
GAME = WORK / "game"
PACK = ROOT / "build/native/bin/lomar-pack"
STUB = ROOT / "build/windows/bin/lomar-launcher.exe"


def measure(argv, cwd=None):
    """Wall seconds and peak resident bytes of one run."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.perf_counter() - start
    if status != 0:
        sys.exit(f"{argv[0]} failed: {proc.stderr.read().decode()}")
    return seconds, usage.ru_maxrss * 1024


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    for needed in (PACK, STUB):
        if not needed.exists():
            sys.exit(f"{needed} is missing: build the native and windows presets first")
    if not GAME.exists():
        subprocess.run([sys.executable, ROOT / "bench/bench_game.py", GAME], check=True)
    files = [p for p in GAME.rglob("*") if p.is_file()]
    unpacked = sum(p.stat().st_size for p in files)
    largest = max(p.stat().st_size for p in files)
    out = WORK / "out"
    out.mkdir(exist_ok=True)

    def pack(name, *more):
        return name, [PACK, "build", GAME, "--launcher", STUB, "--output", out / f"{name}.exe", *more], None, \
            out / f"{name}.exe"

    runs = [pack("max, all threads"), ("zip -6 -r", ["zip", "-6", "-r", "-q", out / "game.zip", "."], GAME,
                                         out / "game.zip"),
            pack("fast, all threads", "--level", "fast"), pack("max, 1 thread", "--threads", "1"),
            pack("fast, 1 thread", "--level", "fast", "--threads", "1")]
    times = {name: [] for name, *_ in runs}
    peaks = {name: 0 for name, *_ in runs}
    for _ in range(rounds):
        for name, argv, cwd, result in runs:
            result.unlink(missing_ok=True)
            seconds, peak = measure(argv, cwd)
            times[name].append(seconds)
            peaks[name] = max(peaks[name], peak)
    sizes = {name: result.stat().st_size for name, _, _, result in runs}
    print(f"benchmark game: {len(files)} files, {unpacked:,} bytes, largest {largest:,}; {rounds} rounds\n")
    print(f"{'':22}{'median s':>10}{'output bytes':>16}{'of unpacked':>13}{'peak RSS MB':>13}")
    for name, *_ in runs:
        print(f"{name:22}{statistics.median(times[name]):10.2f}{sizes[name]:16,}"
              f"{100 * sizes[name] / unpacked:12.2f}%{peaks[name] / 2**20:13.1f}")
    t = {name: statistics.median(v) for name, v in times.items()}
    package = sizes["max, all threads"] - STUB.stat().st_size
    print()
    print(f"default build against zip, time:  {t['max, all threads'] / t['zip -6 -r']:.2f}x  (target: at most 1.00x)")
    print(f"default build against zip, size:  {sizes['max, all threads'] / sizes['zip -6 -r']:.4f}x  "
          f"(target: below 1; the stub alone is {STUB.stat().st_size:,} bytes)")
    print(f"max level on 2 threads against 1: {t['max, 1 thread'] / t['max, all threads']:.2f}x faster")
    print(f"fast level against max (threads): {t['max, all threads'] / t['fast, all threads']:.2f}x faster, "
          f"{100 * sizes['fast, all threads'] / sizes['max, all threads']:.2f}% of its size")
    beyond = peaks["max, all threads"] - largest - sizes["max, all threads"]
    print(f"peak memory beyond the largest file and the output: {beyond / 2**20:.1f} MiB (target: at most 64)")
    print(f"(package alone: {package:,} bytes)")


if __name__ == "__main__":
    main()
