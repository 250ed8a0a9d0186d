"""The project's SHA-256, every engine this processor runs, against Python's hashlib on Linux."""
import hashlib
import os
import pathlib
import random
import subprocess

BIN = pathlib.Path(os.environ.get("LOMAR_NATIVE_BIN", pathlib.Path(__file__).resolve().parents[2] / "build/native/bin"))
TOOL = BIN / "lomar-sha256-files"

# Around every padding boundary of the first blocks, then random lengths up to 4 MiB.
BOUNDARY_LENGTHS = [0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 121, 127, 128, 129, 191, 192, 193, 4095, 4096, 4097]


def sample_files(folder: pathlib.Path, seed: int):
    rng = random.Random(seed)
    lengths = BOUNDARY_LENGTHS + [rng.randrange(1 << 22) for _ in range(12)] + [rng.randrange(1 << 12) for _ in range(20)]
    files = {}
    for i, length in enumerate(lengths):
        path = folder / f"f{i:03d}-{length}.bin"
        path.write_bytes(rng.randbytes(length))
        files[path.name] = hashlib.sha256(path.read_bytes()).hexdigest()
    return files


def test_every_engine_agrees_with_hashlib(tmp_path):
    files = sample_files(tmp_path, 17)
    engines = subprocess.run([TOOL, "engines"], capture_output=True, text=True, check=True).stdout.split()
    assert {"portable", "fastest"} <= set(engines)
    for engine in engines:
        out = subprocess.run([TOOL, engine, *sorted(files)], cwd=tmp_path, capture_output=True, text=True,
                             check=True, timeout=300).stdout
        got = dict(reversed(line.split(" ", 1)) for line in out.splitlines())
        assert got == files, engine
