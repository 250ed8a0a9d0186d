"""The game as the real launcher starts it under Wine: arguments, environment, working folder, standard
handles and exit status passed through, and one launcher per folder."""
import hashlib
import json
import pathlib
import random
import shutil
import time

import pytest

from conftest import CAPTION, FAKE_GAME, LAUNCHER, TESTKIT, windows_path
from package_image import entry, image
from packer import build, write_game
from test_package_checks import attach

TITLE = "LOMAR Vesperon - preparing portable game"
LOCKED = "LOMAR is already running or being prepared from this folder."
ALL_BITS = [0, 3, 255, 256, 0xC0000005, 0xFFFFFFFF]


@pytest.fixture(scope="module")
def packed_game(tmp_path_factory):
    """The stand-in game packed once as LOMARVesperon.exe, with a file beside it."""
    root = tmp_path_factory.mktemp("fake-game")
    game = write_game(root / "game", {"LOMARVesperon.exe": FAKE_GAME.read_bytes(), "data/notes.txt": b"notes"})
    result = build(game, root / "packed.exe", "--level", "fast")
    assert result.returncode == 0, result.stderr
    return root / "packed.exe"


def portable(packed_game, folder, name="LOMAR-portable.exe"):
    folder.mkdir(parents=True, exist_ok=True)
    shutil.copy(packed_game, folder / name)
    return folder / name


def quote(arg: str) -> str:
    """How a caller quotes one argument for CommandLineToArgvW."""
    out, backslashes = '"', 0
    for c in arg:
        if c == "\\":
            backslashes += 1
            continue
        out += "\\" * (2 * backslashes + 1 if c == '"' else backslashes) + c
        backslashes = 0
    return out + "\\" * (2 * backslashes) + '"'


class Game:
    """Runs a portable game whose stand-in game reports what it received."""

    def __init__(self, wine, exe, tmp_path):
        self.wine, self.exe, self.report = wine, exe, tmp_path / f"report-{exe.parent.name}-{exe.stem}.json"

    def env(self, exit_code=0, hold=None, **more):
        env = {"LOMAR_TEST_REPORT": windows_path(self.report), "LOMAR_TEST_EXIT": str(exit_code), **more}
        if hold:
            env["LOMAR_TEST_HOLD"] = windows_path(hold)
        return env

    def run(self, *args, exit_code=0, command_line=None, **options):
        self.report.unlink(missing_ok=True)
        if command_line is not None:
            options["command_line"] = command_line
        return self.wine.launch(self.exe, *args, env=self.env(exit_code), **options)

    def received(self):
        return json.loads(self.report.read_text("utf-8")) if self.report.exists() else None


@pytest.fixture
def game(wine, packed_game, tmp_path):
    return Game(wine, portable(packed_game, tmp_path / "Portable Game"), tmp_path)


def test_arguments_reach_the_game_exactly_as_the_launcher_received_them(game):
    table = ["", "abc", "two words", 'say "hi"', 'a\\"b', "a\\\\b", "D:\\games\\", "tab\there", "%PATH%", "^&|<>"]
    rng = random.Random(23)
    pieces = [" ", "\t", '"', "\\", "\\\\", '\\"', "a", "Z", "%x%", "^", "&", "\u00e9", "\u65e5", "\U0001F600", "'"]
    lists = [table, [], ["--extract-only", "--extract-only"]]
    while len(lists) < 200:
        args = ["".join(rng.choice(pieces) for _ in range(rng.randint(0, 6))) for _ in range(rng.randint(1, 5))]
        if args != ["--extract-only"]:
            lists.append(args)
    expected_exe = windows_path(game.exe.parent / ".lomar-runtime" / "LOMARVesperon.exe")
    for args in lists:
        line = " ".join(quote(a) for a in [windows_path(game.exe), *args])
        outcome = game.run(command_line=line)
        assert outcome.exit == 0, (args, outcome.stderr_lines, outcome.boxes)
        received = game.received()
        assert received["args"] == [expected_exe, *args], line


@pytest.mark.parametrize("args, reaches", [
    (["--extract-only"], None),
    (["--extract-only", "now"], ["--extract-only", "now"]),
    (["now", "--extract-only"], ["now", "--extract-only"]),
    (["--EXTRACT-ONLY"], ["--EXTRACT-ONLY"]),
    ([], []),
])
def test_only_the_single_switch_keeps_the_game_from_starting(game, args, reaches):
    outcome = game.run(*args)
    assert (outcome.exit, outcome.boxes) == (0, [])
    received = game.received()
    assert (received["args"][1:] if received else None) == reaches
    assert outcome.windows == ([] if reaches is None else [TITLE])


def test_every_exit_code_of_the_game_comes_back_with_all_32_bits(game):
    for code in ALL_BITS:
        outcome = game.run(exit_code=code)
        assert (outcome.exit, outcome.boxes) == (code, []), code


def _sort_key(entry: str):
    units = entry.encode("utf-16-le")
    return [c + 32 if 0x41 <= c <= 0x5A else c for c in
            (int.from_bytes(units[i:i + 2], "little") for i in range(0, len(units), 2))]


