#!/usr/bin/env python3
"""Writes the fuzzers' seed corpus into fuzz/corpus/<fuzzer>/: small packages that filespack
made from a few kinds of data, their chunk bodies with a capacity in front, the data itself for
the round trip, and a few edits for the integrity check. Run again after a format change:

    fuzz/make_corpus.py path/to/filespack

The files are named after their content's hash, so running it twice changes nothing."""
import hashlib
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def samples():
    rng = random.Random(20261208)
    text = b"".join(b"line %d: the quick brown fox jumps over the lazy dog\n" % i for i in range(60))
    yield "text.txt", text
    yield "zeros.bin", bytes(3000)
    yield "random.bin", bytes(rng.randrange(256) for _ in range(1500))
    yield "runs.bin", b"".join(bytes([rng.randrange(4)]) * rng.randrange(1, 40) for _ in range(120))
    yield "skewed.bin", bytes(min(255, int(rng.expovariate(0.3))) for _ in range(2500))
    yield "one.bin", b"x"


def put(fuzzer, data):
    folder = os.path.join(CORPUS, fuzzer)
    os.makedirs(folder, exist_ok=True)
    name = hashlib.sha1(data).hexdigest()[:16]
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def chunk_bodies(package):
    """The chunk bodies of a plain package, walked as the reader walks it."""
    (block_size,) = struct.unpack_from("<i", package, 32)
    at = 36
    while package[at] != 0:
        at += 1 + package[at] + 4 + 28
        while True:
            (length,) = struct.unpack_from("<i", package, at)
            at += 4
            if length <= 0:
                break
            yield block_size + 16, package[at:at + length]
            at += length


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    filespack = sys.argv[1]
    shutil.rmtree(CORPUS, ignore_errors=True)
    with tempfile.TemporaryDirectory() as scratch:
        packages = []
        for name, data in samples():
            folder = os.path.join(scratch, name + ".in")
            os.makedirs(folder)
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)
            for method in ("classic", "zstd"):
                out = os.path.join(scratch, name + "." + method + ".fpk")
                subprocess.run([filespack, "create", "-q", "--block-size", "1024", "--mtime",
                                "2026-01-01", "--method", method, out, folder], check=True)
                with open(out, "rb") as f:
                    packages.append(f.read())
            put("codec_roundtrip_fuzzer", data[:4096])
        # A tree: folders, a Japanese folder whose names end in 0x5C bytes, depth 3.
        tree = os.path.join(scratch, "tree.in")
        for name, data in (("a/b.txt", b"b" * 40), ("a/c/d.bin", bytes(range(200))),
                           ("表/ソ/能.txt", "能".encode() * 30), ("top.txt", b"top")):
            os.makedirs(os.path.dirname(os.path.join(tree, name)), exist_ok=True)
            with open(os.path.join(tree, name), "wb") as f:
                f.write(data)
        out = os.path.join(scratch, "tree.fpk")
        subprocess.run([filespack, "create", "-q", "-r", "--block-size", "1024", "--mtime",
                        "2026-01-01", out, tree], check=True)
        with open(out, "rb") as f:
            put("extract_fuzzer", f.read())
        for package in packages:
            put("extract_fuzzer", package)
            for capacity, body in chunk_bodies(package):
                put("codec_decode_fuzzer", struct.pack(">H", capacity - 1) + body)
                put("codec_differential_fuzzer", struct.pack("<H", capacity - 1) + body)
    rng = random.Random(7)
    for _ in range(8):
        edits = bytes(rng.randrange(256) for _ in range(4 * rng.randrange(1, 4)))
        put("integrity_fuzzer", edits)


if __name__ == "__main__":
    main()
