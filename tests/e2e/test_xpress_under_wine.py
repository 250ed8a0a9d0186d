"""The Windows build of lomar-xpress writes and reads the same streams as the Linux one."""
import random
import subprocess

from conftest import NATIVE_BIN, WINDOWS_BIN, windows_path


def test_windows_and_linux_builds_write_identical_streams(wine, tmp_path):
    rng = random.Random(11)
    data = b"".join(rng.choice([b"LOMAR ", b"Vesperon ", bytes([rng.getrandbits(8)])]) for _ in range(200000))
    source = tmp_path / "in.bin"
    source.write_bytes(data)
    status, _, err = wine.run(WINDOWS_BIN / "lomar-xpress.exe", "compress", windows_path(source),
                              windows_path(tmp_path / "win.xp"), timeout=300)
    assert status == 0, err
    subprocess.run([NATIVE_BIN / "lomar-xpress", "compress", source, tmp_path / "linux.xp"], check=True, timeout=300)
    assert (tmp_path / "win.xp").read_bytes() == (tmp_path / "linux.xp").read_bytes()
    status, _, err = wine.run(WINDOWS_BIN / "lomar-xpress.exe", "decompress", windows_path(tmp_path / "linux.xp"),
                              windows_path(tmp_path / "back.bin"), timeout=300)
    assert status == 0, err
    assert (tmp_path / "back.bin").read_bytes() == data
