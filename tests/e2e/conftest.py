"""Black-box harness: the real launcher, cross-compiled, run under Wine.

One private WINEPREFIX and one Xvfb display per test session; wineserver is
started once in persistent mode and killed at the end. Every Wine process
writes to files, never to a pipe: Wine's helper processes inherit and keep
pipes open, and a reader waiting for their end would hang.
"""
import os
import pathlib
import shutil
import signal
import subprocess
import time
from dataclasses import dataclass, field

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
WINDOWS_BIN = pathlib.Path(os.environ.get("LOMAR_WINDOWS_BIN", ROOT / "build/windows/bin"))
NATIVE_BIN = pathlib.Path(os.environ.get("LOMAR_NATIVE_BIN", ROOT / "build/native/bin"))
LAUNCHER = WINDOWS_BIN / "lomar-launcher.exe"
TESTKIT = WINDOWS_BIN / "lomar-testkit.exe"
FAKE_GAME = WINDOWS_BIN / "lomar-fake-game.exe"
CAPTION = "LOMAR Vesperon"
WINE_NOISE = ("it looks like wine32 is missing", "multiarch needs to be enabled", 'execute "dpkg',
              "apt-get install wine32")


def windows_path(path) -> str:
    """The Unix path as Wine's Z: drive shows it."""
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


@dataclass
class Outcome:
    exit: int
    stderr: str
    windows: list = field(default_factory=list)
    boxes: list = field(default_factory=list)   # (caption, text) per message box
    closed: list = field(default_factory=list)
    beside_boxes: list = field(default_factory=list)  # windows still there when a box showed
    progress: list = field(default_factory=list)      # positions of the progress bar, as they changed
    window_after_ms: int | None = None
    stdout: str = ""

    @property
    def stderr_lines(self):
        return [l for l in self.stderr.splitlines() if l and not l.startswith(WINE_NOISE)]


class Wine:
    def __init__(self, prefix: pathlib.Path, logs: pathlib.Path, display: str | None):
        self.prefix = prefix
        self.logs = logs
        self.env = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.env.pop("DISPLAY", None)
        if display:
            self.env["DISPLAY"] = display
        self.count = 0

    def _files(self, stem):
        self.count += 1
        return (self.logs / f"{self.count:04d}-{stem}.out", self.logs / f"{self.count:04d}-{stem}.err")

    def spawn(self, *argv, cwd=None, display=True, env=None) -> "Running":
        """Starts a Windows program without waiting for it."""
        out, err = self._files(pathlib.Path(str(argv[0])).stem)
        environment = dict(self.env if display else {k: v for k, v in self.env.items() if k != "DISPLAY"})
        environment.update(env or {})
        with open(out, "wb") as o, open(err, "wb") as e:
            proc = subprocess.Popen(["wine", *map(str, argv)], stdout=o, stderr=e, stdin=subprocess.DEVNULL,
                                    env=environment, cwd=cwd, start_new_session=True)
        return Running(proc, out, err, str(argv[0]))

    def run(self, *argv, timeout=120, cwd=None, display=True, env=None):
        """Runs a Windows program; returns (exit status as Linux sees it, stdout, stderr)."""
        return self.spawn(*argv, cwd=cwd, display=display, env=env).wait(timeout)

    def start(self, exe, *args, answer_box=True, close_window=None, close_after=0, close_at_progress=None, std_handles=True,
              watch_progress=False, time_window=None, stdin=None, stdout=None, stderr=None, command_line=None,
              cwd=None, display=True, env=None) -> "Running":
        """Starts `exe` through the test kit, which reports its full exit code, its windows and message
        boxes (answered with OK unless told otherwise)."""
        kit = ["run"]
        if answer_box:
            kit.append("--answer-box")
        if close_window:
            kit += ["--close-window", close_window]
            kit += ["--close-after", str(close_after)] if close_at_progress is None else \
                ["--close-at-progress", str(close_at_progress)]
        if not std_handles:
            kit.append("--no-std-handles")
        for option, spec in (("--stdin", stdin), ("--stdout", stdout), ("--stderr", stderr)):
            if spec is not None:
                kit += [option, spec if spec == "null" else "file:" + windows_path(spec)]
        if command_line is not None:
            kit += ["--command-line", command_line]
        if watch_progress:
            kit.append("--watch-progress")
        if time_window:
            kit += ["--time-window", time_window]
        return self.spawn(TESTKIT, *kit, windows_path(exe), *args, cwd=cwd, display=display, env=env)

    def launch(self, exe, *args, timeout=120, **options) -> Outcome:
        return self.start(exe, *args, **options).outcome(timeout)


