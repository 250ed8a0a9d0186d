"""Driving the Linux packer from the black-box tests, and game folders to pack."""
import hashlib
import os
import pathlib
import random
import subprocess

from conftest import LAUNCHER, NATIVE_BIN

PACK = NATIVE_BIN / "lomar-pack"


def pack(*args, timeout=600, **kwargs):
    return subprocess.run([str(PACK), *map(str, args)], capture_output=True, text=True, errors="replace", timeout=timeout,
                          stdin=subprocess.DEVNULL, **kwargs)


def build(game, out, *more, launcher=LAUNCHER, **kwargs):
    return pack("build", game, "--launcher", launcher, "--output", out, *more, **kwargs)


def write_game(root: pathlib.Path, files: dict) -> pathlib.Path:
    """A game folder holding `files` (relative name, str or bytes, to content)."""
    root.mkdir(parents=True, exist_ok=True)
    for name, content in files.items():
        path = root / os.fsdecode(name) if isinstance(name, bytes) else root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)
    return root


def game_exe(marker=b"") -> bytes:
    return b"MZ" + bytes(62) + b"LOMAR Vesperon test game" + marker


def sample_files(big_mib=0) -> dict:
    """Nested folders, non-ASCII names, an empty file and, on request, a file of tens of MiB."""
    rng = random.Random(3)
    words = [bytes(rng.choice(b"abcdefghijklmnop") for _ in range(rng.randint(2, 8))) for _ in range(400)]
    text = b" ".join(rng.choice(words) for _ in range(40000))
    files = {
        "LOMARVesperon.exe": game_exe() + text[:200000],
        "readme.txt": b"LOMAR Vesperon\r\n",
        "data/maps/level 1.map": text,
        "data/maps/level 2.map": text[::-1],
        "fonts/Vesper Sans \u03a9\u03bc\u03ad\u03b3\u03b1.ttf": bytes(rng.getrandbits(8) for _ in range(30000)),
        "lang/\u65e5\u672c\u8a9e.txt": "\u3053\u3093\u306b\u3061\u306f".encode() * 100,
        "config/empty.ini": b"",
    }
    if big_mib:
        noise = bytes(rng.getrandbits(8) for _ in range(1 << 20))
        files["assets/big.pak"] = b"".join((text[: 1 << 20] if i % 2 else noise) for i in range(big_mib))
    return files


def tree(root: pathlib.Path) -> dict:
    """Every file below root with its bytes and modification time: what must not change."""
    return {str(p.relative_to(root)): (p.read_bytes() if p.is_file() and not p.is_symlink() else None,
                                       os.lstat(p).st_mtime_ns)
            for p in sorted(root.rglob("*"))}


def digests(files: dict) -> dict:
    return {name: hashlib.sha256(content).hexdigest() for name, content in files.items()}
