#!/usr/bin/env python3
"""Compares what the Linux and the Windows build of packsmith-cli wrote into their work
folders (tools/windows/compare.sh): the same files, byte for byte.

- A name that is not UTF-8 (a byte of a pack's stored name) is the same bytes on Linux, and
  on Windows, whose names are UTF-16, each byte that starts no valid UTF-8 sequence becomes
  its Windows-1252 character: the Linux name is mapped so before the names are compared.
- Result logs and project lists name files by full path: each side's work folder is set
  aside ("<work>") before they are compared.
- Sound resampled to another rate (folders named like-*): libsoxr designs its filter with
  the system's maths library, whose last bits differ between glibc, Wine and Windows, so a
  sample on the edge of a rounding may go the other way. Such a pack must be as long as the
  other and decode (by the Linux build) to the same sound: almost every sample the same, the
  differences 60 dB below the sound.

  compare_trees.py WORK LINUX_CLI     (WORK holds L/ and W/)
Exits 1 on the first difference, naming it.
"""
import math
import os
import struct
import subprocess
import sys
import tempfile
import wave

WINDOWS_1252 = [0x20AC, 0x81, 0x201A, 0x192, 0x201E, 0x2026, 0x2020, 0x2021, 0x2C6, 0x2030, 0x160,
                0x2039, 0x152, 0x8D, 0x17D, 0x8F, 0x90, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                0x2013, 0x2014, 0x2DC, 0x2122, 0x161, 0x203A, 0x153, 0x9D, 0x17E, 0x178]


def valid_sequence_length(name, at):
    lead = name[at]
    if lead < 0x80:
        return 1
    for count, mask, bits, least in ((2, 0xE0, 0xC0, 0x80), (3, 0xF0, 0xE0, 0x800), (4, 0xF8, 0xF0, 0x10000)):
        if lead & mask == bits:
            break
    else:
        return 0
    piece = name[at:at + count]
    if len(piece) < count or any(b & 0xC0 != 0x80 for b in piece[1:]):
        return 0
    point = lead & (0xFF >> (count + 1))
    for b in piece[1:]:
        point = point << 6 | (b & 0x3F)
    if point < least or point > 0x10FFFF or 0xD800 <= point <= 0xDFFF:
        return 0
    return count


def windows_name(name):
    """The bytes of the UTF-8 name Windows gives a file the program named with these bytes."""
    out, at = [], 0
    while at < len(name):
        length = valid_sequence_length(name, at)
        if length:
            out.append(name[at:at + length].decode("utf-8"))
            at += length
        else:
            byte = name[at]
            out.append(chr(WINDOWS_1252[byte - 0x80] if byte < 0xA0 else byte))
            at += 1
    return "".join(out).encode("utf-8")


def files(root):
    found = []
    for folder, _, names in os.walk(root):
        for name in names:
            found.append(os.path.relpath(os.path.join(folder, name), root))
    return sorted(found)


def fail(message):
    print("DIFFERENT " + message, file=sys.stderr)
    sys.exit(1)


def decoded(cli, pack, into):
    subprocess.run([cli, "-q", "-o", into, pack], check=True, stdout=subprocess.DEVNULL)
    wav = next(os.path.join(into, n) for n in os.listdir(into) if n.endswith(b".wav"))
    with wave.open(wav.decode("utf-8", "surrogateescape")) as w:
        frames = w.readframes(w.getnframes())
    return struct.unpack(f"<{len(frames) // 2}h", frames)


def same_sound(cli, left, right, name):
    if os.path.getsize(left) != os.path.getsize(right):
        fail(f"size of {name}")
    with tempfile.TemporaryDirectory() as scratch:
        x = decoded(cli, left, os.path.join(scratch.encode(), b"L"))
        y = decoded(cli, right, os.path.join(scratch.encode(), b"W"))
    differing = [a - b for a, b in zip(x, y) if a != b]
    signal = sum(a * a for a in x) or 1
    noise = sum(d * d for d in differing)
    snr = 10 * math.log10(signal / noise) if noise else math.inf
    print(f"   {name}: {len(differing)} of {len(x)} samples differ after resampling, {snr:.1f} dB below the sound")
    if len(x) != len(y) or len(differing) > len(x) // 1000 or snr < 60:
        fail(f"sound in {name}")


def main():
    work, cli = os.fsencode(sys.argv[1]), sys.argv[2]
    left_root, right_root = os.path.join(work, b"L"), os.path.join(work, b"W")
    left, right = files(left_root), files(right_root)
    expected = sorted(windows_name(n) for n in left)
    if expected != right:
        missing = sorted(set(expected) - set(right))[:5]
        extra = sorted(set(right) - set(expected))[:5]
        fail(f"files written: only on Linux {missing}, only on Windows {extra}")
    marks = {left_root: os.path.realpath(left_root), right_root: b"Z:" + os.path.realpath(right_root)}
    for name in left:
        shown = name.decode("utf-8", "backslashreplace")
        a = os.path.join(left_root, name)
        b = os.path.join(right_root, windows_name(name))
        if name.startswith(b"out/like-"):
            if open(a, "rb").read() != open(b, "rb").read():
                same_sound(cli, a, b, shown)
            continue
        first, second = open(a, "rb").read(), open(b, "rb").read()
        if name.endswith((b".log", b".lst")):
            first = first.replace(marks[left_root], b"<work>")
            second = second.replace(marks[right_root], b"<work>")
        if first != second:
            fail(f"bytes in {shown}")
    print(f"   {len(left)} files the same")


if __name__ == "__main__":
    main()
