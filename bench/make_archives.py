#!/usr/bin/env python3
"""The benchmarks' archives, deflated as real songs are:
  big.mdz              one 5 MiB member, big.mod
  playlist/NNNN.mdz    1000 archives of one small member each, song.mod
Usage: make_archives.py OUT-DIR"""
import pathlib
import random
import sys
import zipfile


def song_like(rng, size):
    """Bytes that deflate about as well as a tracker module: runs of
    pattern data among noisy samples."""
    out = bytearray()
    while len(out) < size:
        if rng.random() < 0.5:
            out += bytes([rng.randrange(256)]) * rng.randrange(4, 64)
        else:
            out += bytes(b & 0x3F for b in rng.randbytes(rng.randrange(16, 256)))
    return bytes(out[:size])


def write(path, name, data):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as archive:
        archive.writestr(zipfile.ZipInfo(name, (2024, 12, 31, 23, 58, 58)), data, zipfile.ZIP_DEFLATED)


def main():
    out = pathlib.Path(sys.argv[1])
    (out / "playlist").mkdir(parents=True, exist_ok=True)
    rng = random.Random(7)
    write(out / "big.mdz", "big.mod", song_like(rng, 5 << 20))
    for n in range(1000):
        write(out / "playlist" / f"{n:04d}.mdz", "song.mod", song_like(rng, rng.randrange(8 << 10, 48 << 10)))


main()
