"""The runtime folder as the real launcher prepares it under Wine: written where missing or different,
left alone where right, never through a redirection, never half-written."""
import os
import random
import shutil
import signal
import subprocess
import time

import pytest

from conftest import CAPTION, TESTKIT, windows_path
from package_image import entry, image
from packer import build, game_exe, write_game
from test_package_checks import attach

TITLE = "LOMAR Vesperon - preparing portable game"
CANCELLED = "Portable preparation was cancelled."
REDIRECTED = "The portable runtime contains a redirected path. Move the game to a regular writable folder."
STANDARD = ("Cannot prepare the portable game. Check available disk space and move the executable to a writable "
            "folder.")
VERIFICATION = "A portable file failed verification. Download the executable again."
UNPACK = "Cannot unpack the portable game. Download it again if this persists"


LETTERS = bytes.maketrans(bytes(range(256)), b"abc " * 64)


def files_of(seed=1, count=6, size=3000):
    rng = random.Random(seed)
    files = {"LOMARVesperon.exe": game_exe(b"%d" % seed), "readme.txt": b"read me\r\n", "empty.cfg": b"",
             "fonts/Vesper Sans.ttf": rng.randbytes(size),
             "lang/\u65e5\u672c\u8a9e.txt": "\u65e5\u672c".encode() * 50}
    for i in range(count):
        files[f"data/maps/m{i}.map"] = rng.randbytes(size).translate(LETTERS)
    return files


def portable(tmp_path, files, name="LOMAR-portable.exe", folder="Portable Game"):
    """The game packed with the real packer into a fresh folder."""
    game = write_game(tmp_path / "source", files)
    where = tmp_path / folder
    where.mkdir(parents=True, exist_ok=True)
    result = build(game, where / name, "--level", "fast")
    assert result.returncode == 0, result.stderr
    shutil.rmtree(game)
    return where / name


def runtime_files(folder):
    root = folder / ".lomar-runtime"
    return {str(p.relative_to(root)): p.read_bytes() for p in root.rglob("*") if p.is_file()}


def snapshot(folder):
    """What a run that writes, moves or deletes nothing leaves unchanged."""
    return {str(p.relative_to(folder)): (s.st_size, s.st_mtime_ns, s.st_ctime_ns, s.st_ino)
            for p in sorted(folder.rglob("*")) for s in [os.lstat(p)]}


def test_a_fresh_folder_gets_every_file_and_a_second_run_touches_nothing(wine, tmp_path):
    files = files_of()
    exe = portable(tmp_path, files)
    outcome = wine.launch(exe, "--extract-only")
    assert (outcome.exit, outcome.stderr_lines, outcome.boxes, outcome.windows) == (0, [], [], [])
    assert runtime_files(exe.parent) == files
    assert not list(exe.parent.rglob("*.portable-new"))
    before = snapshot(exe.parent)
    assert wine.launch(exe, "--extract-only").exit == 0
    assert snapshot(exe.parent) == before


def test_digests_taken_by_another_sha256_agree_cold_and_warm(wine, game_dir, tmp_path):
    """A package whose digests are hashlib's, as a package made before the launcher hashed on the processor
    has them: the first run verifies and writes every file, the second finds every file up to date."""
    rng = random.Random(5)
    files = {"LOMARVesperon.exe": game_exe(b"hashlib")}
    for length in (0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 129, 4095, 4096, 4097, 3 << 20, (5 << 20) + 7):
        files[f"data/f{length:08d}.bin"] = rng.randbytes(length)
    exe = game_dir / "LOMAR-portable.exe"
    attach(wine, exe, image(*(entry(name, content) for name, content in sorted(files.items()))), tmp_path)
    outcome = wine.launch(exe, "--extract-only")
    assert (outcome.exit, outcome.stderr_lines) == (0, [])
    assert runtime_files(game_dir) == files
    before = snapshot(game_dir)
    assert wine.launch(exe, "--extract-only").exit == 0
    assert snapshot(game_dir) == before


def test_changed_cut_and_missing_files_are_repaired_and_nothing_else_is_touched(wine, tmp_path):
    files = files_of()
    exe = portable(tmp_path, files)
    runtime = exe.parent / ".lomar-runtime"
    assert wine.launch(exe, "--extract-only").exit == 0
    changed = bytearray(files["fonts/Vesper Sans.ttf"])
    changed[100] ^= 1
    (runtime / "fonts/Vesper Sans.ttf").write_bytes(bytes(changed))
    (runtime / "readme.txt").write_bytes(files["readme.txt"][:-1])
    (runtime / "data/maps/m3.map").unlink()
    # What the package does not name, and a staging file beside an entry that is up to date.
    (runtime / "saves").mkdir()
    (runtime / "saves/slot1.sav").write_bytes(b"progress")
    (runtime / "settings.ini").write_bytes(b"volume=3")
    (runtime / "data/maps/m1.map.portable-new").write_bytes(b"left over")
    # A leftover staging file of an entry that must be written again.
    (runtime / "readme.txt.portable-new").write_bytes(b"half")
    kept = {name: snapshot(exe.parent)[name] for name in (".lomar-runtime/saves/slot1.sav",
                                                          ".lomar-runtime/settings.ini",
                                                          ".lomar-runtime/data/maps/m1.map.portable-new",
                                                          ".lomar-runtime/data/maps/m0.map")}
    assert wine.launch(exe, "--extract-only").exit == 0
    found = runtime_files(exe.parent)
    assert found.pop("saves/slot1.sav") == b"progress" and found.pop("settings.ini") == b"volume=3"
    assert found.pop("data/maps/m1.map.portable-new") == b"left over"
    assert found == files
    after = snapshot(exe.parent)
    assert {name: after[name] for name in kept} == kept


