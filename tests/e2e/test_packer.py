"""lomar-pack as a distributor's pipeline runs it: the game folder in, one portable executable out."""
import os
import pathlib
import shutil
import signal
import struct
import subprocess
import time

import pefile
import pytest

from conftest import LAUNCHER, WINDOWS_BIN, windows_path
from packer import PACK, build, digests, game_exe, pack, sample_files, tree, write_game

RT_RCDATA, RT_ICON, RT_GROUP_ICON = 10, 3, 14


def resources(path) -> dict:
    """(type, name, language) -> bytes of every resource, read by pefile."""
    pe = pefile.PE(str(path))
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name in kind.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                key = (kind.id if kind.id is not None else str(kind.name),
                       name.id if name.id is not None else str(name.name), language.id)
                found[key] = pe.get_data(data.OffsetToData, data.Size)
    pe.close()
    return found


@pytest.fixture(scope="module")
def packed(tmp_path_factory):
    """The sample game with a file of tens of MiB, packed once for the tests that only read."""
    root = tmp_path_factory.mktemp("packed")
    files = sample_files(big_mib=24)
    game = write_game(root / "game", files)
    out = root / "out" / "Vesperon.exe"
    out.parent.mkdir()
    result = build(game, out)
    assert result.returncode == 0, result.stderr
    return files, game, out, result


def test_build_writes_one_executable_and_says_so(packed):
    files, _, out, result = packed
    assert result.stderr == ""  # no progress when standard error is not a terminal
    assert f"{len(files)} files" in result.stdout and str(out) in result.stdout
    assert sorted(p.name for p in out.parent.iterdir()) == ["Vesperon.exe"]
    assert os.access(out, os.X_OK)


def test_list_shows_every_entry_in_package_order_with_sizes_and_digests(packed):
    files, _, out, _ = packed
    result = pack("list", out)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    listed = [line.split(None, 3) for line in lines[:-1]]
    assert [name for *_, name in listed] == sorted(files, key=str.lower)
    expected = digests(files)
    for unpacked, stored, digest, name in listed:
        assert int(unpacked) == len(files[name]) and digest == expected[name]
        # An empty file stores nothing; anything else at most its stream header and block count more.
        assert int(stored) <= int(unpacked) + 28 and (int(stored) == 0) == (int(unpacked) == 0)
    assert int(lines[-1].split()[0]) == sum(map(len, files.values())) and "total" in lines[-1]


def test_verify_and_extract_give_back_the_same_files(packed, tmp_path):
    files, _, out, _ = packed
    result = pack("verify", out)
    assert result.returncode == 0 and result.stderr == "", result.stderr
    assert pack("extract", out, tmp_path / "x").returncode == 0
    assert {str(p.relative_to(tmp_path / "x")): p.read_bytes()
            for p in (tmp_path / "x").rglob("*") if p.is_file()} == files


def test_the_executable_keeps_every_stub_resource_and_carries_the_package(packed, tmp_path):
    _, _, out, _ = packed
    stub, packed_resources = resources(LAUNCHER), resources(out)
    assert {k: v for k, v in packed_resources.items() if k[:2] != (RT_RCDATA, 101)} == stub
    assert (RT_RCDATA, 101, 0) in packed_resources
    # The resource is exactly the package that `extract` reads from a bare package file too.
    bare = tmp_path / "game.lompkg"
    bare.write_bytes(packed_resources[(RT_RCDATA, 101, 0)])
    assert bare.read_bytes()[:8] == b"LOMPKG01"
    assert pack("list", bare).stdout == pack("list", out).stdout.replace(str(out), str(bare))