@dataclass
class Running:
    proc: subprocess.Popen
    out: pathlib.Path
    err: pathlib.Path
    name: str

    def wait(self, timeout=120):
        try:
            status = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise AssertionError(f"{self.name} did not end within {timeout} s")
        return status, self.out.read_text("utf-8", "replace"), self.err.read_text("utf-8", "replace")

    def kill(self):
        os.killpg(self.proc.pid, signal.SIGKILL)
        self.proc.wait()

    def said(self) -> str:
        """What the test kit has reported so far."""
        return self.out.read_text("utf-8", "replace")

    def outcome(self, timeout=120) -> Outcome:
        status, out, err = self.wait(timeout)
        assert status == 0, f"test kit failed ({status}): {err}"
        outcome = Outcome(exit=-1, stderr=err, stdout=out)
        pending_caption = None
        for line in out.splitlines():
            key, _, value = line.partition(": ")
            if key == "exit":
                outcome.exit = int(value)
            elif key == "window":
                outcome.windows.append(value)
            elif key == "closed":
                outcome.closed.append(value)
            elif key == "box-caption":
                pending_caption = value
            elif key == "box-text":
                outcome.boxes.append((pending_caption, value))
            elif key == "box-beside":
                outcome.beside_boxes.append(value)
            elif key == "progress":
                outcome.progress.append(int(value))
            elif key == "window-after-ms":
                outcome.window_after_ms = int(value)
        assert outcome.exit >= 0, f"no exit code reported: {out!r} {err!r}"
        return outcome


def _start_xvfb(logs):
    if not shutil.which("Xvfb"):
        return None, None
    read, write = os.pipe()
    log = open(logs / "xvfb.log", "wb")
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            pass_fds=(write,), stdout=log, stderr=log, stdin=subprocess.DEVNULL)
    os.close(write)
    number = b""
    deadline = time.time() + 30
    while not number.endswith(b"\n") and time.time() < deadline:
        chunk = os.read(read, 16)
        if not chunk:
            break
        number += chunk
    os.close(read)
    if not number.strip():
        proc.kill()
        return None, None
    return proc, ":" + number.decode().strip()


@pytest.fixture(scope="session")
def wine(tmp_path_factory):
    for binary in (LAUNCHER, TESTKIT, FAKE_GAME):
        if not binary.exists():
            pytest.fail(f"{binary} is missing: build the windows preset first")
    base = tmp_path_factory.mktemp("wine")
    logs = base / "logs"
    logs.mkdir()
    xvfb, display = _start_xvfb(logs)
    session = Wine(base / "prefix", logs, display)
    with open(logs / "wineboot.log", "wb") as log:
        subprocess.run(["wineboot", "-i"], env=session.env, stdout=log, stderr=log, stdin=subprocess.DEVNULL,
                       timeout=300, check=True)
    # Without a window manager on the virtual display, Wine waits two seconds for one to acknowledge every
    # top-level window that is hidden or destroyed; unmanaged windows need no acknowledgement.
    with open(logs / "reg.log", "wb") as log:
        subprocess.run(["wine", "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/t", "REG_SZ",
                        "/d", "N", "/f"], env=session.env, stdout=log, stderr=log, stdin=subprocess.DEVNULL,
                       timeout=120, check=True)
    with open(logs / "wineserver.log", "wb") as log:
        subprocess.run(["wineserver", "-p"], env=session.env, stdout=log, stderr=log, stdin=subprocess.DEVNULL,
                       timeout=60)
    yield session
    subprocess.run(["wineserver", "-k"], env=session.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=60)
    if xvfb:
        xvfb.terminate()
        xvfb.wait(timeout=30)


@pytest.fixture
def game_dir(tmp_path):
    """A fresh folder holding a copy of the launcher."""
    folder = tmp_path / "Portable Game"
    folder.mkdir()
    shutil.copy(LAUNCHER, folder / "LOMAR-portable.exe")
    return folder
