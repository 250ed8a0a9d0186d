"""The embedded package as the launcher checks it before it touches anything."""
import pytest

from conftest import CAPTION, TESTKIT, windows_path
from package_image import entry, image, minimal

NO_PAYLOAD = "This launcher has no game payload. Use the packaged portable executable."


def attach(wine, exe, data: bytes, tmp_path):
    blob = tmp_path / "package.bin"
    blob.write_bytes(data)
    status, _, err = wine.run(TESTKIT, "set-resource", windows_path(exe), windows_path(blob))
    assert status == 0, err


def test_a_launcher_without_a_package_says_so_in_a_box_and_on_standard_error(wine, game_dir):
    outcome = wine.launch(game_dir / "LOMAR-portable.exe")
    assert outcome.exit == 1
    assert outcome.boxes == [(CAPTION, NO_PAYLOAD)]
    assert outcome.stderr_lines == [f"LOMAR portable: {NO_PAYLOAD}"]


def test_extract_only_reports_on_standard_error_alone(wine, game_dir):
    outcome = wine.launch(game_dir / "LOMAR-portable.exe", "--extract-only")
    assert outcome.exit == 1
    assert outcome.boxes == []
    assert outcome.stderr_lines == [f"LOMAR portable: {NO_PAYLOAD}"]


@pytest.mark.parametrize("data, message", [
    (b"LOMPKG01\x01\x00", "Invalid portable package size."),
    (image(entry("LOMARVesperon.exe", b"x"), magic=b"LOMPKG02"), "Unsupported portable package format."),
    (image(count=0), "Invalid portable package file count."),
    (image(entry("LOMARVesperon.exe", b"x"), count=2), "The portable package is truncated. Download it again."),
    (image(entry("LOMARVesperon.exe", b"x"))[:-1], "The portable package is truncated. Download it again."),
    (image(entry("LOMARVesperon.exe", b"x"), entry("a", b"", unpacked=0x20000000)),
     "Invalid portable package entry size."),
    (image(entry(b"bad\xffname", b"x")), "The portable package contains an invalid filename."),
    (image(entry("../LOMARVesperon.exe", b"x")), "Unsafe portable file path."),
    (image(entry("/LOMARVesperon.exe", b"x")), "Invalid portable file path."),
    (image(entry("LOMARVesperon.exe", b"x"), entry("fonts/CON.ttf", b"x")), "Reserved portable filename."),
    (image(entry("LOMARVesperon.exe", b"x"), entry("lomarvesperon.EXE", b"y")), "Duplicate portable filename."),
    (image(entry("bin/LOMARVesperon.exe", b"x")), "Incomplete portable package."),
    (minimal() + b"\0", "Incomplete portable package."),
], ids=["size", "magic", "count", "missing-entry", "cut-stored-bytes", "total-size", "utf8", "dot-dot",
        "rooted", "device", "duplicate", "exe-in-subfolder", "trailing-byte"])
def test_a_malformed_package_is_refused_with_its_message(wine, game_dir, tmp_path, data, message):
    exe = game_dir / "LOMAR-portable.exe"
    attach(wine, exe, data, tmp_path)
    outcome = wine.launch(exe, "--extract-only")
    assert (outcome.exit, outcome.stderr_lines) == (1, [f"LOMAR portable: {message}"])
    assert outcome.boxes == []
    assert sorted(p.name for p in game_dir.iterdir()) == ["LOMAR-portable.exe"]


def test_a_refused_package_is_shown_in_a_box_in_the_normal_mode(wine, game_dir, tmp_path):
    exe = game_dir / "LOMAR-portable.exe"
    attach(wine, exe, image(entry("a.txt", b"x")), tmp_path)
    outcome = wine.launch(exe, "some", "arguments")
    assert outcome.exit == 1
    assert outcome.boxes == [(CAPTION, "Incomplete portable package.")]


def test_a_well_formed_package_passes_the_checks(wine, game_dir, tmp_path):
    exe = game_dir / "LOMAR-portable.exe"
    attach(wine, exe, image(entry("LOMARVesperon.exe", b"MZ"), entry("fonts/Vesper Sans.ttf", b"font"),
                            entry("readme.txt", b"")), tmp_path)
    outcome = wine.launch(exe, "--extract-only")
    assert (outcome.exit, outcome.stderr_lines, outcome.boxes) == (0, [], [])
