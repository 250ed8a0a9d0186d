"""The Windows build of the project's SHA-256, every engine the processor runs under Wine, against hashlib."""
import pathlib
import sys

from conftest import WINDOWS_BIN, windows_path

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tools"))
from test_sha256 import sample_files  # noqa: E402

TOOL = WINDOWS_BIN / "lomar-sha256-files.exe"


def test_every_engine_agrees_with_hashlib_under_wine(wine, tmp_path):
    files = sample_files(tmp_path, 29)
    status, out, err = wine.run(TOOL, "engines")
    assert status == 0, err
    engines = out.split()
    assert {"portable", "fastest"} <= set(engines)
    for engine in engines:
        status, out, err = wine.run(TOOL, engine, *(windows_path(tmp_path / name) for name in sorted(files)),
                                    timeout=300)
        assert status == 0, err
        got = {line.split(" ", 1)[1].rsplit("\\", 1)[1]: line.split(" ", 1)[0] for line in out.splitlines()}
        assert got == files, engine
