"""The packages a distributor installs (the .deb, the tarball, the Windows zip), made from this build by cpack,
installed into scratch folders, and the installed packer packing a game with the stub installed beside it."""
import os
import pathlib
import re
import shutil
import subprocess
import zipfile

import pytest

from conftest import LAUNCHER, NATIVE_BIN, ROOT, WINDOWS_BIN, WINE_NOISE, windows_path
from packer import PACK, pack
from test_launch import packed_game  # noqa: F401 (a fixture: the stand-in game packed with the built stub)

VERSION = re.search(r"project\(lomar VERSION (\S+)", (ROOT / "CMakeLists.txt").read_text()).group(1)
EPOCH = "1700000000"
README = (ROOT / "README.md").read_bytes()
STUB = "lomar-launcher.exe"

# Every file each package holds, below its root: the programs, the stub where the packer looks for it, the
# README; nothing else (no test, benchmark or demo program).
EXPECTED = {
    "deb": {"usr/bin/lomar-pack", "usr/bin/lomar-xpress", f"usr/share/lomar/{STUB}",
            "usr/share/doc/lomar/README.md"},
    "tgz": {"bin/lomar-pack", "bin/lomar-xpress", f"share/lomar/{STUB}", "share/doc/lomar/README.md"},
    "zip": {"lomar-pack.exe", "lomar-xpress.exe", STUB, "README.md"},
}
PACKER = {"deb": "usr/bin/lomar-pack", "tgz": "bin/lomar-pack", "zip": "lomar-pack.exe"}
INSTALLED_STUB = {"deb": f"usr/share/lomar/{STUB}", "tgz": f"share/lomar/{STUB}", "zip": STUB}


def make_packages(out: pathlib.Path) -> dict:
    """cpack of the native build (the .deb and the tarball) and of the Windows build (the zip) into `out`."""
    env = dict(os.environ, SOURCE_DATE_EPOCH=EPOCH)
    for build_dir in (NATIVE_BIN.parent, WINDOWS_BIN.parent):
        result = subprocess.run(["cpack", "--config", build_dir / "CPackConfig.cmake", "-B", out], env=env,
                                capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=600)
        assert result.returncode == 0, result.stdout + result.stderr
    found = {kind: sorted(out.glob(pattern)) for kind, pattern in
             (("deb", "*.deb"), ("tgz", "*.tar.gz"), ("zip", "*.zip"))}
    assert all(len(paths) == 1 for paths in found.values()), found
    return {kind: paths[0] for kind, paths in found.items()}


def files_below(root: pathlib.Path) -> set:
    return {str(p.relative_to(root)) for p in root.rglob("*") if not p.is_dir()}


@pytest.fixture(scope="module")
def packages(tmp_path_factory):
    return make_packages(tmp_path_factory.mktemp("dist"))


@pytest.fixture(scope="module")
def installed(packages, tmp_path_factory):
    """Each package installed into a scratch root: the root that holds its files."""
    base = tmp_path_factory.mktemp("installed")
    subprocess.run(["dpkg-deb", "-x", packages["deb"], base / "deb"], check=True)
    (base / "tgz").mkdir()
    subprocess.run(["tar", "-xzf", packages["tgz"], "-C", base / "tgz"], check=True)
    with zipfile.ZipFile(packages["zip"]) as archive:
        archive.extractall(base / "zip")
    roots = {"deb": base / "deb"}
    for kind in ("tgz", "zip"):
        # An archive unpacks into one folder named for the package.
        (top,) = (base / kind).iterdir()
        assert top.name == f"lomar-{VERSION}-" + ("linux" if kind == "tgz" else "windows") + "-x86_64"
        roots[kind] = top
    return roots


@pytest.fixture(scope="module")
def game(packed_game):
    """The stand-in game's folder, and what the built packer made of it with the built stub named."""
    return packed_game.parent / "game", packed_game.read_bytes()


