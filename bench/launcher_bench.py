#!/usr/bin/env python3
"""The launcher under Wine against a probe of the machine's limit, side by side.

    python3 bench/launcher_bench.py [ROUNDS] [--corpus game|real-code|both] [--old-stub STUB.exe]
                                                      (after building the native and windows presets)

Uses its own Wine prefix and virtual display under build/bench. Each figure is the median wall time of
whole `wine` runs, launcher and probes in alternating rounds, so that Wine's own start-up is in all.

Preparation, on the benchmark game (bench_game.py) and on the real-code corpus (real_code_game.py, Wine's
own DLLs), each packed with the default settings:
  warm extract-only (all up to date)       against the probe reading each file with one ReadFile and
                                           digesting it with the processor's SHA extensions
  cold extract-only (no runtime folder)    against the probe unpacking, digesting, writing, flushing all
  beside them, the CNG-bound figures: the same probes digesting through CNG, and with --old-stub, a
  launcher built before it took its digests on the processor under Wine, on the same game
On the benchmark game also:
  one changed byte in the largest file     against the warm probe plus that file's cold probe
  peak private memory of the launcher      against the largest entry plus 64 MiB
  start to progress window, cold, normal   against the probe showing the same window
  for reference: unzip of a zip -6 of the same files, sha256sum over them
Fixed cost, one entry whose game exits at once: a warm normal-mode start against the probe that digests the
file, shows and destroys the window, starts the game and waits; and the game started alone.
"""
import argparse
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import threading
import time

from corpora import ROOT, WORK, chosen, corpus

NATIVE = ROOT / "build/native/bin"
WINDOWS = ROOT / "build/windows/bin"
LAUNCHER, PROBE, KIT, GAME = (WINDOWS / n for n in ("lomar-launcher.exe", "lomar-launcher-probe.exe",
                                                    "lomar-testkit.exe", "lomar-fake-game.exe"))
TITLE = "LOMAR Vesperon - preparing portable game"


def windows_path(path):
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


