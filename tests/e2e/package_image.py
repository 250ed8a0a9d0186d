"""Package images for the black-box tests, written byte by byte from the
format's layout, so the tests do not take the writer's word for it."""
import hashlib
import struct
import zlib

MAGIC = b"LOMPKG01"


def stream(content: bytes) -> bytes:
    """The content as a buffer-mode XPRESS-Huffman stream of one stored block (a block whose byte count
    equals its length holds its bytes unchanged); empty content has no stream at all."""
    if not content:
        return b""
    header = bytearray(b"\x0a\x51\xe5\xc0" + struct.pack("<HBBQQ", 24, 0, 4, len(content), len(content)))
    header[6] = zlib.crc32(bytes(header[:6] + header[7:])) & 0xFF
    return bytes(header) + struct.pack("<I", len(content)) + content


def entry(name: str | bytes, content: bytes = b"", stored: bytes | None = None,
          unpacked: int | None = None, digest: bytes | None = None) -> bytes:
    raw_name = name.encode("utf-8") if isinstance(name, str) else name
    stored = stream(content) if stored is None else stored
    unpacked = len(content) if unpacked is None else unpacked
    digest = hashlib.sha256(content).digest() if digest is None else digest
    return struct.pack("<IQQ", len(raw_name), unpacked, len(stored)) + digest + raw_name + stored


def image(*entries: bytes, count: int | None = None, magic: bytes = MAGIC) -> bytes:
    return magic + struct.pack("<I", len(entries) if count is None else count) + b"".join(entries)


def minimal() -> bytes:
    return image(entry("LOMARVesperon.exe", b"MZ game"))
