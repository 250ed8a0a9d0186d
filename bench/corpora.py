"""The benchmarks' two game folders, written under build/bench when they are not there yet.

  game        the benchmark game (bench_game.py): shaped like the shipped runtime, half of its executable noise
  real-code   the real-code corpus (real_code_game.py): Wine's own 64-bit programs and DLLs, 49 files
"""
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]
WORK = ROOT / "build/bench"
WRITERS = {"game": "bench_game.py", "real-code": "real_code_game.py"}


def corpus(name: str) -> pathlib.Path:
    folder = WORK / name
    if not folder.exists():
        WORK.mkdir(parents=True, exist_ok=True)
        subprocess.run([sys.executable, ROOT / "bench" / WRITERS[name], folder], check=True)
    return folder


def chosen(argument: str | None) -> list[str]:
    """The corpora a --corpus argument names: one of them, or both when none is given."""
    if argument in (None, "both"):
        return list(WRITERS)
    if argument not in WRITERS:
        sys.exit(f"--corpus takes {', '.join(WRITERS)} or both, not {argument}")
    return [argument]
