"""lomar-pack in a distributor's build pipeline: leaving files out, reading results as JSON, the output's
digest, and what an update costs the players."""
import hashlib
import json
import os
import socket

import pefile
import pytest

from conftest import LAUNCHER, WINDOWS_BIN, windows_path
from packer import build, digests, game_exe, pack, sample_files, tree, write_game


def as_json(result) -> dict:
    """The one document a --json run prints: standard output must hold it and nothing else."""
    assert result.returncode == 0, result.stderr
    assert result.stderr == ""
    return json.loads(result.stdout)


def stored_order(names):
    return sorted(names, key=str.lower)


def sha256_of(path) -> str:
    return hashlib.sha256(path.read_bytes()).hexdigest()


# What a game folder carries that players must not get, and the patterns that leave it out.
SHIPPED = {
    "LOMARVesperon.exe": game_exe(),
    "data/maps/level 1.map": b"map one",
    "data/cache.txt": b"kept: only tools/**/cache goes",
    "tools/editor.cfg": b"editor",
    "\u00e9t\u00e9/readme.txt": b"summer",
}
LEFT_OUT = {
    "LOMARVesperon.pdb": b"symbols",
    "data/Physics.PDB": b"symbols, capital extension",
    "data/deep/er/shader.pdb": b"symbols, deep",
    ".git/config": b"[core]",
    ".git/objects/ab/cdef": b"blob",
    "tools/cache/blob": b"cache at the top of tools",
    "tools/a/b/cache/blob": b"cache deeper",
    "\u00c9T\u00c9/notes.txt": b"left out by its capitals",
}
PATTERNS = [".git", "**/*.pdb", "tools/**/cache", "\u00e9t\u00e9/notes.txt"]


def _things_no_package_can_hold(folder, monkeypatch):
    """A link, a socket, a pipe and names the launcher refuses, none of which may fail a build that leaves
    them out."""
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "link").symlink_to("/etc")
    (folder / "folder-link").symlink_to(folder.parent)
    os.mkfifo(folder / "pipe")
    monkeypatch.chdir(folder)  # a socket's path must be short
    listening = socket.socket(socket.AF_UNIX)
    listening.bind("sock")
    listening.close()
    for name in (b"bad\xff", b"CON", b"a:b", b"trailing."):
        (folder / os.fsdecode(name)).write_bytes(b"x")


def test_excluded_files_and_folders_are_left_out_unread(tmp_path, monkeypatch):
    game = write_game(tmp_path / "game", {**SHIPPED, **LEFT_OUT})
    _things_no_package_can_hold(game / ".git" / "hooks", monkeypatch)
    _things_no_package_can_hold(game / "tools" / "x" / "cache", monkeypatch)
    os.mkfifo(game / "debug.pdb")  # matched itself, at a level that is walked: never opened
    out = tmp_path / "out.exe"
    more = [arg for pattern in PATTERNS for arg in ("--exclude", pattern)]
    report = as_json(build(game, out, *more, "--json"))
    listed = as_json(pack("list", out, "--json"))
    assert [f["name"] for f in listed["files"]] == stored_order(SHIPPED)
    assert report["options"]["exclude"] == PATTERNS
    # Folders left out as a whole, files one by one; a folder's contents are not listed, never having been read.
    assert report["excluded"] == sorted([".git", "LOMARVesperon.pdb", "data/Physics.PDB", "data/deep/er/shader.pdb",
                                         "debug.pdb", "tools/a/b/cache", "tools/cache", "tools/x/cache",
                                         "\u00c9T\u00c9/notes.txt"])
    assert pack("verify", out).returncode == 0


@pytest.mark.parametrize("pattern", ["*.PDB", "GAME.pdb", "Data/**", "\u03a9mega.txt", "DOCS"])
def test_patterns_ignore_letter_case_as_windows_does(tmp_path, pattern):
    files = {"LOMARVesperon.exe": game_exe(), "game.pdb": b"p", "data/a.bin": b"a", "\u03c9mega.txt": b"o",
             "docs/manual.txt": b"m", "keep.txt": b"k"}
    gone = {"*.PDB": {"game.pdb"}, "GAME.pdb": {"game.pdb"}, "Data/**": {"data/a.bin"},
            "\u03a9mega.txt": {"\u03c9mega.txt"}, "DOCS": {"docs/manual.txt"}}[pattern]
    game = write_game(tmp_path / "game", files)
    out = tmp_path / "out.exe"
    assert build(game, out, "--exclude", pattern).returncode == 0
    names = [f["name"] for f in as_json(pack("list", out, "--json"))["files"]]
    assert names == stored_order(set(files) - gone)


