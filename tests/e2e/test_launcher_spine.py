"""The launcher's run as a whole: modes and exit codes."""
from conftest import CAPTION
from package_image import minimal
from test_package_checks import attach


def test_only_the_extract_only_mode_stops_before_the_game(wine, game_dir, tmp_path):
    exe = game_dir / "LOMAR-portable.exe"
    attach(wine, exe, minimal(), tmp_path)  # its game executable is no program
    outcome = wine.launch(exe, "--extract-only")
    assert (outcome.exit, outcome.boxes, outcome.stderr_lines) == (0, [], [])
    assert (game_dir / ".lomar-runtime" / "LOMARVesperon.exe").read_bytes() == b"MZ game"
    for args in ([], ["--EXTRACT-ONLY"], ["--extract-only", "more"]):
        outcome = wine.launch(exe, *args)
        assert outcome.exit == 1, args
        [(caption, text)] = outcome.boxes
        assert caption == CAPTION and text.startswith("Cannot launch the portable game (Windows error "), args
