"""lomar-xpress as a distributor's pipeline runs it: files in, files out, exit codes."""
import os
import pathlib
import random
import re
import subprocess
import zlib

import pytest

BIN = pathlib.Path(os.environ.get("LOMAR_NATIVE_BIN", pathlib.Path(__file__).resolve().parents[2] / "build/native/bin"))
TOOL = BIN / "lomar-xpress"


def xpress(*args):
    return subprocess.run([str(TOOL), *map(str, args)], capture_output=True, text=True, timeout=300)


@pytest.fixture(scope="module")
def content():
    rng = random.Random(7)
    words = [bytes(rng.choice(b"abcdefghij") for _ in range(rng.randint(2, 9))) for _ in range(300)]
    text = b" ".join(rng.choice(words) for _ in range(60000))
    return text + bytes(rng.getrandbits(8) for _ in range(70000)) + bytes(140000)


@pytest.mark.parametrize("level", ["fast", "max"])
def test_compress_then_decompress_gives_the_input_back(tmp_path, content, level):
    (tmp_path / "in").write_bytes(content)
    assert xpress("compress", tmp_path / "in", tmp_path / "s", "--level", level).returncode == 0
    stream = (tmp_path / "s").read_bytes()
    assert stream[:4] == bytes.fromhex("0A51E5C0") and stream[7] == 4
    assert int.from_bytes(stream[8:16], "little") == len(content)
    assert stream[6] == zlib.crc32(stream[:6] + stream[7:24]) & 0xFF
    assert len(stream) < len(content) // 2
    assert xpress("decompress", tmp_path / "s", tmp_path / "out").returncode == 0
    assert (tmp_path / "out").read_bytes() == content


def test_output_does_not_depend_on_the_thread_count(tmp_path, content):
    (tmp_path / "in").write_bytes(content * 8)  # several segments
    for threads in (1, 2, 3):
        assert xpress("compress", tmp_path / "in", tmp_path / f"s{threads}", "--threads", threads).returncode == 0
    assert (tmp_path / "s1").read_bytes() == (tmp_path / "s2").read_bytes() == (tmp_path / "s3").read_bytes()


@pytest.mark.parametrize("blocks, expected", [(None, 1), ("platform", 1), ("split", 6)])
def test_block_layouts_both_decode(tmp_path, content, blocks, expected):
    (tmp_path / "in").write_bytes(content * 30)  # about 17 MB: one block, or six of at most 4 MiB
    option = ["--blocks", blocks] if blocks else []
    assert xpress("compress", tmp_path / "in", tmp_path / "s", "--level", "fast", *option).returncode == 0
    info = xpress("info", tmp_path / "s").stdout
    assert sum(1 for line in info.splitlines() if line.endswith(("raw", "LZ77+Huffman"))) == expected
    assert xpress("decompress", tmp_path / "s", tmp_path / "out").returncode == 0
    assert (tmp_path / "out").read_bytes() == (tmp_path / "in").read_bytes()


def test_a_corrupt_stream_exits_1_and_leaves_no_output(tmp_path, content):
    (tmp_path / "in").write_bytes(content)
    xpress("compress", tmp_path / "in", tmp_path / "s")
    stream = bytearray((tmp_path / "s").read_bytes())
    for cut in (stream[:len(stream) // 2], stream[:23]):
        (tmp_path / "bad").write_bytes(cut)
        result = xpress("decompress", tmp_path / "bad", tmp_path / "out")
        assert result.returncode == 1 and "corrupt" in result.stderr
        assert not (tmp_path / "out").exists()
        assert [p.name for p in tmp_path.iterdir() if p.name.startswith("out")] == []


def test_info_lists_the_header_and_blocks(tmp_path, content):
    (tmp_path / "in").write_bytes(content)
    xpress("compress", tmp_path / "in", tmp_path / "s")
    result = xpress("info", tmp_path / "s")
    assert result.returncode == 0
    assert f"unpacked size: {len(content)}" in result.stdout
    assert "checksum" in result.stdout and "matches" in result.stdout


def test_misuse_is_answered_with_usage_and_a_nonzero_exit(tmp_path):
    assert "usage: lomar-xpress" in xpress("--help").stdout + xpress("--help").stderr
    for args in (["bogus"], ["compress", tmp_path / "missing", tmp_path / "s"], ["compress"],
                 ["compress", tmp_path / "missing", tmp_path / "s", "--blocks", "huge"]):
        result = xpress(*args)
        assert result.returncode != 0 and result.stderr.strip(), args
    assert not (tmp_path / "s").exists()


def test_version_is_the_projects():
    root = pathlib.Path(__file__).resolve().parents[2]
    version = re.search(r"^project\(lomar VERSION ([0-9.]+)", (root / "CMakeLists.txt").read_text(), re.MULTILINE)
    result = xpress("--version")
    assert (result.returncode, result.stdout, result.stderr) == (0, f"lomar-xpress {version.group(1)}\n", "")
    assert "--version" in xpress("--help").stdout