@pytest.mark.parametrize("pattern", ["LOMARVesperon.exe", "lomarvesperon.EXE", "*.exe", "**", "*", "**/*.exe"])
def test_leaving_out_the_game_executable_is_refused_before_anything_is_read(tmp_path, pattern):
    game = write_game(tmp_path / "game", {"LOMARVesperon.exe": game_exe()})
    before = tree(game)
    (tmp_path / "out").mkdir()
    # A stub that does not exist: had it been read first, the failure would be another (exit 1).
    result = build(game, tmp_path / "out" / "game.exe", "--exclude", "**/*.pdb", "--exclude", pattern,
                   launcher=tmp_path / "no-stub.exe")
    assert result.returncode == 2, result.stderr
    lines = result.stderr.splitlines()
    assert len(lines) == 1 and f'"{pattern}"' in lines[0] and "LOMARVesperon.exe" in lines[0], result.stderr
    assert result.stdout == "" and list((tmp_path / "out").iterdir()) == [] and tree(game) == before


@pytest.mark.parametrize("args", [
    ["--exclude", ""], ["--exclude", "tools\\cache"], ["--exclude", "/abs"], ["--exclude", "a//b"],
    ["--exclude", "../up"], ["--exclude"], ["--json=yes"],
])
def test_malformed_patterns_and_flags_are_misuse(tmp_path, args):
    result = pack("build", "game", "--launcher", "x.exe", "--output", "out.exe", *args, cwd=tmp_path)
    assert result.returncode == 2, result.stderr
    assert len(result.stderr.splitlines()) == 1 and "--help" in result.stderr
    assert result.stdout == "" and list(tmp_path.iterdir()) == []


@pytest.fixture(scope="module")
def built(tmp_path_factory):
    """The sample game with a file of a few MiB, built once with --json and once for a person."""
    root = tmp_path_factory.mktemp("built")
    files = sample_files(big_mib=3)
    game = write_game(root / "game", files)
    out, human = root / "Vesperon \"json\".exe", root / "human.exe"
    options = ("--level", "fast", "--blocks", "split")
    return files, out, build(game, out, "--json", *options), human, build(game, human, *options)


def test_build_json_reports_every_entry_and_the_output_as_it_is_on_disk(built):
    files, out, result, _, _ = built
    report = as_json(result)
    expected = digests(files)
    assert [f["name"] for f in report["files"]] == stored_order(files)
    for entry in report["files"]:
        assert entry["size"] == len(files[entry["name"]]) and entry["sha256"] == expected[entry["name"]]
        assert (entry["storedSize"] == 0) == (entry["size"] == 0)
    assert report["totals"]["files"] == len(files)
    assert report["totals"]["size"] == sum(map(len, files.values()))
    assert report["totals"]["storedSize"] == sum(f["storedSize"] for f in report["files"])
    assert report["totals"]["packageSize"] > report["totals"]["storedSize"]
    # The path exactly as given, quotes and all, and the figures of the file the build left there.
    assert report["output"] == {"path": str(out), "size": out.stat().st_size, "sha256": sha256_of(out)}
    assert report["options"] == {"level": "fast", "blocks": "split", "exclude": []}
    assert report["excluded"] == []


def test_list_json_gives_the_same_entries_and_the_files_own_figures(built):
    _, out, result, _, _ = built
    report = as_json(result)
    listed = as_json(pack("list", out, "--json"))
    assert listed["files"] == report["files"] and listed["totals"] == report["totals"]
    assert listed["file"] == report["output"]
    # The human listing is unchanged and tells the same story.
    lines = pack("list", out).stdout.splitlines()
    assert [line.split(None, 3) for line in lines[:-1]] == [
        [str(f["size"]), str(f["storedSize"]), f["sha256"], f["name"]] for f in listed["files"]]