def test_a_file_named_like_the_runtime_folder_gives_the_fixed_text(wine, tmp_path):
    exe = portable(tmp_path, files_of())
    (exe.parent / ".lomar-runtime").write_bytes(b"not a folder")
    outcome = wine.launch(exe, "--extract-only")
    assert (outcome.exit, outcome.stderr_lines) == (1, [f"LOMAR portable: {STANDARD}"])
    assert (exe.parent / ".lomar-runtime").read_bytes() == b"not a folder"


def test_a_file_that_cannot_be_examined_is_reported_not_rewritten(wine, tmp_path):
    exe = portable(tmp_path, files_of())
    (exe.parent / ".lomar-runtime").mkdir()
    loop = exe.parent / ".lomar-runtime" / "readme.txt"
    loop.symlink_to("readme.txt")  # a link to itself: Windows error 1921 when asked about it
    outcome = wine.launch(exe, "--extract-only")
    assert (outcome.exit, outcome.stderr_lines) == (1, [f"LOMAR portable: {STANDARD}"])
    assert loop.is_symlink() and os.readlink(loop) == "readme.txt"
    assert not (exe.parent / ".lomar-runtime" / "readme.txt.portable-new").exists()


def test_a_folder_where_a_file_belongs_cannot_be_replaced(wine, tmp_path):
    exe = portable(tmp_path, files_of())
    (exe.parent / ".lomar-runtime/readme.txt").mkdir(parents=True)
    outcome = wine.launch(exe, "--extract-only")
    assert outcome.exit == 1
    [line] = outcome.stderr_lines
    assert line.startswith("LOMAR portable: Cannot update the portable runtime. Close the game and retry (Windows "
                           "error ") and line.endswith(").")
    assert (exe.parent / ".lomar-runtime/readme.txt").is_dir()
    assert (exe.parent / ".lomar-runtime/readme.txt.portable-new").read_bytes() == b"read me\r\n"


@pytest.mark.parametrize("where", ["data", ".lomar-runtime", ".lomar-runtime/data/maps"])
def test_a_linked_folder_stops_the_run_before_anything_inside_is_touched(wine, tmp_path, where):
    exe = portable(tmp_path, files_of())
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    (elsewhere / "keep.txt").write_bytes(b"mine")
    link = exe.parent / where
    link.parent.mkdir(parents=True, exist_ok=True)
    link.symlink_to(elsewhere, target_is_directory=True)
    before = snapshot(elsewhere)
    outcome = wine.launch(exe, "--extract-only")
    assert (outcome.exit, outcome.stderr_lines) == (1, [f"LOMAR portable: {REDIRECTED}"])
    assert snapshot(elsewhere) == before
    if where == "data":
        assert not (exe.parent / ".lomar-runtime").exists()


def test_a_link_at_a_staging_path_stops_the_run(wine, tmp_path):
    exe = portable(tmp_path, files_of())
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    (exe.parent / ".lomar-runtime").mkdir()
    (exe.parent / ".lomar-runtime/readme.txt.portable-new").symlink_to(elsewhere, target_is_directory=True)
    outcome = wine.launch(exe, "--extract-only")
    assert (outcome.exit, outcome.stderr_lines) == (1, [f"LOMAR portable: {REDIRECTED}"])
    assert list(elsewhere.iterdir()) == [] and not (exe.parent / ".lomar-runtime/readme.txt").exists()


def test_a_launcher_whose_own_folder_is_reached_through_a_link_runs_normally(wine, tmp_path):
    files = files_of()
    exe = portable(tmp_path, files, folder="real")
    (tmp_path / "linked").symlink_to(tmp_path / "real", target_is_directory=True)
    outcome = wine.launch(tmp_path / "linked" / exe.name, "--extract-only")
    assert (outcome.exit, outcome.stderr_lines) == (0, [])
    assert runtime_files(exe.parent) == files