class Wine:
    def __init__(self):
        self.prefix = WORK / "wineprefix"
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten",
                                      "tcp"], pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        self.env["DISPLAY"] = ":" + os.read(read, 16).decode().strip()
        os.close(read)
        quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, env=self.env)
        if not (self.prefix / "system.reg").exists():
            subprocess.run(["wineboot", "-i"], check=True, timeout=300, **quiet)
            # Without a window manager Wine waits two seconds for one on every hidden window.
            subprocess.run(["wine", "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/t",
                            "REG_SZ", "/d", "N", "/f"], check=True, timeout=120, **quiet)
        subprocess.run(["wineserver", "-p"], timeout=60, **quiet)

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.xvfb.terminate()

    def time(self, *argv, cwd=None, watch_memory=False):
        """Seconds of one whole run (and the peak anonymous memory of its process, when asked)."""
        # What the run before wrote goes to disk first, so that its writeback does not slow this one.
        os.sync()
        start = time.perf_counter()
        proc = subprocess.Popen(["wine", *map(str, argv)], env=self.env, cwd=cwd, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        peak = [0]
        if watch_memory:  # the wine process is the Windows process itself
            def watch():
                while proc.poll() is None:
                    try:
                        for line in open(f"/proc/{proc.pid}/status"):
                            if line.startswith("RssAnon:"):
                                peak[0] = max(peak[0], int(line.split()[1]) * 1024)
                    except OSError:
                        pass
                    time.sleep(0.002)
            watcher = threading.Thread(target=watch)
            watcher.start()
        status = proc.wait(timeout=600)
        seconds = time.perf_counter() - start
        if watch_memory:
            watcher.join()
        return seconds, status, peak[0]

    def window_ms(self, *argv):
        run = subprocess.run(["wine", KIT, "run", "--answer-box", "--time-window", TITLE, *map(str, argv)],
                             env=self.env, capture_output=True, text=True, timeout=600)
        out = run.stdout + run.stderr
        for line in out.splitlines():
            if line.startswith("window-after-ms: "):
                return int(line.split(": ")[1])
        sys.exit(f"the progress window of {argv[0]} never showed; the test kit said:\n{out}")


def median(values):
    return statistics.median(values)


def pack(game, exe, stub):
    exe.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run([NATIVE / "lomar-pack", "build", game, "--launcher", stub, "--output", exe], check=True,
                   stdout=subprocess.DEVNULL)


def preparation(wine, name, game, rounds, old_stub):
    """Warm and cold extract-only runs of the launcher against the probes, on one corpus."""
    folder = WORK / "prepare" / name
    shutil.rmtree(folder, ignore_errors=True)
    exe = folder / "LOMAR-portable.exe"
    pack(game, exe, LAUNCHER)
    old = None
    if old_stub:
        old = WORK / "prepare-old" / name / "LOMAR-portable.exe"
        shutil.rmtree(old.parent, ignore_errors=True)
        pack(game, old, old_stub)
    runtime, probed = folder / ".lomar-runtime", WORK / "probe-runtime"
    t = {k: [] for k in ("cold", "cold probe", "cold probe, CNG", "warm", "warm probe", "warm probe, CNG")}
    if old:
        t.update({"old cold": [], "old warm": []})
    peak = 0

    def cold_probe(mode):
        shutil.rmtree(probed, ignore_errors=True)
        probed.mkdir()
        return wine.time(PROBE, mode, windows_path(exe), windows_path(probed))[0]

    for _ in range(rounds):
        shutil.rmtree(runtime, ignore_errors=True)
        seconds, status, memory = wine.time(exe, "--extract-only", watch_memory=True)
        assert status == 0
        t["cold"].append(seconds)
        peak = max(peak, memory)
        t["cold probe"].append(cold_probe("cold"))
        t["cold probe, CNG"].append(cold_probe("cold-cng"))
        t["warm"].append(wine.time(exe, "--extract-only")[0])
        t["warm probe"].append(wine.time(PROBE, "warm", windows_path(exe), windows_path(runtime))[0])
        t["warm probe, CNG"].append(wine.time(PROBE, "warm-cng", windows_path(exe), windows_path(runtime))[0])
        if old:
            shutil.rmtree(old.parent / ".lomar-runtime", ignore_errors=True)
            t["old cold"].append(wine.time(old, "--extract-only")[0])
            t["old warm"].append(wine.time(old, "--extract-only")[0])
    files = [p for p in game.rglob("*") if p.is_file()]
    m = {k: median(v) for k, v in t.items()}
    print(f"{name}: {len(files)} files, {sum(p.stat().st_size for p in files):,} bytes; {rounds} rounds; "
          f"medians of whole wine runs, seconds")
    for key in t:
        print(f"  {key:22}{m[key]:8.3f}")
    print(f"warm extract-only / warm probe:          {m['warm'] / m['warm probe']:.2f}x  (target: at most 1.3x)")
    print(f"cold extract-only / cold probe:          {m['cold'] / m['cold probe']:.2f}x  (target: at most 1.3x)")
    print(f"CNG-bound: warm probe {m['warm probe, CNG']:.3f} s ({m['warm probe, CNG'] / m['warm probe']:.2f}x the "
          f"limit), cold probe {m['cold probe, CNG']:.3f} s ({m['cold probe, CNG'] / m['cold probe']:.2f}x)")
    if old:
        print(f"old launcher (CNG under Wine): warm {m['old warm']:.3f} s ({m['old warm'] / m['warm probe']:.2f}x "
              f"the limit), cold {m['old cold']:.3f} s ({m['old cold'] / m['cold probe']:.2f}x)")
    print(f"peak private memory: {peak / 2**20:.1f} MiB\n")
    return exe, runtime


def details(wine, game, exe, runtime, rounds):
    """On the benchmark game: a changed byte, the window, the references, and the fixed cost of a start."""
    probed = WORK / "probe-runtime"
    largest = max((p for p in game.rglob("*") if p.is_file()), key=lambda p: p.stat().st_size)
    largest_name = str(largest.relative_to(game))
    t = {k: [] for k in ("changed", "warm probe", "largest cold probe", "unzip", "sha256sum", "window",
                         "window probe")}
    peak = 0
    zipped = WORK / "game.zip"
    zipped.unlink(missing_ok=True)
    subprocess.run(["zip", "-6", "-r", "-q", zipped, "."], cwd=game, check=True)
    files = [str(p.relative_to(game)) for p in game.rglob("*") if p.is_file()]
    for _ in range(rounds):
        assert wine.time(exe, "--extract-only")[1] == 0
        t["warm probe"].append(wine.time(PROBE, "warm", windows_path(exe), windows_path(runtime))[0])
        with open(runtime / largest_name, "r+b") as f:
            f.seek(12345)
            byte = f.read(1)
            f.seek(12345)
            f.write(bytes([byte[0] ^ 1]))
        seconds, _, memory = wine.time(exe, "--extract-only", watch_memory=True)
        t["changed"].append(seconds)
        peak = max(peak, memory)
        shutil.rmtree(probed, ignore_errors=True)
        probed.mkdir()
        t["largest cold probe"].append(
            wine.time(PROBE, "cold", windows_path(exe), windows_path(probed), largest_name)[0])
        unzipped = WORK / "unzipped"
        shutil.rmtree(unzipped, ignore_errors=True)
        start = time.perf_counter()
        subprocess.run(["unzip", "-q", zipped, "-d", unzipped], check=True)
        t["unzip"].append(time.perf_counter() - start)
        start = time.perf_counter()
        subprocess.run(["sha256sum", *files], cwd=game, check=True, stdout=subprocess.DEVNULL)
        t["sha256sum"].append(time.perf_counter() - start)
        shutil.rmtree(runtime, ignore_errors=True)
        t["window"].append(wine.window_ms(exe) / 1000)
        t["window probe"].append(wine.window_ms(PROBE, "window") / 1000)

    # The fixed cost: one entry, the stand-in game that exits at once.
    single = WORK / "single"
    shutil.rmtree(single, ignore_errors=True)
    (single / "game").mkdir(parents=True)
    shutil.copy(GAME, single / "game" / "LOMARVesperon.exe")
    one = single / "LOMAR-portable.exe"
    pack(single / "game", one, LAUNCHER)
    assert wine.time(one, "--extract-only")[1] == 0
    game_exe = single / ".lomar-runtime" / "LOMARVesperon.exe"
    f = {"start": [], "start probe": [], "game alone": []}
    for _ in range(max(rounds, 7)):
        f["start"].append(wine.time(one)[0])
        f["start probe"].append(wine.time(PROBE, "start", windows_path(game_exe), windows_path(game_exe))[0])
        f["game alone"].append(wine.time(game_exe)[0])

    m = {k: median(v) for k, v in {**t, **f}.items()}
    print(f"game, details; {rounds} rounds; medians of whole wine runs, seconds")
    for key in {**t, **f}:
        print(f"  {key:22}{m[key]:8.3f}")
    entry = largest.stat().st_size
    print(f"one changed byte / (warm + its cold):    "
          f"{m['changed'] / (m['warm probe'] + m['largest cold probe']):.2f}x  (target: at most 1.3x)")
    print(f"warm extract-only / sha256sum (ref.):    see above; sha256sum {m['sha256sum']:.3f} s, unzip "
          f"{m['unzip']:.3f} s")
    print(f"peak private memory with one changed file: {peak / 2**20:.1f} MiB; largest entry {entry / 2**20:.1f} MiB "
          f"+ 64 MiB = {entry / 2**20 + 64:.1f} MiB")
    print(f"start to progress window: launcher {1000 * m['window']:.0f} ms, probe {1000 * m['window probe']:.0f} ms, "
          f"{1000 * (m['window'] - m['window probe']):+.0f} ms  (target: at most +100 ms)")
    print(f"fixed cost, warm normal start / probe:   {m['start'] / m['start probe']:.2f}x  (target: at most 1.2x); "
          f"the game alone {m['game alone']:.3f} s")
    print(f"launcher stub: {LAUNCHER.stat().st_size:,} bytes")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("rounds", nargs="?", type=int, default=5)
    parser.add_argument("--corpus", help="game, real-code or both (default)")
    parser.add_argument("--old-stub", type=pathlib.Path, help="a launcher stub of an earlier build, to measure "
                        "beside the current one")
    args = parser.parse_args()
    for needed in (NATIVE / "lomar-pack", LAUNCHER, PROBE, KIT, GAME):
        if not needed.exists():
            sys.exit(f"{needed} is missing: build the native and windows presets first")
    games = {name: corpus(name) for name in chosen(args.corpus)}
    wine = Wine()
    try:
        prepared = {name: preparation(wine, name, game, args.rounds, args.old_stub) for name, game in games.items()}
        if "game" in games:
            details(wine, games["game"], *prepared["game"], args.rounds)
    finally:
        wine.close()


if __name__ == "__main__":
    main()
