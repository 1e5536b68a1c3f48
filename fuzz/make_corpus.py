#!/usr/bin/env python3
"""Seed corpora for the fuzz targets, from the demonstration data generator.

usage: fuzz/make_corpus.py BUILD_DIR OUT_DIR
Runs BUILD_DIR/data/make-demo-data --small and writes OUT_DIR/{san,text,sound,decoder}.
"""
import os
import struct
import subprocess
import sys
import tempfile


def chunks_tagged(data, tags):
    """Every chunk with one of `tags`, from its tag on, cut to the file."""
    for tag in tags:
        start = data.find(tag)
        while start >= 0:
            if start + 8 <= len(data):
                size = struct.unpack(">I", data[start + 4:start + 8])[0]
                yield data[start:min(len(data), start + 8 + size)]
            start = data.find(tag, start + 1)


def write(folder, name, payload):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(payload)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    build, out = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as demo:
        subprocess.run([os.path.join(build, "data", "make-demo-data"), demo, "--small"], check=True)
        files = []
        for root, _, names in os.walk(demo):
            for name in sorted(names):
                with open(os.path.join(root, name), "rb") as f:
                    files.append((name, f.read()))
    n = 0
    for name, data in files:
        lower = name.lower()
        if lower.endswith(".san"):
            write(os.path.join(out, "san"), name, data)
            for i, chunk in enumerate(chunks_tagged(data, [b"SAUD", b"PSAD"])):
                if i >= 40:
                    break
                # passes, volume, pan, flags, id, length, chunk
                record = struct.pack("<BBBHBH", 8, 127, 0, 0, 1, min(len(chunk), 0xFFFF))
                write(os.path.join(out, "sound"), "%s_%d" % (name, i), record + chunk[:0xFFFF])
            for i, chunk in enumerate(chunks_tagged(data, [b"FOBJ"])):
                if i >= 40:
                    break
                # width, height, clip, flags, then the object payload
                write(os.path.join(out, "decoder"), "%s_%d" % (name, i),
                      bytes([63, 63, 0, 0, 64, 64, 0, 0]) + chunk[8:])
        elif lower.endswith(".nut"):
            text = b"Hi ^f01there^c015 ^^ x\nnext"
            controls = bytes([0, 0, 2, 2, 0, 0, 100, 60, 1, 0, 1, 100, len(text)])
            write(os.path.join(out, "text"), name, b"\x00" + controls + text + data)
        elif lower.endswith(".trs"):
            write(os.path.join(out, "text"), name, b"\x01" + data)
        n += 1
    print("%d files seeded into %s" % (n, out))


if __name__ == "__main__":
    main()
