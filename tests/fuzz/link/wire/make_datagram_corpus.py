#!/usr/bin/env python3
"""Writes the seed datagrams of the fuzz_datagram target.

The layouts are written out here by hand rather than with the program's own
builders, so the seeds do not inherit a mistake of the code they exercise.

    tests/fuzz/link/wire/make_datagram_corpus.py [OUTPUT_DIR]
"""

import os
import struct
import sys

MAGIC = 0x1986
ZHONG = "\u4e2d".encode()  # three UTF-8 bytes
WEN = "\u6587".encode()


def datagram(msg_type, payload=b"", mac=bytes(6), device_type=0, multicast=0, length=None):
    if length is None:
        length = len(payload)
    header = struct.pack("<HHHBB6sH", MAGIC, device_type, msg_type, multicast, 0, mac, length)
    return header + payload


def text(value, cap):
    """A text area of cap bytes followed by its length byte."""
    value = value[:cap]
    return value + bytes(cap - len(value)) + bytes([len(value)])


def security(key=b"", wep=b""):
    body = bytes([3, 1]) + text(key, 64) + struct.pack("<I", 3600) + bytes([1, 0])
    for _ in range(4):
        body += bytes([1]) + text(wep, 26)
    body += bytes([0]) + bytes([198, 18, 0, 1]) + struct.pack("<H", 1812) + bytes([0])
    body += text(b"radius-secret", 64) + struct.pack("<I", 86400)
    assert len(body) == 262
    return body


def device_info(name, ssid, bridge_ssid=b"", version=b"v2.4.1", work_mode=1):
    address = bytes([1, 198, 18, 0, 20, 255, 255, 0, 0, 198, 18, 0, 1, 8, 8, 8, 8, 0, 0, 0, 0, 1])
    wireless = bytes([1, 1, 1, 0, 2, 1, 36, 0, 20, 1, 27]) + bytes(11)
    wireless += bytes([1, 0, 0]) + bytes([0x02, 0, 0, 0, 0, 0x20]) + text(ssid, 32)
    wireless += security(b"passphrase-one") + bytes([1, 0])
    bridge = bytes([2]) + bytes([0x02, 0, 0, 0, 0, 0x10]) + bytes([36]) + text(bridge_ssid, 32)
    bridge += bytes([0]) + security(b"passphrase-two", b"0123456789")
    vlan = bytes([1, 0]) + struct.pack("<HHH", 10, 20, 30) + bytes([0, 0])
    extension = bytes([1, 1]) + struct.pack("<HHH", 1, 40, 50) + bytes(4) + bytes([1, 0])
    body = bytes([work_mode, 0, 0, 0]) + struct.pack("<I", 93784) + address
    body += text(name, 32) + text(version, 32) + bytes([1, 2]) + struct.pack("<H", 180)
    body += wireless + bridge + vlan + extension
    assert len(body) == 756, len(body)
    return body


def announce(version=b"v2.4.1", name=b"", ssid=b""):
    body = text(version, 32) + bytes([1, 0, 0]) + struct.pack("<I", 3725)
    body += text(name, 32) + text(ssid, 32) + bytes([6, 1, 0]) + bytes(3)
    assert len(body) == 112
    return body


def neighbour(n, ssid):
    return (bytes([0x02, 0, 0, 0, 1, n]) + struct.pack("<bBB", -40 - n, n % 13 + 1, 3)
            + text(ssid, 32) + bytes([0, 1]))


def seeds():
    mac = bytes([0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E])
    cut_name = (ZHONG + WEN) * 5 + ZHONG[:2]  # 32 bytes, the last character cut
    yield "announce_empty", datagram(1)
    yield "announce_version_only", datagram(1, text(b"v2.4.1", 32), mac, 10)
    yield "announce_full", datagram(1, announce(name=b"mast-7", ssid=b"yard"), mac, 268)
    yield "announce_cjk", datagram(1, announce(name=cut_name, ssid=ZHONG + b"-ap"), mac, 15)
    yield "heartbeat", datagram(15, text(b"v2.4.1", 32) + bytes(3) + struct.pack("<I", 90061),
                                mac, 18)
    yield "device_info", datagram(2, device_info(b"mast-7", b"yard", b"uplink"), mac, 268)
    yield "device_info_cjk", datagram(2, device_info(cut_name, WEN * 3 + b"\xff",
                                                     ZHONG * 11, work_mode=2), mac, 15)
    # Latin-1 bytes in the middle of the texts: kept, with U+FFFD (or '?'
    # where three bytes would not fit the field) in their place.
    yield "device_info_latin1", datagram(2, device_info(b"Caf\xe9 Nord", b"\xe9" * 20 + b"ab",
                                                        b"r\xe9seau-" + ZHONG[:2]), mac, 268)
    yield "announce_latin1", datagram(1, announce(name=b"Caf\xe9 Nord", ssid=b"\xff" * 32), mac, 5)
    yield "device_info_short", datagram(2, device_info(b"a", b"b")[:100], mac, 6,
                                        length=756)
    for code in (3, 4, 5, 8, 11, 16, 18, 19):
        yield f"reply_{code}", datagram(code, bytes([0]), mac, 10)
    for code, result in ((7, 0), (7, 1), (9, 0), (10, 0), (12, 1), (13, 0)):
        yield f"result_{code}_{result}", datagram(code, bytes([result]), mac, 10)
    entries = [neighbour(i, b"cell-%d" % i) for i in range(3)]
    yield "scan_3", datagram(6, bytes([1, 0, 3]) + b"".join(entries), mac, 10)
    many = [neighbour(i, ZHONG * (i % 11)) for i in range(32)]
    report = bytes([2, 0, 40]) + b"".join(many)
    yield "scan_icount_40", datagram(6, report + bytes(1414 - len(report)), mac, 10)
    yield "scan_cut", datagram(6, bytes([1, 0, 5]) + b"".join(entries)[:100], mac, 10,
                               length=1414)
    yield "max_size", datagram(2, bytes(range(256)) * 5 + bytes(176), mac, 11)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "corpus")
    os.makedirs(out, exist_ok=True)
    for name, data in seeds():
        assert 16 <= len(data) <= 1472, (name, len(data))
        with open(os.path.join(out, name + ".bin"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