def run_packer(wine, kind, packer, *args):
    """The installed packer: natively, or lomar-pack.exe under Wine (paths given as Wine shows them)."""
    if kind == "zip":
        status, out, err = wine.run(packer, *(windows_path(a) if isinstance(a, pathlib.Path) else a for a in args))
        return status, out, [line for line in err.splitlines() if line and not line.startswith(WINE_NOISE)]
    result = subprocess.run([packer, *map(str, args)], capture_output=True, text=True, stdin=subprocess.DEVNULL,
                            timeout=300)
    return result.returncode, result.stdout, result.stderr.splitlines()


def shown(kind, path: pathlib.Path) -> str:
    return windows_path(path) if kind == "zip" else str(path)


@pytest.mark.parametrize("kind", ["deb", "tgz", "zip"])
def test_each_package_holds_the_programs_the_stub_and_the_readme_where_they_belong(installed, kind):
    root = installed[kind]
    assert files_below(root) == EXPECTED[kind]
    assert (root / INSTALLED_STUB[kind]).read_bytes() == LAUNCHER.read_bytes()
    readme = next(name for name in EXPECTED[kind] if name.endswith("README.md"))
    assert (root / readme).read_bytes() == README
    if kind == "zip":
        # As built: the Windows programs are linked without symbols, and nothing is changed on the way.
        for name in ("lomar-pack.exe", "lomar-xpress.exe"):
            assert (root / name).read_bytes() == (WINDOWS_BIN / name).read_bytes(), name
    else:
        for program in ("lomar-pack", "lomar-xpress"):
            path = root / PACKER[kind].replace("lomar-pack", program)
            assert os.access(path, os.X_OK), path
            # Stripped: no debug information, and so none of the build's paths.
            assert b".debug_info" not in path.read_bytes(), path
        assert not os.access(root / INSTALLED_STUB[kind], os.X_OK)


def test_the_native_packages_carry_the_same_programs(installed):
    for program in ("lomar-pack", "lomar-xpress"):
        assert (installed["deb"] / "usr/bin" / program).read_bytes() == \
            (installed["tgz"] / "bin" / program).read_bytes(), program


def test_the_deb_says_what_it_is_and_what_it_needs(packages):
    assert packages["deb"].name == f"lomar_{VERSION}_" + subprocess.run(
        ["dpkg", "--print-architecture"], capture_output=True, text=True, check=True).stdout.strip() + ".deb"
    fields = subprocess.run(["dpkg-deb", "-f", packages["deb"]], capture_output=True, text=True, check=True).stdout
    control = dict(re.findall(r"^(\S+): (.*)$", fields, re.M))
    assert control["Package"] == "lomar" and control["Version"] == VERSION
    assert control["Architecture"] == packages["deb"].name.rsplit("_", 1)[1][:-4]
    assert control["Section"] == "devel" and control["Priority"] == "optional"
    assert re.fullmatch(r".+ <[^@\s]+@[^@\s]+>", control["Maintainer"]), control["Maintainer"]
    # From dpkg-shlibdeps: the C and C++ runtimes the programs link, with versions.
    depends = [d.strip() for d in control["Depends"].split(",")]
    for library in ("libc6", "libstdc++6"):
        assert any(re.fullmatch(re.escape(library) + r" \(>= [\w.~+-]+\)", d) for d in depends), depends
    summary, *rest = fields[fields.index("Description: ") + len("Description: "):].splitlines()
    long = [line for line in rest[:next((i for i, l in enumerate(rest) if not l.startswith(" ")), len(rest))]]
    assert "portable Windows executable" in summary
    assert len(long) > 2 and all(len(line) <= 80 for line in long) and " ." in long, long


def test_packaging_again_gives_the_same_bytes(packages, tmp_path):
    again = make_packages(tmp_path / "again")
    for kind, path in packages.items():
        assert again[kind].name == path.name
        assert again[kind].read_bytes() == path.read_bytes(), kind