def _stream(tmp_path, content: bytes) -> bytes:
    from packer import NATIVE_BIN
    (tmp_path / "plain").write_bytes(content)
    subprocess.run([NATIVE_BIN / "lomar-xpress", "compress", tmp_path / "plain", tmp_path / "stream", "--level",
                    "fast"], check=True, timeout=120)
    return (tmp_path / "stream").read_bytes()


@pytest.mark.parametrize("case", ["corrupt", "fewer", "more", "digest", "empty-with-bytes"])
def test_a_bad_entry_ends_the_run_with_its_message(wine, game_dir, tmp_path, case):
    content = bytes(random.Random(4).choice(b"ab") for _ in range(20000))
    stream = _stream(tmp_path, content)
    if case == "corrupt":
        bad = entry("LOMARVesperon.exe", content, stored=stream[:40] + bytes(b ^ 0x5A for b in stream[40:80]) + stream[80:])
    elif case == "fewer":
        bad = entry("LOMARVesperon.exe", content + b"!", stored=stream)
    elif case == "more":
        bad = entry("LOMARVesperon.exe", content[:-1], stored=stream)
    elif case == "digest":
        bad = entry("LOMARVesperon.exe", content, stored=stream, digest=bytes(32))
    else:
        bad = entry("LOMARVesperon.exe", b"", stored=stream, unpacked=0)
    exe = game_dir / "LOMAR-portable.exe"
    attach(wine, exe, image(entry("a.txt", b"", stored=b""), bad), tmp_path)
    outcome = wine.launch(exe, "--extract-only")
    expected = {"corrupt": f"{UNPACK} (Windows error 605).", "fewer": VERIFICATION,
                "more": f"{UNPACK} (Windows error 122).", "digest": VERIFICATION,
                "empty-with-bytes": "Invalid empty portable file."}[case]
    assert (outcome.exit, outcome.stderr_lines) == (1, [f"LOMAR portable: {expected}"])
    # The entry before it is in place; the bad one is not.
    assert runtime_files(game_dir) == {"a.txt": b""}


def test_killed_while_writing_a_large_entry_leaves_old_or_new_files_never_partial(wine, tmp_path):
    rng = random.Random(8)
    old = {"LOMARVesperon.exe": game_exe(b"old"), "big.pak": rng.randbytes(1 << 20) * 48}
    new = {"LOMARVesperon.exe": game_exe(b"new"), "big.pak": old["big.pak"][::-1]}
    exe = portable(tmp_path, old)
    assert wine.launch(exe, "--extract-only").exit == 0
    exe.unlink()
    portable(tmp_path, new)
    for delay in (0.3, 0.8, 1.5, 2.5):
        proc = subprocess.Popen(["wine", exe, "--extract-only"], env=wine.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        time.sleep(delay)
        proc.send_signal(signal.SIGKILL)
        proc.wait(timeout=60)
        for name, content in runtime_files(exe.parent).items():
            if not name.endswith(".portable-new"):
                assert content in (old[name], new[name]), (delay, name)
    assert wine.launch(exe, "--extract-only").exit == 0
    found = runtime_files(exe.parent)
    assert {k: v for k, v in found.items() if not k.endswith(".portable-new")} == new


def test_the_progress_window_advances_and_closing_it_cancels(wine, tmp_path):
    # Closed by where the bar stands, not after a time: how long an entry takes depends on the machine.
    exe = portable(tmp_path, files_of(count=100, size=1 << 20))
    outcome = wine.launch(exe, close_window=TITLE, close_at_progress=30, watch_progress=True)
    assert outcome.windows == [TITLE] and outcome.closed == [TITLE]
    assert (outcome.exit, outcome.boxes) == (1, [(CAPTION, CANCELLED)])
    assert outcome.stderr_lines == [f"LOMAR portable: {CANCELLED}"]
    assert outcome.beside_boxes == []  # the window is gone before the box shows
    assert len(set(outcome.progress)) >= 2 and outcome.progress == sorted(outcome.progress)


def test_cancelling_keeps_the_entries_finished_so_far(wine, tmp_path):
    files = files_of(count=100, size=1 << 20)
    exe = portable(tmp_path, files)
    outcome = wine.launch(exe, close_window=TITLE, close_at_progress=1)
    assert (outcome.exit, outcome.boxes) == (1, [(CAPTION, CANCELLED)])
    found = runtime_files(exe.parent)
    assert 0 < len(found) < len(files)
    assert all(files[name] == content for name, content in found.items())


def test_without_a_display_the_normal_mode_fails_before_touching_the_disk(wine, tmp_path):
    files = files_of()
    exe = portable(tmp_path, files)
    outcome = wine.launch(exe, display=False)
    assert outcome.exit == 1
    [line] = outcome.stderr_lines
    assert line.startswith("LOMAR portable: Cannot show portable preparation progress (Windows error ")
    assert not (exe.parent / ".lomar-runtime").exists()
    assert wine.launch(exe, "--extract-only", display=False).exit == 0
    assert runtime_files(exe.parent) == files
