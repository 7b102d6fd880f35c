#!/usr/bin/env python3
# Sample .torrent files for the demo and the command line tests, made from content this script
# generates itself; python3 standard library only. The output is the same byte for byte on every
# run (no dates, no randomness), so the committed samples can be checked against it.
#
# Usage: examples/make_samples.py [--out DIR]   (default: the folder of this script)
import argparse
import hashlib
import os
import sys

# A tracker in the .invalid domain, which never resolves: nothing ever downloads these.
ANNOUNCE = "http://tracker.invalid/announce"
CREATED_BY = "marlowick examples/make_samples.py"


def bencode(value):
    if isinstance(value, int):
        return b"i%de" % value
    if isinstance(value, str):
        value = value.encode("utf-8")
    if isinstance(value, bytes):
        return b"%d:%s" % (len(value), value)
    if isinstance(value, list):
        return b"l" + b"".join(bencode(v) for v in value) + b"e"
    if isinstance(value, dict):
        # Keys in byte order, as bencode requires.
        items = sorted((k.encode("utf-8") if isinstance(k, str) else k, v) for k, v in value.items())
        return b"d" + b"".join(bencode(k) + bencode(v) for k, v in items) + b"e"
    raise TypeError(type(value))


def pieces(data, piece_length):
    return b"".join(hashlib.sha1(data[i:i + piece_length]).digest()
                    for i in range(0, max(len(data), 1), piece_length))


def torrent(info):
    return bencode({"announce": ANNOUNCE, "created by": CREATED_BY, "info": info})


def notes_text():
    lines = ["Marlowick sample notes: generated text, line %d of 800." % n for n in range(1, 801)]
    return ("\n".join(lines) + "\n").encode("ascii")


def pattern_bytes(size):
    # A SHA-256 counter stream: looks random, is the same on every run.
    out = bytearray()
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(b"marlowick-pattern-%d" % counter).digest()
        counter += 1
    return bytes(out[:size])


def single_file(name, data, piece_length):
    return torrent({"name": name, "length": len(data), "piece length": piece_length,
                    "pieces": pieces(data, piece_length)})


def multi_file(folder, files, piece_length):
    # The pieces run over the files' contents joined in their listed order.
    joined = b"".join(data for _, data in files)
    return torrent({"name": folder,
                    "files": [{"path": path, "length": len(data)} for path, data in files],
                    "piece length": piece_length, "pieces": pieces(joined, piece_length)})


def samples():
    readme = b"A folder of generated files for the Marlowick demo.\n"
    numbers = ("n,square\n" + "".join("%d,%d\n" % (n, n * n) for n in range(1, 2001))).encode()
    return {
        "marlowick-notes.torrent": single_file("marlowick-notes.txt", notes_text(), 16384),
        "marlowick-pattern.torrent": single_file("marlowick-pattern.bin",
                                                 pattern_bytes(1024 * 1024), 262144),
        "marlowick-folder.torrent": multi_file(
            "marlowick-folder", [(["readme.txt"], readme), (["data", "numbers.csv"], numbers)],
            16384),
    }


def main():
    parser = argparse.ArgumentParser(description="Write the sample .torrent files.")
    parser.add_argument("--out", default=os.path.dirname(os.path.abspath(__file__)))
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    for name, data in samples().items():
        with open(os.path.join(args.out, name), "wb") as f:
            f.write(data)
        print("%s (%d bytes)" % (os.path.join(args.out, name), len(data)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
