#!/usr/bin/env python3
"""Writes the seed corpora under corpus/<harness>/.

Usage: make_seeds.py ORVO_SIM   (the path of a built orvo-sim)

The harnesses read their input through libFuzzer's FuzzedDataProvider, which takes bytes from the
front and whole numbers from the back. Seed builds an input the same way, so that a seed reaches
the harness as the values written here: real packets from orvo-sim, client commands, settings
texts, a settings block and a serial-number answer.
"""
import os
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


class Seed:
    def __init__(self):
        self.front = b""
        self.back = []  # in the order the harness consumes them

    def bytes(self, b):
        self.front += b
        return self

    def integer(self, value, low, high):
        """A number the harness takes with ConsumeIntegralInRange(low, high)."""
        span, raw, size = high - low, value - low, 0
        while size < 8 and (span >> (8 * size)) > 0:
            size += 1
        self.back.append(raw.to_bytes(size, "little") if size else b"")
        return self

    def double(self, value):
        return self.integer(struct.unpack("<Q", struct.pack("<d", value))[0], 0, 2**64 - 1)

    def encode(self):
        return self.front + b"".join(reversed(self.back))


def write(harness, name, data):
    folder = os.path.join(HERE, "corpus", harness)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def sim(orvo_sim, *args):
    return subprocess.run([orvo_sim, "--stdout", "--quiet", "--seed", "7", *args],
                          check=True, capture_output=True).stdout


def packet_seeds(orvo_sim):
    streams = {
        "plain": sim(orvo_sim, "--count", "6"),
        "reset": sim(orvo_sim, "--count", "6", "--reset-after", "3"),
        "wrap": sim(orvo_sim, "--count", "6", "--seconds-start", "16777213"),
        "bad-checksum": sim(orvo_sim, "--count", "6", "--bad-checksum-every", "2"),
        "repeat-seconds": sim(orvo_sim, "--count", "6", "--repeat-seconds-every", "3"),
    }
    for name, stream in streams.items():
        # Fresh state; then pieces of 43, 7, 1 and 64 bytes with short and long pauses.
        seed = Seed().integer(0, 0, 255)
        rest, sizes, pauses, i = stream, [43, 7, 1, 64], [1000, 0, 2500, 65000], 0
        while rest:
            n = min(sizes[i % 4], len(rest))
            seed.integer(n, 1, 96).integer(pauses[i % 4], 0, 70000).bytes(rest[:n])
            rest, i = rest[n:], i + 1
        write("packet_stream", name, seed.encode())


def command_seed(block, *lines):
    seed = Seed()
    for value in (121.3, 0, 0, 0, 0, 4.3e6, 2.1e5, 0, 0, 1520, -300, 1.19, 0.058):
        seed.double(value)
    for value in (12.6, 2.5, 0.98, 0.7):
        seed.double(value)
    seed.integer(86400, -2**31, 2**31 - 1)
    seed.integer(len(block), 0, 40).bytes(block)
    for line in lines:
        seed.integer(1, 0, 255).integer(len(line), 1, 64).bytes(line)
    return seed.encode()


SETTINGS_BLOCK = bytes([167, 5, 167, 5, 0, 1, 0, 15, 2200 >> 8, 2200 & 255, 1]) + bytes(22)


def command_seeds():
    write("command_line", "getall", command_seed(SETTINGS_BLOCK, b"GETALL\r"))
    write("command_line", "getsettings", command_seed(SETTINGS_BLOCK, b"GETSETTINGS\r"))
    write("command_line", "split", command_seed(b"", b"GETP", b"1\r", b"getallp\r", b"SETPOL1\r"))
    write("command_line", "mov", command_seed(b"", b"MOV 16F\r", b"MOV3N\r", b"SETTRIGON\r"))
    write("command_line", "no-verb", command_seed(b"\xff" * 11, b"WS1STATIC\r", b"xx\r"))


def text_seeds():
    for i, stored in enumerate([b"True", b" false ", b"65535", b"-32768.5", b"1,5", b"1e3"]):
        write("number_text", f"stored-{i}", Seed().integer(0, 0, 3).integer(i, 0, 6)
              .bytes(stored).encode())
    write("number_text", "written", Seed().integer(1, 0, 3).integer(6, 0, 6)
          .integer(2**53, -2**63, 2**63 - 1).double(0.1 + 0.2).encode())
    write("number_text", "default", Seed().integer(2, 0, 3).double(1e15).encode())
    write("number_text", "energy", Seed().integer(3, 0, 3).integer(1, 0, 1).integer(0, 0, 2)
          .integer(1, 0, 1).double(2.6745).encode())
    write("number_text", "firmware", Seed().integer(3, 0, 3).integer(1, 0, 1).integer(2, 0, 2)
          .integer(1, 0, 1).double(2.2).encode())


def setup_seeds():
    write("setup_replies", "block", Seed().integer(0, 0, 1).integer(0, 0, 255)
          .bytes(SETTINGS_BLOCK).encode())
    write("setup_replies", "short-block", Seed().integer(0, 0, 1).integer(0, 0, 255)
          .bytes(bytes([255, 255, 3, 4, 5, 6, 255, 255, 255, 255])).encode())
    write("setup_replies", "serial", Seed().integer(1, 0, 1).integer(0, 0, 255)
          .bytes(bytes([12, 34, 56, 78, 90, 0xFC])).encode())
    write("setup_replies", "serial-short", Seed().integer(1, 0, 1).integer(0, 0, 255)
          .bytes(bytes([1, 2, 130])).encode())
    write("setup_replies", "serial-no-set-ack", Seed().integer(1, 0, 1).integer(0x12, 0, 255)
          .bytes(bytes([1, 2, 130, 4, 5, 0xFC])).encode())


if __name__ == "__main__":
    packet_seeds(sys.argv[1])
    command_seeds()
    text_seeds()
    setup_seeds()