def test_build_ends_with_the_outputs_sha256_for_a_person(built):
    files, _, _, human, result = built
    assert result.returncode == 0 and result.stderr == ""
    summary, digest_line = result.stdout.splitlines()
    assert summary.startswith(f"{human}: {len(files)} files, ")
    assert digest_line == f"sha256 {sha256_of(human)}  {human}"


def test_json_runs_that_fail_print_one_line_and_no_document(tmp_path):
    (tmp_path / "notes.txt").write_text("hello")
    game = write_game(tmp_path / "game", {"LOMARVesperon.exe": game_exe(), "CON": b"x"})
    for result in (pack("list", tmp_path / "notes.txt", "--json"), build(game, tmp_path / "o.exe", "--json")):
        assert result.returncode == 1 and result.stdout == ""
        assert len(result.stderr.splitlines()) == 1 and result.stderr.startswith("lomar-pack: ")


# Two builds of one game: one file changed (and grown), one added, one removed, one renamed in letter case
# only, the rest as they were.
UNCHANGED = {
    "LOMARVesperon.exe": game_exe(b"1.0"),
    "fonts/sans.ttf": bytes(range(256)) * 40,
    "lang/\u65e5\u672c\u8a9e.txt": "\u3053\u3093\u306b\u3061\u306f".encode() * 10,
}
OLD_GAME = {**UNCHANGED, "data/world.pak": b"world 1.0 " * 3000, "data/retired.pak": b"retired " * 500,
            "Readme.txt": b"LOMAR Vesperon\r\n"}
NEW_GAME = {**UNCHANGED, "data/world.pak": b"world 1.1 " * 3500, "data/dlc.pak": b"new content " * 700,
            "README.TXT": OLD_GAME["Readme.txt"]}


@pytest.fixture(scope="module")
def two_builds(tmp_path_factory):
    root = tmp_path_factory.mktemp("updates")
    paths = []
    for name, files in (("old", OLD_GAME), ("new", NEW_GAME)):
        out = root / f"{name}.exe"
        assert build(write_game(root / name, files), out, "--level", "fast").returncode == 0
        paths.append(out)
    return paths


def test_diff_says_what_changed_and_what_the_update_unpacks(two_builds):
    old, new = two_builds
    result = pack("diff", old, new)
    assert result.returncode == 0 and result.stderr == "", result.stderr
    *lines, summary = result.stdout.splitlines()
    assert [line.split(None, 2) for line in lines] == [
        ["added", str(len(NEW_GAME["data/dlc.pak"])), "data/dlc.pak"],
        ["removed", str(len(OLD_GAME["data/retired.pak"])), "data/retired.pak"],
        ["changed", str(len(NEW_GAME["data/world.pak"])),
         f"data/world.pak (was {len(OLD_GAME['data/world.pak'])} bytes)"],
        ["renamed", "16", "README.TXT (was Readme.txt; letter case only, nothing to unpack)"],
    ]
    cost = len(NEW_GAME["data/dlc.pak"]) + len(NEW_GAME["data/world.pak"])
    assert summary == (f"1 added, 1 removed, 1 changed, 4 unchanged; a player who has run {old} unpacks 2 files, "
                       f"{cost} bytes when {new} starts")


