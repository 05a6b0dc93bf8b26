#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz_link_receive target.

Each seed is a sequence of records [op u8][sender u8][length u16 LE][bytes]
(see fuzz_link_receive.cpp), built from the datagram seeds of the wire
fuzzer with one device MAC written into every header, so that an
announcement, its device information, heartbeats and replies meet.

    tests/fuzz/link/make_corpus.py
"""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
DATAGRAMS = os.path.join(HERE, "wire", "corpus")
OUT = os.path.join(HERE, "corpus")
MAC = bytes([0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E])

ANNOUNCE, HEARTBEAT, REPLY, TICK, RETRANSMIT, LIST, RECONCILE, RELEASE, DROP, NOTE, STORE, SEARCH = range(12)


def record(op, sender=0, data=b""):
    return struct.pack("<BBH", op, sender, len(data)) + data


def load(name, mac=MAC):
    with open(os.path.join(DATAGRAMS, name), "rb") as f:
        raw = bytearray(f.read())
    if len(raw) >= 14:
        raw[8:14] = mac
    return bytes(raw)


def write(name, records):
    with open(os.path.join(OUT, name + ".bin"), "wb") as f:
        f.write(b"".join(records))


def main():
    os.makedirs(OUT, exist_ok=True)
    names = sorted(os.listdir(DATAGRAMS))
    announces = [n for n in names if n.startswith("announce")]
    infos = [n for n in names if n.startswith("device_info")]
    replies = [n for n in names if n.startswith(("reply", "result", "scan", "neighbour"))]

    for a in announces:
        for i in infos:
            write(f"discover_{a[:-4]}_{i[:-4]}", [
                record(ANNOUNCE, 0, load(a)),
                record(REPLY, 0, load(i)),
                record(HEARTBEAT, 1, load("heartbeat.bin")),
                record(TICK), record(TICK), record(TICK), record(TICK),
                record(LIST, 20, b""),
            ])
    write("cycle", [
        record(STORE, 3, bytes([2, 0, 0, 0, 0, 9])),
        record(ANNOUNCE, 0, load("announce_full.bin")),
        record(ANNOUNCE, 0, load("announce_empty.bin", bytes([2, 0, 0, 0, 0, 1]))),
        record(RELEASE), record(DROP), record(RECONCILE), record(SEARCH),
        record(LIST, 8, b"198.18"),
    ])
    write("address", [
        record(ANNOUNCE, 0, load("announce_full.bin")),
        record(REPLY, 0, load("device_info.bin")),
        record(NOTE, 0, b"198.18.0.20\x00198.18.0.30"),
        record(REPLY, 0, load("reply_3.bin")),
    ])
    write("replies", [record(REPLY, k, load(r)) for k, r in enumerate(replies)] + [record(RETRANSMIT)])


if __name__ == "__main__":
    main()
