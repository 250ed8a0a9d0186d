"""The launcher's run as a whole: modes, exit codes, how failures reach the user."""


def test_both_modes_end_with_the_exit_code_of_the_run(wine, game_dir):
    for args in (["--extract-only"], []):
        outcome = wine.launch(game_dir / "LOMAR-portable.exe", *args)
        assert outcome.exit == 0, outcome
        assert outcome.boxes == []
        assert outcome.stderr_lines == []