def test_diff_json_gives_the_same_figures(two_builds):
    old, new = two_builds
    report = as_json(pack("diff", old, new, "--json"))
    assert report["old"] == {"path": str(old), "size": old.stat().st_size, "sha256": sha256_of(old)}
    assert report["new"] == {"path": str(new), "size": new.stat().st_size, "sha256": sha256_of(new)}
    old_digests, new_digests = digests(OLD_GAME), digests(NEW_GAME)
    assert report["added"] == [{"name": "data/dlc.pak", "size": len(NEW_GAME["data/dlc.pak"]),
                                "sha256": new_digests["data/dlc.pak"]}]
    assert report["removed"] == [{"name": "data/retired.pak", "size": len(OLD_GAME["data/retired.pak"]),
                                  "sha256": old_digests["data/retired.pak"]}]
    assert report["changed"] == [{"name": "data/world.pak", "oldName": "data/world.pak",
                                  "size": len(NEW_GAME["data/world.pak"]), "oldSize": len(OLD_GAME["data/world.pak"]),
                                  "sha256": new_digests["data/world.pak"], "oldSha256": old_digests["data/world.pak"]}]
    assert report["renamed"] == [{"name": "README.TXT", "oldName": "Readme.txt", "size": 16,
                                  "sha256": new_digests["README.TXT"]}]
    assert report["summary"] == {"added": 1, "removed": 1, "changed": 1, "unchanged": 4, "renamed": 1,
                                 "unpackFiles": 2,
                                 "unpackBytes": len(NEW_GAME["data/dlc.pak"]) + len(NEW_GAME["data/world.pak"])}
    # Going back costs what the old build holds that the new one does not.
    back = as_json(pack("diff", new, old, "--json"))["summary"]
    assert (back["added"], back["removed"], back["unpackBytes"]) == (
        1, 1, len(OLD_GAME["data/retired.pak"]) + len(OLD_GAME["data/world.pak"]))


def test_diff_of_a_build_against_itself_or_its_bare_package_costs_nothing(two_builds, tmp_path):
    _, new = two_builds
    pe = pefile.PE(str(new))
    data = next(language.data.struct for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries if kind.id == 10
                for name in kind.directory.entries if name.id == 101 for language in name.directory.entries)
    bare = tmp_path / "new.lompkg"
    bare.write_bytes(pe.get_data(data.OffsetToData, data.Size))
    pe.close()
    for other in (new, bare):
        summary = as_json(pack("diff", new, other, "--json"))["summary"]
        assert summary == {"added": 0, "removed": 0, "changed": 0, "unchanged": len(NEW_GAME), "renamed": 0,
                           "unpackFiles": 0, "unpackBytes": 0}


def test_diff_refuses_what_is_no_packed_game_with_verifys_message(two_builds, tmp_path):
    old, _ = two_builds
    (tmp_path / "notes.txt").write_text("hello")
    for bad in (tmp_path / "notes.txt", LAUNCHER, tmp_path / "missing.exe"):
        said = pack("verify", bad)
        assert said.returncode == 1
        for args in ((old, bad), (bad, old), (bad, old, "--json")):
            result = pack("diff", *args)
            assert (result.returncode, result.stdout, result.stderr) == (1, "", said.stderr), args


@pytest.mark.parametrize("args", [["diff"], ["diff", "a"], ["diff", "a", "b", "c"], ["diff", "a", "b", "--full"],
                                  ["list", "a", "--json=1"]])
def test_diff_misuse_exits_2(tmp_path, args):
    result = pack(*args, cwd=tmp_path)
    assert result.returncode == 2 and len(result.stderr.splitlines()) == 1 and "--help" in result.stderr
    assert result.stdout == ""


def test_diff_help_answers():
    result = pack("diff", "--help")
    assert result.returncode == 0 and result.stdout.startswith("usage: lomar-pack diff OLD NEW")
    assert "diff OLD NEW" in pack("--help").stdout and "--exclude GLOB" in pack("build", "--help").stdout


def test_the_windows_packer_under_wine_excludes_and_reports_alike(wine, tmp_path):
    game = write_game(tmp_path / "game", {**SHIPPED, **LEFT_OUT})
    (game / ".git" / "linked").symlink_to(game / "data")  # a reparse point under Wine, in a folder never listed
    more = [arg for pattern in PATTERNS for arg in ("--exclude", pattern)]
    linux = as_json(build(game, tmp_path / "linux.exe", *more, "--json"))
    status, out, err = wine.run(WINDOWS_BIN / "lomar-pack.exe", "build", windows_path(game), "--launcher",
                                windows_path(LAUNCHER), "--output", windows_path(tmp_path / "windows.exe"), *more,
                                "--json", timeout=600)
    assert status == 0, err
    windows = json.loads(out)
    assert (tmp_path / "windows.exe").read_bytes() == (tmp_path / "linux.exe").read_bytes()
    assert windows["output"]["sha256"] == linux["output"]["sha256"] == sha256_of(tmp_path / "linux.exe")
    assert windows["files"] == linux["files"] and windows["excluded"] == linux["excluded"]
