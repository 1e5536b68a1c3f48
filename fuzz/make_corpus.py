#!/usr/bin/env python3
"""Seed corpora for the fuzz targets, from the demonstration data generator.

usage: fuzz/make_corpus.py BUILD_DIR OUT_DIR
Runs BUILD_DIR/data/make-demo-data --small and writes
OUT_DIR/{san,text,sound,decoder,info,chk,scene}: one folder per fuzz target.
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


def sector_checksums(data):
    """The ".CHK" file of `data`: 8 zero bytes, one sum per 2048-byte sector
    (the last one padded with zeros), then their total."""
    sums = []
    for at in range(0, len(data), 2048):
        sector = data[at:at + 2048].ljust(2048, b"\0")
        sums.append(sum(struct.unpack("<512I", sector)) & 0xFFFFFFFF)
    return (b"\0" * 8 + b"".join(struct.pack("<I", x) for x in sums) +
            struct.pack("<I", sum(sums) & 0xFFFFFFFF))


def scene_seeds(docs):
    """The scene file of docs/scene-format.md, then pieces of it."""
    try:
        with open(docs, encoding="utf-8") as f:
            text = f.read()
    except OSError:
        return []
    seeds = []
    start = text.find("```json")
    if start >= 0:
        end = text.find("```", start + 7)
        seeds.append(text[start + 7:end].strip().encode())
    seeds += [b'{"pictures": "p"}', b'{"pictures": "/p", "rate": 255, "vector_table": 2}',
              b'{"pictures": "p", "audio": [{"file": "a.wav", "script": [{"loop": 0}]}]}']
    return seeds


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
            # byte 0: JSON and every frame, or the text report
            write(os.path.join(out, "info"), name + "_json", b"\x03" + data)
            write(os.path.join(out, "info"), name + "_text", b"\x00" + data[:4096])
            # the first 12 sectors with a table that matches them: checked
            # reads in blocks of 1 + 7 * 512 bytes, on / at offsets / back
            head = data[:12 * 2048]
            head += b"\0" * (-len(head) % 2048)
            chk = sector_checksums(head)
            if len(chk) < 64:
                write(os.path.join(out, "chk"), name,
                      bytes([len(chk), 0, 0x17, 0xE4]) + chk + head)
            for i, chunk in enumerate(chunks_tagged(data, [b"SAUD", b"PSAD"])):
                if i >= 40:
                    break
                # passes, volume, pan, flags, id, length, chunk
                record = struct.pack("<BBBHBH", 8, 127, 0, 0, 1, min(len(chunk), 0xFFFF))
                # channels: the player's own sizes for the first chunk only
                sizes = b"\xff" if i == 0 else b"\x00"
                write(os.path.join(out, "sound"), "%s_%d" % (name, i),
                      sizes + record + chunk[:0xFFFF])
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
    for i, seed in enumerate(scene_seeds(os.path.join(os.path.dirname(__file__), "..", "docs",
                                                      "scene-format.md"))):
        write(os.path.join(out, "scene"), "scene_%d" % i, b"\x78" + seed)
    print("%d files seeded into %s" % (n, out))


if __name__ == "__main__":
    main()
