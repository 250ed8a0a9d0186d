"""The launcher's run as a whole: modes and exit codes."""
from package_image import minimal
from test_package_checks import attach


def test_both_modes_end_with_the_exit_code_of_the_run(wine, game_dir, tmp_path):
    exe = game_dir / "LOMAR-portable.exe"
    attach(wine, exe, minimal(), tmp_path)
    for args in (["--extract-only"], [], ["--EXTRACT-ONLY"], ["--extract-only", "more"]):
        outcome = wine.launch(exe, *args)
        assert (outcome.exit, outcome.boxes, outcome.stderr_lines) == (0, [], []), args