def test_the_executable_is_a_well_formed_image_wine_can_map(packed):
    _, _, out, _ = packed
    pe = pefile.PE(str(out))
    assert pe.OPTIONAL_HEADER.CheckSum == pe.generate_checksum()
    for section in pe.sections:
        if section.SizeOfRawData:
            assert section.PointerToRawData % 4096 == 0, section.Name
    last = pe.sections[-1]
    assert pe.OPTIONAL_HEADER.SizeOfImage == last.VirtualAddress + (
        -(-last.Misc_VirtualSize // pe.OPTIONAL_HEADER.SectionAlignment) * pe.OPTIONAL_HEADER.SectionAlignment)
    assert os.path.getsize(out) == last.PointerToRawData + last.SizeOfRawData
    pe.close()


def test_the_packed_game_runs_under_wine_and_accepts_its_package(packed, wine, tmp_path):
    _, _, out, _ = packed
    folder = tmp_path / "Portable Game"
    folder.mkdir()
    shutil.copy(out, folder / "Vesperon.exe")
    outcome = wine.launch(folder / "Vesperon.exe", "--extract-only")
    assert (outcome.exit, outcome.stderr_lines, outcome.boxes) == (0, [], [])


def test_packing_is_reproducible_whatever_the_threads_times_and_listing_order(tmp_path):
    files = sample_files(big_mib=3)
    first = write_game(tmp_path / "a", files)
    # The same files written in the opposite order, with other times: another listing order on disk.
    second = write_game(tmp_path / "b", dict(reversed(list(files.items()))))
    for i, path in enumerate(sorted(second.rglob("*"))):
        os.utime(path, ns=(i * 10**9, i * 10**9))
    outputs = []
    for game, threads in ((first, "1"), (first, "2"), (second, "2"), (second, "3")):
        out = tmp_path / f"out-{game.name}-{threads}.exe"
        assert build(game, out, "--threads", threads).returncode == 0
        outputs.append(out.read_bytes())
    assert all(o == outputs[0] for o in outputs)


def test_packing_a_packed_executable_again_replaces_its_package(tmp_path):
    old = write_game(tmp_path / "old", {"LOMARVesperon.exe": game_exe(b"old") * 5000})
    new = write_game(tmp_path / "new", {"LOMARVesperon.exe": game_exe(b"new"), "b.txt": b"b"})
    assert build(old, tmp_path / "old.exe", "--level", "fast").returncode == 0
    assert build(new, tmp_path / "again.exe", launcher=tmp_path / "old.exe").returncode == 0
    assert build(new, tmp_path / "fresh.exe").returncode == 0
    assert (tmp_path / "again.exe").read_bytes() == (tmp_path / "fresh.exe").read_bytes()


def test_the_icon_replaces_the_stubs_icon_group(tmp_path):
    ico = (pathlib.Path(__file__).resolve().parents[2] / "launcher/launcher.ico").read_bytes()
    # The same images under a directory that lists only the first two.
    count = 2
    entries = ico[6:6 + 16 * count]
    images = [ico[struct.unpack_from("<I", entries, 16 * i + 12)[0]:][:struct.unpack_from("<I", entries, 16 * i + 8)[0]]
              for i in range(count)]
    directory = bytearray(struct.pack("<HHH", 0, 1, count))
    offset = 6 + 16 * count
    for i in range(count):
        directory += entries[16 * i:16 * i + 8] + struct.pack("<II", len(images[i]), offset)
        offset += len(images[i])
    (tmp_path / "game.ico").write_bytes(bytes(directory) + b"".join(images))
    game = write_game(tmp_path / "game", {"LOMARVesperon.exe": game_exe()})
    result = build(game, tmp_path / "out.exe", "--icon", tmp_path / "game.ico")
    assert result.returncode == 0, result.stderr
    found = resources(tmp_path / "out.exe")
    icons = {k: v for k, v in found.items() if k[0] == RT_ICON}
    assert sorted(icons.values()) == sorted(images)
    groups = [v for k, v in found.items() if k[0] == RT_GROUP_ICON]
    assert len(groups) == 1 and struct.unpack_from("<HHH", groups[0]) == (0, 1, count)


def _signed_copy_of_the_stub(path):
    data = bytearray(LAUNCHER.read_bytes())
    pe = pefile.PE(data=bytes(data))
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[4]
    certificate = struct.pack("<IHH", 16, 0x200, 2) + bytes(8)
    security_offset = security.get_file_offset()
    pe.close()
    struct.pack_into("<II", data, security_offset, len(data), len(certificate))
    path.write_bytes(bytes(data) + certificate)
    return path


# Each refusal: exit 1, one line on standard error that names the file (both files where two collide),
# nothing written beside the output, and the game folder as it was.
REFUSALS = [
    ("device-name", {"docs/CON.txt": b"x"}, ["game/docs/CON.txt", "Reserved portable filename."]),
    ("trailing-dot", {"notes.": b"x"}, ["game/notes.", "Unsafe portable file path."]),
    ("trailing-space", {"notes ": b"x"}, ["game/notes ", "Unsafe portable file path."]),
    ("colon", {"a:b.txt": b"x"}, ["game/a:b.txt", "Unsafe portable file path."]),
    ("backslash", {"a\\b.txt": b"x"}, ["game/a\\b.txt", "Unsafe portable file path."]),
    ("case", {"Data.pak": b"1", "data.PAK": b"2"}, ["game/Data.pak and", "game/data.PAK", "letter case"]),
    ("sigma", {"\u03c3.txt": b"1", "\u03c2.txt": b"2"}, ["game/\u03c2.txt and game/\u03c3.txt", "capital"]),
    ("micro", {"\u00b5.dat": b"1", "\u03bc.dat": b"2"}, ["game/\u00b5.dat and game/\u03bc.dat", "capital"]),
    ("file-and-folder", {"Maps": b"1", "maps/a.map": b"2"}, ["game/Maps and game/maps/a.map", "folder"]),
    ("device-then-spaces", {"con .txt": b"x"}, ["game/con .txt", "Windows 10"]),
    ("no-game", None, ["game", "LOMARVesperon.exe"]),
    ("game-in-subfolder", None, ["LOMARVesperon.exe"]),
    ("invalid-utf8", {b"bad\xff.txt": b"x"}, ["game/bad", "UTF-8"]),
]


@pytest.mark.parametrize("case, files, said", REFUSALS, ids=[r[0] for r in REFUSALS])
def test_a_game_the_launcher_or_windows_would_not_take_is_refused(tmp_path, case, files, said):
    if case == "no-game":
        content = {"game.exe": b"MZ"}
    elif case == "game-in-subfolder":
        content = {"bin/LOMARVesperon.exe": game_exe()}
    else:
        content = {"LOMARVesperon.exe": game_exe(), **files}
    _expect_refusal(tmp_path, write_game(tmp_path / "game", content), said)


def _expect_refusal(tmp_path, game, said, *more, launcher=LAUNCHER):
    before = tree(game)
    (tmp_path / "out").mkdir()
    # The game folder named as a pipeline would, relative to where the packer runs.
    result = build(game.relative_to(tmp_path), tmp_path / "out" / "game.exe", *more, launcher=launcher, cwd=tmp_path)
    assert result.returncode == 1, (result.returncode, result.stderr)
    lines = result.stderr.splitlines()
    assert len(lines) == 1 and lines[0].startswith("lomar-pack: "), result.stderr
    for part in said:
        assert part in lines[0], lines[0]
    assert list((tmp_path / "out").iterdir()) == []
    assert tree(game) == before


def _many_files(game):
    for i in range(4096):
        (game / f"f{i}").write_bytes(b"")


def _long_name(game):
    folder = game
    for i in range(8):
        folder = folder / (chr(ord("a") + i) * 250)
    folder.mkdir(parents=True)
    (folder / ("z" * 41)).write_bytes(b"x")  # 8 * 251 + 41 = 2049 bytes


def _too_big(game):
    with open(game / "huge.pak", "wb") as f:
        f.truncate(0x20000000)  # sparse: never read, the sizes alone are refused


def _link_to_file(game):
    (game / "link.dll").symlink_to(game / "LOMARVesperon.exe")


def _link_to_folder(game):
    (game / "real").mkdir()
    (game / "real" / "a").write_bytes(b"a")
    (game / "linked").symlink_to(game / "real")


def _pipe(game):
    os.mkfifo(game / "pipe")


@pytest.mark.parametrize("make, said", [
    (_many_files, ["game: holds 4097 files", "4096"]),
    (_long_name, ["2049 bytes", "2048"]),
    (_too_big, ["game: its files add up to", "512 MiB"]),
    (_link_to_file, ["game/link.dll", "symbolic link"]),
    (_link_to_folder, ["game/linked", "symbolic link"]),
    (_pipe, ["game/pipe", "not a regular file"]),
], ids=["4097-files", "long-name", "over-512-MiB", "link-to-file", "link-to-folder", "pipe"])
def test_limits_and_what_is_not_a_file_are_refused(tmp_path, make, said):
    game = write_game(tmp_path / "game", {"LOMARVesperon.exe": game_exe()})
    make(game)
    _expect_refusal(tmp_path, game, said)


@pytest.mark.parametrize("stub, said", [
    ("signed", ["stub.exe", "signature", "sign"]),
    ("text", ["stub.exe", "not a Windows executable"]),
    ("missing", ["stub.exe"]),
    ("bad-icon", ["game.ico"]),
])
def test_a_stub_or_icon_that_cannot_be_used_is_refused(tmp_path, stub, said):
    game = write_game(tmp_path / "game", {"LOMARVesperon.exe": game_exe()})
    path = tmp_path / "stub.exe"
    more = []
    if stub == "signed":
        _signed_copy_of_the_stub(path)
    elif stub == "text":
        path.write_text("not a program")
    elif stub == "bad-icon":
        path = LAUNCHER
        (tmp_path / "game.ico").write_bytes(b"\0\0\1\0\1\0" + bytes(16))
        more = ["--icon", tmp_path / "game.ico"]
    _expect_refusal(tmp_path, game, said, *more, launcher=path)


@pytest.mark.parametrize("args", [
    [], ["bogus"], ["build"], ["build", "game"], ["build", "game", "--launcher", "x.exe"],
    ["build", "game", "--launcher", "x", "--output", "y", "--level", "best"],
    ["build", "game", "--launcher", "x", "--output", "y", "--threads", "0"],
    ["build", "game", "--launcher", "x", "--output", "y", "--colour"],
    ["build", "game", "--launcher"], ["list"], ["list", "a", "b"], ["verify"], ["extract", "a"],
    ["extract", "a", "b", "--forse"],
])
def test_misuse_exits_2_with_a_one_line_hint(tmp_path, args):
    result = pack(*args, cwd=tmp_path)
    assert result.returncode == 2, (args, result.stderr)
    assert len(result.stderr.splitlines()) == 1 and "--help" in result.stderr
    assert result.stdout == "" and list(tmp_path.iterdir()) == []


@pytest.mark.parametrize("args", [["--help"], ["-h"], ["build", "--help"], ["list", "--help"],
                                  ["verify", "-h"], ["extract", "--help"]])
def test_help_answers_with_exit_0(args):
    result = pack(*args)
    assert result.returncode == 0 and result.stderr == ""
    assert result.stdout.startswith("usage: lomar-pack")


def test_list_verify_and_extract_refuse_what_is_no_packed_game(tmp_path):
    (tmp_path / "notes.txt").write_text("hello")
    cases = [(tmp_path / "notes.txt", "neither"), (LAUNCHER, "carries no game package"), (tmp_path / "none", "none")]
    for path, said in cases:
        for command in (["list", path], ["verify", path], ["extract", path, tmp_path / "x"]):
            result = pack(*command)
            assert result.returncode == 1 and said in result.stderr and str(path) in result.stderr, command
    assert not (tmp_path / "x").exists()


def test_verify_gives_the_launchers_message_for_a_damaged_entry(packed, tmp_path):
    _, _, out, _ = packed
    data = bytearray(out.read_bytes())
    listing = pack("list", out).stdout.splitlines()
    # Damage the last byte of the largest entry's stream: it no longer decodes, or not to its digest.
    package = data.index(b"LOMPKG01")
    name = "assets/big.pak"
    at = data.index(name.encode(), package) + len(name)
    stored = next(int(line.split()[1]) for line in listing if line.endswith(name))
    data[at + stored // 2] ^= 0x55
    bad = tmp_path / "bad.exe"
    bad.write_bytes(bytes(data))
    result = pack("verify", bad)
    assert result.returncode == 1
    assert f"{bad}: {name}: " in result.stderr
    assert ("Cannot unpack the portable game. Download it again if this persists (Windows error 605)." in result.stderr
            or "A portable file failed verification. Download the executable again." in result.stderr)
    result = pack("extract", bad, tmp_path / "x")
    assert result.returncode == 1 and not (tmp_path / "x" / name).exists()


def test_extract_never_writes_through_a_link_or_over_a_file_unless_forced(packed, tmp_path):
    _, _, out, _ = packed
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    target = tmp_path / "x"
    target.mkdir()
    (target / "data").symlink_to(elsewhere)
    result = pack("extract", out, target)
    assert result.returncode == 1 and "x/data" in result.stderr and "link" in result.stderr
    assert list(elsewhere.iterdir()) == [] and sorted(p.name for p in target.iterdir()) == ["data"]
    (target / "data").unlink()
    (target / "readme.txt").write_bytes(b"mine")
    result = pack("extract", out, target)
    assert result.returncode == 1 and "readme.txt" in result.stderr and "--force" in result.stderr
    assert sorted(p.name for p in target.iterdir()) == ["readme.txt"]
    assert pack("extract", out, target, "--force").returncode == 0
    assert (target / "readme.txt").read_bytes() == b"LOMAR Vesperon\r\n"


@pytest.fixture(scope="module")
def large_game(tmp_path_factory):
    root = tmp_path_factory.mktemp("large")
    chunk = os.urandom(32 << 20)
    return write_game(root / "game", {"LOMARVesperon.exe": game_exe(), **{f"part{i}.bin": chunk[i:] + chunk[:i]
                                                                          for i in range(6)}})


@pytest.mark.parametrize("when", ["compressing", "writing"])
def test_an_interrupted_build_leaves_nothing_behind(large_game, tmp_path, when):
    out = tmp_path / "out"
    out.mkdir()
    (out / "game.exe").write_bytes(b"the previous build")
    proc = subprocess.Popen([PACK, "build", large_game, "--launcher", LAUNCHER, "--output", out / "game.exe"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if when == "compressing":
        time.sleep(0.3)
    else:
        deadline = time.time() + 120
        while not any(p.name.startswith("game.exe.lomar-partial") for p in out.iterdir()):
            assert proc.poll() is None and time.time() < deadline, "the output was never being written"
    proc.send_signal(signal.SIGINT)
    assert proc.wait(timeout=60) == -signal.SIGINT  # ended by the signal, not finished before it
    assert [p.name for p in out.iterdir()] == ["game.exe"]
    assert (out / "game.exe").read_bytes() == b"the previous build"


def test_the_windows_packer_interrupted_while_writing_leaves_nothing_and_says_so(large_game, wine, tmp_path):
    # Wine turns SIGINT into the console's Ctrl+C, handled on a thread of its own while the file is open.
    out = tmp_path / "out"
    out.mkdir()
    (out / "game.exe").write_bytes(b"the previous build")
    running = wine.spawn(WINDOWS_BIN / "lomar-pack.exe", "build", windows_path(large_game), "--launcher",
                         windows_path(LAUNCHER), "--output", windows_path(out / "game.exe"))
    deadline = time.time() + 300
    while not any(p.name.startswith("game.exe.lomar-partial") for p in out.iterdir()):
        assert running.proc.poll() is None and time.time() < deadline, "the output was never being written"
    running.proc.send_signal(signal.SIGINT)
    status, _, _ = running.wait(60)
    assert status == 0xC000013A & 0xFF  # STATUS_CONTROL_C_EXIT, as Linux sees it: not success
    assert [p.name for p in out.iterdir()] == ["game.exe"]
    assert (out / "game.exe").read_bytes() == b"the previous build"


def test_progress_is_shown_only_on_a_terminal(tmp_path):
    import pty
    game = write_game(tmp_path / "game", sample_files(big_mib=2))
    primary, secondary = pty.openpty()
    proc = subprocess.Popen([PACK, "build", game, "--launcher", LAUNCHER, "--output", tmp_path / "game.exe"],
                            stdout=subprocess.DEVNULL, stderr=secondary, stdin=subprocess.DEVNULL)
    os.close(secondary)
    seen = b""
    while True:
        try:
            chunk = os.read(primary, 4096)
        except OSError:
            break
        if not chunk:
            break
        seen += chunk
    assert proc.wait(timeout=300) == 0
    os.close(primary)
    assert b"packing" in seen and b"8/8 files" in seen and b"MB/s" in seen


def test_signing_after_packing_as_the_readme_shows_keeps_it_readable_and_runnable(packed, wine, tmp_path):
    _, _, out, _ = packed
    key, cert, pfx = tmp_path / "key.pem", tmp_path / "cert.pem", tmp_path / "publisher.pfx"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "2", "-subj", "/CN=LOMAR test publisher"], check=True, capture_output=True)
    (tmp_path / "pfx-password.txt").write_text("secret")
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", pfx, "-passout",
                    "pass:secret"], check=True, capture_output=True)
    signed = tmp_path / "Portable Game" / "signed.exe"
    signed.parent.mkdir()
    subprocess.run(["osslsigncode", "sign", "-pkcs12", pfx, "-readpass", tmp_path / "pfx-password.txt",
                    "-n", "LOMAR Vesperon", "-h", "sha256", "-in", out, "-out", signed], check=True,
                   capture_output=True)
    assert pefile.PE(str(signed)).OPTIONAL_HEADER.DATA_DIRECTORY[4].Size > 0
    verified = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed], capture_output=True, text=True)
    assert verified.returncode == 0, verified.stdout + verified.stderr
    assert pack("verify", signed).returncode == 0
    assert pack("list", signed).stdout == pack("list", out).stdout.replace(str(out), str(signed))
    outcome = wine.launch(signed, "--extract-only")
    assert (outcome.exit, outcome.stderr_lines) == (0, [])
    # Packing needs the unsigned stub: a signed one is refused.
    game = write_game(tmp_path / "game", {"LOMARVesperon.exe": game_exe()})
    result = build(game, tmp_path / "again.exe", launcher=signed)
    assert result.returncode == 1 and "sign" in result.stderr and not (tmp_path / "again.exe").exists()


def test_the_windows_packer_under_wine_writes_the_same_bytes(wine, tmp_path):
    game = write_game(tmp_path / "game", sample_files(big_mib=1))
    assert build(game, tmp_path / "linux.exe").returncode == 0
    status, _, err = wine.run(WINDOWS_BIN / "lomar-pack.exe", "build", windows_path(game), "--launcher",
                              windows_path(LAUNCHER), "--output", windows_path(tmp_path / "windows.exe"), timeout=600)
    assert status == 0, err
    assert (tmp_path / "windows.exe").read_bytes() == (tmp_path / "linux.exe").read_bytes()
    status, out, err = wine.run(WINDOWS_BIN / "lomar-pack.exe", "verify", windows_path(tmp_path / "linux.exe"))
    assert status == 0, err