def test_the_game_gets_the_portable_root_the_sorted_environment_and_the_launchers_folder(game, tmp_path):
    work = tmp_path / "work folder"
    work.mkdir()
    env = game.env(LOMAR_PORTABLE_ROOT="C:\\elsewhere", lomar_portable_root="c:\\other",
                   LOMAR_PORTABLE_ROOTS="kept", MY_PORTABLE_ROOT="kept too")
    game.report.unlink(missing_ok=True)
    outcome = game.wine.launch(game.exe, env=env, cwd=work)
    assert outcome.exit == 0
    received = game.received()
    roots = [e for e in received["env"] if e.lower().startswith("lomar_portable_root=")]
    assert roots == ["LOMAR_PORTABLE_ROOT=" + windows_path(game.exe.parent)]
    assert "LOMAR_PORTABLE_ROOTS=kept" in received["env"] and "MY_PORTABLE_ROOT=kept too" in received["env"]
    # Wine sets a few variables of its own in every new process (at the end of its block); the rest is the
    # block the launcher built, in its order.
    ours = [e for e in received["env"] if not e.upper().startswith(("WINE", "SYSTEMDRIVE=", "SYSTEMROOT="))]
    assert ours == sorted(ours, key=_sort_key)
    assert received["cwd"].rstrip("\\").lower() == windows_path(work).lower()


@pytest.mark.parametrize("handles, seen", [
    # No standard handles at all: nothing is handed on.
    ({"stdin": "null", "stdout": "null", "stderr": "null"}, {"stdout": None, "stderr": None, "stdin": None}),
    # Output to a file: all three are handed on, even a null input and error.
    ({"stdin": "null", "stdout": "out.txt", "stderr": "null"}, {"stdout": 1, "stderr": None, "stdin": None}),
    ({"stdin": "in.txt", "stdout": "out.txt", "stderr": "null"}, {"stdout": 1, "stderr": None, "stdin": 1}),
    # Output null, error valid: output alone decides, so the launcher hands nothing on, and the game gets
    # what the system gives by default; Wine, like Windows, copies the parent's own handles there.
    ({"stdin": "null", "stdout": "null", "stderr": "err.txt"}, {"stdout": None, "stderr": 1, "stdin": None}),
], ids=["no-output", "output-to-file", "output-and-input", "error-only"])
def test_standard_handles_are_handed_on_when_there_is_a_standard_output(game, tmp_path, handles, seen):
    (tmp_path / "in.txt").write_text("input")
    options = {k: (v if v == "null" else tmp_path / v) for k, v in handles.items()}
    outcome = game.run(**options)
    assert outcome.exit == 0
    received = game.received()
    assert {k: received[k] for k in seen} == seen
    if handles.get("stdout") == "out.txt":
        assert (tmp_path / "out.txt").read_text() == "LOMAR test game ran\n"


def _wait_for(condition, seconds=60):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if condition():
            return True
        time.sleep(0.05)
    return False


def test_one_launcher_per_folder_while_the_game_runs(wine, packed_game, tmp_path):
    folder = tmp_path / "Portable Game"
    first = Game(wine, portable(packed_game, folder), tmp_path)
    hold = tmp_path / "release"
    running = wine.start(first.exe, env=first.env(hold=hold))
    try:
        assert _wait_for(first.report.exists), running.said()
        before = {str(p): p.stat().st_mtime_ns for p in folder.rglob("*")}
        other_name = portable(packed_game, folder, "Another name.exe")
        for exe, args in ((first.exe, []), (other_name, []), (other_name, ["--extract-only"])):
            outcome = wine.launch(exe, *args)
            assert outcome.exit == 1, (exe, args)
            assert outcome.stderr_lines == [f"LOMAR portable: {LOCKED}"]
            assert outcome.boxes == ([] if args else [(CAPTION, LOCKED)])
        before[str(other_name)] = other_name.stat().st_mtime_ns
        assert {str(p): p.stat().st_mtime_ns for p in folder.rglob("*")} == before
        # Another folder runs side by side.
        elsewhere = Game(wine, portable(packed_game, tmp_path / "Other Folder"), tmp_path)
        assert elsewhere.run(exit_code=7).exit == 7
    finally:
        hold.write_text("go")
    assert running.outcome().exit == 0
    assert first.run(exit_code=5).exit == 5


def test_four_launchers_at_once_in_the_normal_mode_run_one_game(wine, packed_game, tmp_path):
    folder = tmp_path / "Portable Game"
    exes = [portable(packed_game, folder, f"copy {i}.exe") for i in range(4)]
    hold = tmp_path / "release"
    games = [Game(wine, exe, tmp_path) for exe in exes]
    started = [wine.start(g.exe, env=g.env(hold=hold)) for g in games]
    try:
        assert _wait_for(lambda: any(g.report.exists() for g in games)), [s.said() for s in started]
        refused = [s for s in started if _wait_for(lambda s=s: s.proc.poll() is not None, 5)]
        for s in refused:
            outcome = s.outcome()
            assert (outcome.exit, outcome.boxes) == (1, [(CAPTION, LOCKED)])
        assert len(refused) == 3
    finally:
        hold.write_text("go")
    assert sum(g.report.exists() for g in games) == 1
    running = [s for s in started if s not in refused]
    assert [s.outcome().exit for s in running] == [0]


