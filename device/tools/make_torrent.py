#!/usr/bin/env python3
# Writes a valid single-file .torrent for a payload file; a tool beside the reference device, portable.
"""Write a single-file .torrent for PAYLOAD.

The output is deterministic (no creation date), so the same payload and options always give the
same file and the same info hash, which the device uses to recognise a job it already has.
"""
import argparse
import hashlib
import os
import sys


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
        items = sorted((k.encode("utf-8") if isinstance(k, str) else k, v) for k, v in value.items())
        return b"d" + b"".join(bencode(k) + bencode(v) for k, v in items) + b"e"
    raise TypeError("cannot bencode %r" % type(value))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("payload", help="the file the torrent describes")
    parser.add_argument("-o", "--output", help="where to write (default: PAYLOAD.torrent)")
    parser.add_argument("--name", help="the name inside the torrent (default: the payload's name)")
    parser.add_argument("--piece-length", type=int, default=262144,
                        help="bytes per piece, a power of two of at least 16384 (default 262144)")
    parser.add_argument("--announce", default="http://tracker.invalid/announce",
                        help="tracker URL written into the torrent")
    parser.add_argument("--info-hash", action="store_true",
                        help="print the info hash (40 hex digits) after writing")
    args = parser.parse_args()

    n = args.piece_length
    if n < 16384 or n & (n - 1):
        parser.error("--piece-length must be a power of two of at least 16384")
    pieces = bytearray()
    size = 0
    try:
        with open(args.payload, "rb") as payload:
            while True:
                block = payload.read(n)
                if not block:
                    break
                size += len(block)
                pieces += hashlib.sha1(block).digest()
    except OSError as error:
        print("make_torrent: %s" % error, file=sys.stderr)
        return 1

    info = {
        "length": size,
        "name": args.name or os.path.basename(args.payload),
        "piece length": n,
        "pieces": bytes(pieces),
    }
    torrent = {"announce": args.announce, "created by": "marlowick make_torrent", "info": info}
    output = args.output or args.payload + ".torrent"
    with open(output, "wb") as out:
        out.write(bencode(torrent))
    if args.info_hash:
        print(hashlib.sha1(bencode(info)).hexdigest())
    return 0


if __name__ == "__main__":
    sys.exit(main())
