"""Version information: the project's in the tools and the stub, the game's own in the packed executable,
read back by pefile and by Windows' own version calls under Wine."""
import re
import shutil

import pefile
import pytest

from conftest import LAUNCHER, ROOT, TESTKIT, WINDOWS_BIN, windows_path
from packer import build, game_exe, pack, sample_files, tree, write_game

PROJECT_VERSION = re.search(r"^project\(lomar VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text(),
                            re.MULTILINE).group(1)
RT_VERSION = 16

GIVEN = {
    "--product-name": ("ProductName", "LOMAR Vesperon"),
    "--product-version": ("ProductVersion", "1.4.2"),
    "--file-version": ("FileVersion", "1.4.2.77"),
    "--company": ("CompanyName", "LOMAR \u03a9\u03bc\u03ad\u03b3\u03b1 \u65e5\u672c"),
    "--description": ("FileDescription", "Vesperon, a game of lights"),
    "--copyright": ("LegalCopyright", "\u00a9 2025 LOMAR. All rights reserved."),
    "--original-filename": ("OriginalFilename", "LOMAR Vesperon.exe"),
}


def numbers(*parts):
    parts = [int(p) for p in parts] + [0] * (4 - len(parts))
    return parts[0] << 16 | parts[1], parts[2] << 16 | parts[3]


def read_version(path):
    """(file MS, LS, product MS, LS), {table key: {name: value}}, [translations] as pefile reads them."""
    pe = pefile.PE(str(path))
    try:
        fixed = pe.VS_FIXEDFILEINFO[0]
        fixed_numbers = (fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS, fixed.ProductVersionLS)
        tables, translations = {}, []
        for info in pe.FileInfo[0]:
            if info.Key == b"StringFileInfo":
                for table in info.StringTable:
                    tables[table.LangID.decode()] = {k.decode(): v.decode() for k, v in table.entries.items()}
            elif info.Key == b"VarFileInfo":
                translations += [var.entry for var in info.Var]
        return fixed_numbers, tables, translations
    finally:
        pe.close()


def windows_version(wine, path):
    """What GetFileVersionInfoW and VerQueryValueW read, through the test kit."""
    status, out, err = wine.run(TESTKIT, "version-info", windows_path(path))
    assert status == 0, err
    said = {"strings": {}}
    for line in out.splitlines():
        key, _, value = line.partition(": ")
        if key == "string":
            name, _, text = value.partition("=")
            said["strings"][name] = text
        else:
            said[key] = value
    return said


def version_resources(path):
    pe = pefile.PE(str(path))
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id == RT_VERSION:
            for name in kind.directory.entries:
                for language in name.directory.entries:
                    data = language.data.struct
                    found[(name.id, language.id)] = pe.get_data(data.OffsetToData, data.Size)
    pe.close()
    return found


@pytest.fixture(scope="module")
def stub_version():
    return read_version(LAUNCHER)


@pytest.fixture(scope="module")
def versioned(tmp_path_factory):
    """The sample game packed with every version option."""
    root = tmp_path_factory.mktemp("versioned")
    game = write_game(root / "game", sample_files())
    out = root / "Vesperon.exe"
    options = [part for option, (_, value) in GIVEN.items() for part in (option, value)]
    result = build(game, out, *options)
    assert result.returncode == 0, result.stderr
    return out


def test_the_packer_says_the_projects_version(wine):
    result = pack("--version")
    assert (result.returncode, result.stdout, result.stderr) == (0, f"lomar-pack {PROJECT_VERSION}\n", "")
    assert "--version" in pack("--help").stdout
    status, out, _ = wine.run(WINDOWS_BIN / "lomar-pack.exe", "--version")
    assert (status, out) == (0, f"lomar-pack {PROJECT_VERSION}\n")


def test_the_stub_carries_the_projects_version(wine, stub_version):
    fixed, tables, translations = stub_version
    parts = PROJECT_VERSION.split(".")
    assert fixed == numbers(*parts) * 2
    assert tables["040904B0"]["FileVersion"] == tables["040904B0"]["ProductVersion"] == PROJECT_VERSION
    assert translations == [{b"Translation": "0x0409 0x04b0"}]
    dotted = ".".join((parts + ["0"] * 4)[:4])
    said = windows_version(wine, LAUNCHER)
    assert (said["file-version"], said["product-version"]) == (dotted, dotted)
    assert said["strings"]["ProductVersion"] == PROJECT_VERSION


def test_every_option_reaches_the_packed_executable(versioned, stub_version):
    fixed, tables, translations = read_version(versioned)
    assert fixed == numbers(1, 4, 2, 77) + numbers(1, 4, 2)
    expected = dict(stub_version[1]["040904B0"])  # what no option names stays: InternalName
    expected.update(GIVEN.values())
    assert tables == {"040904B0": expected}
    assert translations == stub_version[2]
    # In place of the stub's, under its name and language.
    assert list(version_resources(versioned)) == list(version_resources(LAUNCHER)) == [(1, 0x0409)]


def test_windows_reads_the_packed_executables_version_as_given(versioned, wine, stub_version):
    said = windows_version(wine, versioned)
    assert (said["file-version"], said["product-version"]) == ("1.4.2.77", "1.4.2.0")
    assert said["translation"] == "040904b0"
    assert said["strings"] == {**stub_version[1]["040904B0"], **dict(GIVEN.values())}


