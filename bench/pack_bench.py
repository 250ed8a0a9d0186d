#!/usr/bin/env python3
"""Packing: lomar-pack build against zip -6 -r of the same folder, side by side, on both corpora.

    python3 bench/pack_bench.py [ROUNDS] [--corpus game|real-code|both]
                                                      (after building the native and windows presets)

The benchmark game (bench_game.py) and the real-code corpus (real_code_game.py, Wine's own DLLs) are
written under build/bench unless they are there. For each, in alternating rounds: lomar-pack at the default
level with all threads, zip -6 -r, and lomar-pack at the fast level and with one thread. Prints the median
wall time, the output size and the peak resident memory of each, and the ratios the targets are about.
"""
import argparse
import os
import pathlib
import statistics
import subprocess
import sys
import time

from corpora import ROOT, WORK, chosen, corpus

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


def bench(name, game, rounds):
    files = [p for p in game.rglob("*") if p.is_file()]
    unpacked = sum(p.stat().st_size for p in files)
    largest = max(p.stat().st_size for p in files)
    out = WORK / "out"
    out.mkdir(exist_ok=True)

    def pack(label, *more):
        return label, [PACK, "build", game, "--launcher", STUB, "--output", out / f"{label}.exe", *more], None, \
            out / f"{label}.exe"

    runs = [pack("max, all threads"), ("zip -6 -r", ["zip", "-6", "-r", "-q", out / "game.zip", "."], game,
                                         out / "game.zip"),
            pack("fast, all threads", "--level", "fast"), pack("max, 1 thread", "--threads", "1"),
            pack("fast, 1 thread", "--level", "fast", "--threads", "1")]
    times = {label: [] for label, *_ in runs}
    peaks = {label: 0 for label, *_ in runs}
    for _ in range(rounds):
        for label, argv, cwd, result in runs:
            result.unlink(missing_ok=True)
            seconds, peak = measure(argv, cwd)
            times[label].append(seconds)
            peaks[label] = max(peaks[label], peak)
    sizes = {label: result.stat().st_size for label, _, _, result in runs}
    print(f"{name}: {len(files)} files, {unpacked:,} bytes, largest {largest:,}; {rounds} rounds\n")
    print(f"{'':22}{'median s':>10}{'output bytes':>16}{'of unpacked':>13}{'peak RSS MB':>13}")
    for label, *_ in runs:
        print(f"{label:22}{statistics.median(times[label]):10.2f}{sizes[label]:16,}"
              f"{100 * sizes[label] / unpacked:12.2f}%{peaks[label] / 2**20:13.1f}")
    t = {label: statistics.median(v) for label, v in times.items()}
    print()
    print(f"default build against zip, time:  {t['max, all threads'] / t['zip -6 -r']:.2f}x  (target: at most 1.00x)")
    print(f"default build against zip, size:  {sizes['max, all threads'] / sizes['zip -6 -r']:.4f}x  "
          f"(target: below 1; the stub alone is {STUB.stat().st_size:,} bytes)")
    print(f"fast level against zip:           {t['fast, all threads'] / t['zip -6 -r']:.2f}x the time, "
          f"{sizes['fast, all threads'] / sizes['zip -6 -r']:.4f}x the size")
    print(f"max level on 2 threads against 1: {t['max, 1 thread'] / t['max, all threads']:.2f}x faster")
    print(f"fast level on 2 threads against 1: {t['fast, 1 thread'] / t['fast, all threads']:.2f}x faster")
    beyond = peaks["max, all threads"] - largest - sizes["max, all threads"]
    print(f"peak memory beyond the largest file and the output: {beyond / 2**20:.1f} MiB (target: at most 64)")
    print(f"(package alone: {sizes['max, all threads'] - STUB.stat().st_size:,} bytes)\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("rounds", nargs="?", type=int, default=3)
    parser.add_argument("--corpus", help="game, real-code or both (default)")
    args = parser.parse_args()
    for needed in (PACK, STUB):
        if not needed.exists():
            sys.exit(f"{needed} is missing: build the native and windows presets first")
    for name in chosen(args.corpus):
        bench(name, corpus(name), args.rounds)


if __name__ == "__main__":
    main()