@pytest.mark.parametrize("kind", ["deb", "tgz", "zip"])
def test_the_installed_packer_packs_with_its_own_stub_and_the_game_runs(installed, game, wine, kind, tmp_path):
    game_dir, reference = game
    out = tmp_path / "Portable Game" / "LOMAR Vesperon.exe"
    out.parent.mkdir()
    status, said, err = run_packer(wine, kind, installed[kind] / PACKER[kind], "build", game_dir, "--output", out,
                                   "--level", "fast")
    assert (status, err) == (0, []), err
    assert "2 files" in said
    assert out.read_bytes() == reference
    report = tmp_path / "report.json"
    outcome = wine.launch(out, "from", "the package",
                          env={"LOMAR_TEST_EXIT": "7", "LOMAR_TEST_REPORT": windows_path(report)})
    assert (outcome.exit, outcome.boxes) == (7, [])
    assert '"from", "the package"' in report.read_text()
    assert (out.parent / ".lomar-runtime" / "data" / "notes.txt").read_bytes() == b"notes"


@pytest.mark.parametrize("kind", ["deb", "tgz", "zip"])
def test_without_its_stub_the_installed_packer_names_where_it_looked(installed, game, wine, kind, tmp_path):
    game_dir, reference = game
    root = tmp_path / "root"
    shutil.copytree(installed[kind], root)
    (root / INSTALLED_STUB[kind]).unlink()
    packer = root / PACKER[kind]
    bin_dir = packer.parent
    looked = [bin_dir.parent / "share" / "lomar" / STUB, bin_dir / STUB]
    out = tmp_path / "game.exe"

    status, said, err = run_packer(wine, kind, packer, "build", game_dir, "--output", out)
    assert (status, said) == (2, "")
    assert err == [f"lomar-pack: build needs --launcher STUB.exe: no launcher stub at {shown(kind, looked[0])} or "
                   f"{shown(kind, looked[1])} (see: lomar-pack build --help)"]
    assert not out.exists()

    # --launcher names the stub: it is used whether one is installed or not.
    status, _, err = run_packer(wine, kind, packer, "build", game_dir, "--output", out, "--level", "fast",
                                "--launcher", LAUNCHER)
    assert (status, err) == (0, [])
    assert out.read_bytes() == reference
    out.unlink()
    shutil.copy(LAUNCHER, root / INSTALLED_STUB[kind])
    (tmp_path / "notes.txt").write_text("no stub")
    status, _, err = run_packer(wine, kind, packer, "build", game_dir, "--output", out,
                                "--launcher", tmp_path / "notes.txt")
    assert status == 1 and len(err) == 1 and shown(kind, tmp_path / "notes.txt") in err[0], err
    assert not out.exists()


def test_run_from_the_build_folders_each_packer_takes_the_windows_builds_stub(game, wine, tmp_path):
    game_dir, reference = game
    assert not (NATIVE_BIN / STUB).exists() and not (NATIVE_BIN.parent / "share").exists()
    result = pack("build", game_dir, "--output", tmp_path / "linux.exe", "--level", "fast")
    assert (result.returncode, result.stderr) == (0, "")
    assert (tmp_path / "linux.exe").read_bytes() == reference
    status, _, err = wine.run(WINDOWS_BIN / "lomar-pack.exe", "build", windows_path(game_dir), "--output",
                              windows_path(tmp_path / "windows.exe"), "--level", "fast")
    assert status == 0, err
    assert (tmp_path / "windows.exe").read_bytes() == reference
    # Moved out of its build folder, the Linux packer no longer looks there.
    moved = tmp_path / "bin" / "lomar-pack"
    moved.parent.mkdir()
    shutil.copy(PACK, moved)
    result = subprocess.run([moved, "build", game_dir, "--output", tmp_path / "moved.exe"], capture_output=True,
                            text=True, stdin=subprocess.DEVNULL, timeout=60)
    assert result.returncode == 2 and result.stderr.count(STUB) == 2, result.stderr
