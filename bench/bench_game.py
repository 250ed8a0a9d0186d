#!/usr/bin/env python3
"""Writes the benchmark game: a deterministic folder shaped like the shipped game runtime.

86 files, about 121 MB: LOMARVesperon.exe of 96,039,424 bytes (its first half real Windows code, Wine's
64-bit DLLs and EXEs in name order; its second half incompressible), and 85 small files: DLLs, fonts,
icons, style, manifest, read-me and licence texts, at most three folders deep.

    python3 bench/bench_game.py OUT_DIR
"""
import hashlib
import pathlib
import random
import sys

WINE = pathlib.Path("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows")
EXE_SIZE = 96_039_424


def windows_code():
    """Wine's 64-bit DLLs and EXEs, in name order, as one endless stream."""
    files = sorted(p for p in WINE.iterdir() if p.suffix in (".dll", ".exe"))
    if not files:
        sys.exit(f"{WINE} holds no Windows code: install wine64")
    while True:
        for f in files:
            yield f.read_bytes()


def take(stream, size):
    out = bytearray()
    for chunk in stream:
        out += chunk[: size - len(out)]
        if len(out) == size:
            return bytes(out)


def text(rng, size):
    words = [bytes(rng.choice(b"etaoinshrdlucmfwypvbgk") for _ in range(rng.randint(2, 10))) for _ in range(3000)]
    out = bytearray()
    while len(out) < size:
        out += b" ".join(rng.choice(words) for _ in range(rng.randint(6, 18))) + b".\r\n"
    return bytes(out[:size])


def main():
    out = pathlib.Path(sys.argv[1])
    rng = random.Random(86)
    files = {}
    code = windows_code()
    files["LOMARVesperon.exe"] = take(code, EXE_SIZE // 2) + rng.randbytes(EXE_SIZE - EXE_SIZE // 2)
    libraries = sorted(p for p in WINE.iterdir() if p.suffix == ".dll")
    picked = [libraries[i] for i in sorted(rng.sample(range(len(libraries)), 40))]
    for i, lib in enumerate(picked):
        folder = "" if i < 28 else "plugins/"
        files[f"{folder}{lib.name}"] = lib.read_bytes()[: 900_000]
    for i in range(6):
        files[f"fonts/Vesper-{['Regular', 'Bold', 'Italic', 'Light', 'Mono', 'Display'][i]}.ttf"] = \
            rng.randbytes(rng.randint(150_000, 400_000))
    for i in range(12):
        files[f"icons/icon-{16 << (i % 5)}-{i}.png"] = rng.randbytes(rng.randint(2_000, 40_000))
    for i in range(10):
        files[f"styles/theme-{i}.qss"] = text(rng, rng.randint(5_000, 60_000))
    for name in ("readme.txt", "LICENSE.txt", "THIRD-PARTY-NOTICES.txt", "CHANGELOG.md", "docs/manual.txt",
                 "docs/credits.txt", "LOMARVesperon.exe.manifest", "config/default.json", "config/keys.json",
                 "lang/en/strings.txt", "lang/de/strings.txt", "lang/fr/strings.txt", "lang/ja/strings.txt",
                 "lang/es/strings.txt", "data/version.txt", "data/checksums.txt", "platforms/qwindows.txt"):
        files[name] = text(rng, rng.randint(300, 250_000))
    assert len(files) == 86, len(files)
    for name, content in files.items():
        path = out / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)
    digest = hashlib.sha256(b"".join(name.encode() + hashlib.sha256(c).digest() for name, c in sorted(files.items())))
    print(f"{out}: {len(files)} files, {sum(map(len, files.values())):,} bytes, {digest.hexdigest()[:16]}")


if __name__ == "__main__":
    main()
