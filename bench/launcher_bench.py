#!/usr/bin/env python3
"""The launcher under Wine against a probe of the work no launcher can avoid, side by side.

    python3 bench/launcher_bench.py [ROUNDS]   (after building the native and windows presets)

Uses its own Wine prefix and virtual display under build/bench. Each figure is the median wall time of
whole `wine` runs, launcher and probe in alternating rounds, so that Wine's own start-up is in both.

Preparation, on the benchmark game packed with the default settings (bench_game.py):
  warm extract-only (all up to date)       against the probe reading and digesting every file (CNG)
  cold extract-only (no runtime folder)    against the probe unpacking, digesting, writing, flushing all
  one changed byte in the largest file     against the warm probe plus that file's cold probe
  peak private memory of the launcher      against the largest entry plus 64 MiB
  start to progress window, cold, normal   against the probe showing the same window
  for reference: unzip of a zip -6 of the same files, sha256sum over them
Fixed cost, one entry whose game exits at once: a warm normal-mode start against the probe that digests the
file, shows and destroys the window, starts the game and waits; and the game started alone.
"""
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
WORK = ROOT / "build/bench"
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
        out = subprocess.run(["wine", KIT, "run", "--answer-box", "--time-window", TITLE, *map(str, argv)],
                             env=self.env, capture_output=True, text=True, timeout=600).stdout
        return next(int(l.split(": ")[1]) for l in out.splitlines() if l.startswith("window-after-ms: "))


def median(values):
    return statistics.median(values)


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    for needed in (NATIVE / "lomar-pack", LAUNCHER, PROBE, KIT, GAME):
        if not needed.exists():
            sys.exit(f"{needed} is missing: build the native and windows presets first")
    game = WORK / "game"
    if not game.exists():
        subprocess.run([sys.executable, ROOT / "bench/bench_game.py", game], check=True)
    folder = WORK / "prepare"
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    exe = folder / "LOMAR-portable.exe"
    subprocess.run([NATIVE / "lomar-pack", "build", game, "--launcher", LAUNCHER, "--output", exe], check=True,
                   stdout=subprocess.DEVNULL)
    runtime, probed = folder / ".lomar-runtime", WORK / "probe-runtime"
    largest = max((p for p in game.rglob("*") if p.is_file()), key=lambda p: p.stat().st_size)
    largest_name = str(largest.relative_to(game))
    wine = Wine()
    try:
        t = {k: [] for k in ("cold", "cold probe", "warm", "warm probe", "changed", "largest cold probe",
                             "unzip", "sha256sum", "window", "window probe")}
        peak = 0
        zipped = WORK / "game.zip"
        zipped.unlink(missing_ok=True)
        subprocess.run(["zip", "-6", "-r", "-q", zipped, "."], cwd=game, check=True)
        files = [str(p.relative_to(game)) for p in game.rglob("*") if p.is_file()]
        for _ in range(rounds):
            shutil.rmtree(runtime, ignore_errors=True)
            seconds, status, memory = wine.time(exe, "--extract-only", watch_memory=True)
            assert status == 0
            t["cold"].append(seconds)
            peak = max(peak, memory)
            shutil.rmtree(probed, ignore_errors=True)
            probed.mkdir()
            t["cold probe"].append(wine.time(PROBE, "cold", windows_path(exe), windows_path(probed))[0])
            t["warm"].append(wine.time(exe, "--extract-only")[0])
            t["warm probe"].append(wine.time(PROBE, "warm", windows_path(exe), windows_path(runtime))[0])
            with open(runtime / largest_name, "r+b") as f:
                f.seek(12345)
                byte = f.read(1)
                f.seek(12345)
                f.write(bytes([byte[0] ^ 1]))
            t["changed"].append(wine.time(exe, "--extract-only")[0])
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
        subprocess.run([NATIVE / "lomar-pack", "build", single / "game", "--launcher", LAUNCHER, "--output", one],
                       check=True, stdout=subprocess.DEVNULL)
        assert wine.time(one, "--extract-only")[1] == 0
        game_exe = single / ".lomar-runtime" / "LOMARVesperon.exe"
        f = {"start": [], "start probe": [], "game alone": []}
        for _ in range(max(rounds, 7)):
            f["start"].append(wine.time(one)[0])
            f["start probe"].append(wine.time(PROBE, "start", windows_path(game_exe), windows_path(game_exe))[0])
            f["game alone"].append(wine.time(game_exe)[0])
    finally:
        wine.close()

    m = {k: median(v) for k, v in {**t, **f}.items()}
    print(f"{rounds} rounds; medians of whole wine runs, seconds\n")
    for key in t:
        print(f"  {key:22}{m[key]:8.3f}")
    for key in f:
        print(f"  {key:22}{m[key]:8.3f}")
    entry = largest.stat().st_size
    print()
    print(f"warm extract-only / warm probe:          {m['warm'] / m['warm probe']:.2f}x  (target: at most 1.15x)")
    print(f"cold extract-only / cold probe:          {m['cold'] / m['cold probe']:.2f}x  (target: at most 1.3x)")
    print(f"one changed byte / (warm + its cold):    "
          f"{m['changed'] / (m['warm probe'] + m['largest cold probe']):.2f}x  (target: at most 1.3x)")
    print(f"cold extract-only / unzip (reference):   {m['cold'] / m['unzip']:.2f}x")
    print(f"warm extract-only / sha256sum (ref.):    {m['warm'] / m['sha256sum']:.2f}x")
    print(f"peak private memory: {peak / 2**20:.1f} MiB; largest entry {entry / 2**20:.1f} MiB + 64 MiB = "
          f"{entry / 2**20 + 64:.1f} MiB")
    print(f"start to progress window: launcher {1000 * m['window']:.0f} ms, probe {1000 * m['window probe']:.0f} ms, "
          f"{1000 * (m['window'] - m['window probe']):+.0f} ms  (target: at most +100 ms)")
    print(f"fixed cost, warm normal start / probe:   {m['start'] / m['start probe']:.2f}x  (target: at most 1.2x); "
          f"the game alone {m['game alone']:.3f} s")
    print(f"launcher stub: {LAUNCHER.stat().st_size:,} bytes")


if __name__ == "__main__":
    main()