def test_four_launchers_at_once_in_extract_only_leave_one_complete_runtime(wine, packed_game, tmp_path):
    folder = tmp_path / "Portable Game"
    exes = [portable(packed_game, folder, f"copy {i}.exe") for i in range(4)]
    started = [wine.start(exe, "--extract-only") for exe in exes]
    outcomes = [s.outcome() for s in started]
    assert any(o.exit == 0 for o in outcomes)
    for o in outcomes:
        assert o.boxes == []
        assert (o.exit, o.stderr_lines) in ((0, []), (1, [f"LOMAR portable: {LOCKED}"]))
    runtime = folder / ".lomar-runtime"
    assert (runtime / "LOMARVesperon.exe").read_bytes() == FAKE_GAME.read_bytes()
    assert (runtime / "data/notes.txt").read_bytes() == b"notes"
    assert not list(runtime.rglob("*.portable-new"))


def test_the_lock_is_released_before_the_failure_box(wine, packed_game, tmp_path):
    folder = tmp_path / "Portable Game"
    good = Game(wine, portable(packed_game, folder), tmp_path)
    # A copy whose package fails after the lock is taken: its game's stream is not a stream.
    broken = portable(LAUNCHER, folder, "broken.exe")
    attach(wine, broken, image(entry("LOMARVesperon.exe", b"MZ", stored=b"\x0a\x51\xe5\xc0" + bytes(30))), tmp_path)
    failing = wine.start(broken, answer_box=False)
    try:
        assert _wait_for(lambda: "box-text" in failing.said()), failing.said()
        assert good.run(exit_code=4).exit == 4
    finally:
        failing.kill()


def test_a_lock_name_held_by_another_kind_of_object_cannot_be_locked(wine, packed_game, tmp_path):
    folder = tmp_path / "Portable Game"
    game = Game(wine, portable(packed_game, folder), tmp_path)
    digest = hashlib.sha256(windows_path(folder).lower().encode("utf-16-le")).hexdigest()
    release = tmp_path / "release-event"
    holder = wine.spawn(TESTKIT, "hold-event", f"Local\\LOMARPortable-{digest}", windows_path(release))
    try:
        assert _wait_for(lambda: "holding" in holder.said()), holder.said()
        outcome = game.run("--extract-only")
        assert outcome.exit == 1
        [line] = outcome.stderr_lines
        assert line.startswith("LOMAR portable: Cannot lock this portable game folder (Windows error ")
        assert not (folder / ".lomar-runtime").exists()
    finally:
        release.write_text("go")
        holder.wait()


def _private_memory(exe_name):
    """Anonymous resident memory of the running Windows process started from exe_name (its Linux process)."""
    for proc in pathlib.Path("/proc").iterdir():
        try:
            argv0 = (proc / "cmdline").read_bytes().split(b"\0")[0].decode("utf-8", "replace")
            if argv0.endswith("\\" + exe_name):
                status = (proc / "status").read_text()
                return int(next(l for l in status.splitlines() if l.startswith("RssAnon:")).split()[1]) * 1024
        except (OSError, StopIteration):
            continue
    return None


def test_the_package_is_mapped_not_copied_so_a_larger_one_costs_no_private_memory(wine, tmp_path):
    """Wine maps an image lazily only when every section lies on a 4096-byte file offset; otherwise it reads
    the whole image, package included, into private memory at every start."""
    held = {}
    for size in (0, 64):
        files = {"LOMARVesperon.exe": FAKE_GAME.read_bytes(), "data/big.pak": random.Random(size).randbytes(size << 20)}
        source = write_game(tmp_path / f"source-{size}", files)
        folder = tmp_path / f"Game {size}"
        folder.mkdir()
        exe = folder / f"portable-{size}.exe"
        assert build(source, exe, "--level", "fast").returncode == 0
        game = Game(wine, exe, tmp_path)
        assert wine.launch(exe, "--extract-only").exit == 0
        hold = tmp_path / f"release-{size}"
        running = wine.start(exe, env=game.env(hold=hold))
        try:
            assert _wait_for(game.report.exists), running.said()
            held[size] = _private_memory(exe.name)
        finally:
            hold.write_text("go")
        assert running.outcome().exit == 0
    assert held[0] and held[64], held
    assert held[64] - held[0] < 16 << 20, held


def test_a_game_that_cannot_be_started_is_reported(wine, tmp_path):
    source = write_game(tmp_path / "source", {"LOMARVesperon.exe": b"MZ but no program"})
    (tmp_path / "Portable Game").mkdir()
    exe = tmp_path / "Portable Game" / "game.exe"
    assert build(source, exe, "--level", "fast").returncode == 0
    outcome = wine.launch(exe)
    assert outcome.exit == 1
    [line] = outcome.stderr_lines
    assert line.startswith("LOMAR portable: Cannot launch the portable game (Windows error ") and line.endswith(").")
    assert [text for _, text in outcome.boxes] == [line.removeprefix("LOMAR portable: ")]