def test_the_packed_executable_with_its_version_still_runs(versioned, wine, tmp_path):
    folder = tmp_path / "Portable Game"
    folder.mkdir()
    shutil.copy(versioned, folder / "Vesperon.exe")
    outcome = wine.launch(folder / "Vesperon.exe", "--extract-only")
    assert (outcome.exit, outcome.stderr_lines, outcome.boxes) == (0, [], [])
    assert (folder / ".lomar-runtime" / "LOMARVesperon.exe").read_bytes() == sample_files()["LOMARVesperon.exe"]


def test_what_is_not_given_keeps_the_stubs_value(tmp_path, stub_version):
    game = write_game(tmp_path / "game", {"LOMARVesperon.exe": game_exe()})
    out = tmp_path / "out.exe"
    result = build(game, out, "--product-name", "Vesperon", "--file-version", "2.1")
    assert result.returncode == 0, result.stderr
    fixed, tables, translations = read_version(out)
    stub_fixed, stub_tables, stub_translations = stub_version
    assert fixed == numbers(2, 1) + stub_fixed[2:]
    assert tables == {"040904B0": {**stub_tables["040904B0"], "ProductName": "Vesperon", "FileVersion": "2.1"}}
    assert translations == stub_translations


def test_packing_the_packed_executable_again_keeps_the_games_version(versioned, tmp_path):
    game = write_game(tmp_path / "game", {"LOMARVesperon.exe": game_exe(b"patched")})
    again = tmp_path / "again.exe"
    result = build(game, again, launcher=versioned)
    assert result.returncode == 0, result.stderr
    assert version_resources(again) == version_resources(versioned)
    # And changing one value of the packed game's keeps the rest of the game's, not the stub's.
    once_more = tmp_path / "once-more.exe"
    assert build(game, once_more, "--product-version", "1.5", launcher=versioned).returncode == 0
    fixed, tables, _ = read_version(once_more)
    assert fixed == numbers(1, 4, 2, 77) + numbers(1, 5)
    assert tables["040904B0"] == {**read_version(versioned)[1]["040904B0"], "ProductVersion": "1.5"}


@pytest.mark.parametrize("option", ["--file-version", "--product-version"])
@pytest.mark.parametrize("version", ["1..2", "1.4.x", "70000", "1.2.3.4.5", "", "1.", "-1", "1.2 beta"])
def test_a_malformed_version_is_misuse_and_writes_nothing(tmp_path, option, version):
    game = write_game(tmp_path / "game", {"LOMARVesperon.exe": game_exe()})
    (tmp_path / "out").mkdir()
    result = build(game, tmp_path / "out" / "game.exe", option, version)
    assert result.returncode == 2, result.stderr
    lines = result.stderr.splitlines()
    assert len(lines) == 1 and option in lines[0] and "--help" in lines[0] and f'"{version}"' in lines[0]
    assert result.stdout == "" and list((tmp_path / "out").iterdir()) == []


def _stub_with_version_type(path, new_type):
    """A copy of the stub whose RT_VERSION is filed under another resource type."""
    data = bytearray(LAUNCHER.read_bytes())
    pe = pefile.PE(data=bytes(data))
    [entry] = [kind for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries if kind.id == RT_VERSION]
    offset = entry.struct.get_file_offset()
    pe.close()
    data[offset:offset + 4] = new_type.to_bytes(4, "little")
    path.write_bytes(bytes(data))
    return path


def test_a_stub_without_version_information_gets_a_fresh_one(tmp_path, wine):
    stub = _stub_with_version_type(tmp_path / "stub.exe", 17)  # 17 still sorts between 14 and 24
    game = write_game(tmp_path / "game", {"LOMARVesperon.exe": game_exe()})
    out = tmp_path / "out.exe"
    result = build(game, out, "--product-name", "Vesperon", "--product-version", "3", launcher=stub)
    assert result.returncode == 0, result.stderr
    assert list(version_resources(out)) == [(1, 0x0409)]
    said = windows_version(wine, out)
    assert (said["file-version"], said["product-version"], said["translation"]) == ("0.0.0.0", "3.0.0.0", "040904b0")
    assert said["strings"] == {"ProductName": "Vesperon", "ProductVersion": "3"}


def test_a_malformed_stub_version_resource_is_refused_naming_the_stub(tmp_path):
    data = bytearray(LAUNCHER.read_bytes())
    at = data.index("VS_VERSION_INFO".encode("utf-16-le"))
    data[at:at + 2] = "W".encode("utf-16-le")
    stub = tmp_path / "stub.exe"
    stub.write_bytes(bytes(data))
    game = write_game(tmp_path / "game", {"LOMARVesperon.exe": game_exe()})
    before = tree(game)
    (tmp_path / "out").mkdir()
    result = build(game, tmp_path / "out" / "game.exe", "--company", "LOMAR", launcher=stub)
    assert result.returncode == 1
    lines = result.stderr.splitlines()
    assert len(lines) == 1 and lines[0].startswith(f"lomar-pack: {stub}: its version resource"), lines
    assert list((tmp_path / "out").iterdir()) == [] and tree(game) == before
    # Without version options the stub's resource is carried as it is, unread.
    assert build(game, tmp_path / "out" / "game.exe", launcher=stub).returncode == 0
    assert version_resources(tmp_path / "out" / "game.exe") == version_resources(stub)


def test_build_help_lists_the_version_options():
    said = pack("build", "--help").stdout
    assert all(option in said for option in GIVEN)
