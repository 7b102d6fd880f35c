#!/usr/bin/env python3
# Sample .torrent files for the demo and the command line tests: this script generates the
# content, device/tools/make_torrent.py makes the torrents; python3 standard library only. The
# output is the same byte for byte on every run (no dates, no randomness), so the committed
# samples can be checked against it.
#
# Usage: examples/make_samples.py [--out DIR]   (default: the folder of this script)
import argparse
import hashlib
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
MAKE_TORRENT = os.path.join(HERE, "..", "device", "tools", "make_torrent.py")


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


def numbers_csv():
    return ("n,square\n" + "".join("%d,%d\n" % (n, n * n) for n in range(1, 2001))).encode("ascii")


# torrent file: (payload name, payload, piece length)
SAMPLES = {
    "marlowick-notes.torrent": ("marlowick-notes.txt", notes_text, 16384),
    "marlowick-pattern.torrent": ("marlowick-pattern.bin", lambda: pattern_bytes(1 << 20), 262144),
    "marlowick-numbers.torrent": ("marlowick-numbers.csv", numbers_csv, 16384),
}


def main():
    parser = argparse.ArgumentParser(description="Write the sample .torrent files.")
    parser.add_argument("--out", default=HERE)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    with tempfile.TemporaryDirectory() as payloads:
        for torrent, (name, make, piece_length) in SAMPLES.items():
            payload = os.path.join(payloads, name)
            with open(payload, "wb") as f:
                f.write(make())
            output = os.path.join(args.out, torrent)
            subprocess.run([sys.executable, MAKE_TORRENT, payload, "--output", output,
                            "--piece-length", str(piece_length)], check=True)
            print("%s (%d bytes)" % (output, os.path.getsize(output)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
