#!/usr/bin/env python3
"""Writes the real-code corpus: a game folder of program code nobody in this project wrote.

Wine's own 64-bit programs and DLLs, as the installed wine64 package holds them, copied at run time (never
committed): its largest program as LOMARVesperon.exe and its 48 largest DLLs under bin/, 49 files, about
284 MB with Debian 12's Wine 8.0.

    python3 bench/real_code_game.py OUT_DIR
"""
import hashlib
import pathlib
import shutil
import sys

WINE = pathlib.Path("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows")
LIBRARIES = 48


def largest(suffix, count):
    files = [p for p in WINE.iterdir() if p.suffix == suffix and p.is_file()]
    return sorted(files, key=lambda p: (-p.stat().st_size, p.name))[:count]


def main():
    out = pathlib.Path(sys.argv[1])
    programs = largest(".exe", 1)
    if not programs:
        sys.exit(f"{WINE} holds no Windows code: install wine64")
    copies = {"LOMARVesperon.exe": programs[0]}
    copies.update({f"bin/{p.name}": p for p in largest(".dll", LIBRARIES)})
    partial = out.with_name(out.name + ".partial")
    shutil.rmtree(partial, ignore_errors=True)
    for name, source in copies.items():
        (partial / name).parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, partial / name)
    partial.rename(out)
    total = sum((out / name).stat().st_size for name in copies)
    digest = hashlib.sha256(b"".join(name.encode() + hashlib.sha256((out / name).read_bytes()).digest()
                                     for name in sorted(copies)))
    print(f"{out}: {len(copies)} files, {total:,} bytes, {digest.hexdigest()[:16]}")


if __name__ == "__main__":
    main()
