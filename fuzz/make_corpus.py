#!/usr/bin/env python3
"""Writes the fuzz seed corpus: valid OPC DA 1.0 streams in both value layouts (32-bit:
16-byte VARIANT, 24-byte descriptor; 64-bit: 24-byte VARIANT, 32-byte descriptor), with
BSTR arrays in both encodings (element slots and padding, or packed), values aligned or
packed at any offset. Each file starts with the kind byte of the fuzz target (0 data
stream, 1 time-stamped data stream, 2 write-complete stream; plus 3 for a reader that
prefers the 64-bit layout). Run from anywhere; rewrites fuzz/corpus/."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus")

VT = dict(EMPTY=0, NULL=1, I2=2, I4=3, R4=4, R8=5, CY=6, DATE=7, BSTR=8, ERROR=10, BOOL=11,
          DECIMAL=14, I1=16, UI1=17, UI2=18, UI4=19, I8=20, UI8=21, INT=22, UINT=23)
ARRAY = 0x2000
FMT = dict(I2="<h", I4="<i", R4="<f", R8="<d", CY="<q", DATE="<d", ERROR="<I", BOOL="<h",
           I1="<b", UI1="<B", UI2="<H", UI4="<I", I8="<q", UI8="<Q", INT="<i", UINT="<I")


def align(n, to):
    return (n + to - 1) & ~(to - 1)


class Form:
    """ptr: 4 or 8 (the layout); packed: values back to back, BSTR arrays packed."""

    def __init__(self, ptr=4, packed=False):
        self.ptr, self.packed = ptr, packed
        self.slot = 24 if ptr == 8 else 16

    def finish(self, out):
        out = bytes(out)
        return out if self.packed else out + bytes(align(len(out), 8) - len(out))

    def descriptor(self, features, cb, count, lower):
        if self.ptr == 8:
            return struct.pack("<HHIIIQIi", 1, features, cb, 0, 0, 0, count, lower)
        return struct.pack("<HHIIIIi", 1, features, cb, 0, 0, count, lower)


F32 = Form()


def scalar(t, value, f=F32):
    slot = bytearray(f.slot)
    struct.pack_into("<H", slot, 0, VT[t])
    if t in FMT:
        packed = struct.pack(FMT[t], value)
        slot[8:8 + len(packed)] = packed
    return bytes(slot)


def decimal(scale, sign, hi32, lo64, f=F32):
    return struct.pack("<HBBIQ", VT["DECIMAL"], scale, sign, hi32, lo64) + bytes(f.slot - 16)


def string(text, f=F32):
    chars = text.encode("utf-16-le")
    out = bytearray(f.slot)
    struct.pack_into("<H", out, 0, VT["BSTR"])
    out += struct.pack("<I", len(chars)) + chars + b"\0\0"
    return f.finish(out)


def array(t, values, lower=0, f=F32):
    fmt = FMT[t]
    size = struct.calcsize(fmt)
    out = bytearray(f.slot)
    struct.pack_into("<H", out, 0, ARRAY | VT[t])
    out += f.descriptor(0, size, len(values), lower)
    for v in values:
        out += struct.pack(fmt, v)
    return f.finish(out)


def string_array(texts, lower=0, f=F32):
    out = bytearray(f.slot)
    struct.pack_into("<H", out, 0, ARRAY | VT["BSTR"])
    out += f.descriptor(0x100, f.ptr, len(texts), lower)
    if not f.packed:
        out += bytes(f.ptr * len(texts))
    for text in texts:
        chars = text.encode("utf-16-le")
        rec = struct.pack("<I", len(chars)) + chars + b"\0\0"
        out += rec if f.packed else rec + bytes(align(len(rec), 4) - len(rec))
    return f.finish(out)


def data_stream(items, group=1, transaction=0, timed=True, packed=False):
    """items: (hClient, quality, time, value bytes)"""
    header_size = 20 if timed else 12
    values_at = 20 + len(items) * header_size
    if not packed:
        values_at = align(values_at, 8)
    headers, values = bytearray(), bytearray()
    for h_client, quality, time, value in items:
        headers += struct.pack("<IIHH", h_client, values_at + len(values), quality, 0)
        if timed:
            headers += struct.pack("<Q", time)
        values += value
    body = headers + bytes(values_at - 20 - len(headers)) + values
    total = 20 + len(body)
    return struct.pack("<IIIIi", total, len(items), group, transaction, 0) + body


def write_stream(entries, status=0, group=1, transaction=7):
    out = struct.pack("<IIIi", len(entries), group, transaction, status)
    for h_client, error in entries:
        out += struct.pack("<Ii", h_client, error)
    return out


def seeds():
    t = 0x01D9_0000_1234_5678
    yield "example_r4", 1, data_stream([(0x00400001, 0xC0, t, scalar("R4", 12.5))])
    scalars = [("I2", -2), ("I4", 70000), ("R4", 1.5), ("R8", 3.25), ("CY", 12345), ("DATE", 45000.5),
               ("ERROR", 0x80004005), ("BOOL", -1), ("I1", -5), ("UI1", 200), ("UI2", 60000),
               ("UI4", 4000000000), ("I8", -(1 << 40)), ("UI8", 1 << 63), ("INT", -9), ("UINT", 9)]
    items = [(i + 1, 0xC0, t + i, scalar(k, v)) for i, (k, v) in enumerate(scalars)]
    items += [(100, 0x00, t, scalar("EMPTY", 0)), (101, 0x40, t, scalar("NULL", 0)),
              (102, 0xC0, t, decimal(2, 0x80, 1, 12345))]
    yield "scalars_time", 1, data_stream(items)
    yield "scalars_notime", 0, data_stream(items, timed=False)
    strings = [(1, 0xC0, t, string("Hello")), (2, 0xC0, t, string("")),
               (3, 0xC0, t, string("温度 sensor 7")), (4, 0xC0, t, scalar("R8", 1.0))]
    yield "strings_time", 1, data_stream(strings, group=3)
    yield "strings_notime", 0, data_stream(strings, group=3, timed=False)
    arrays = [(1, 0xC0, t, array("R4", [float(i) for i in range(16)])),
              (2, 0xC0, t, array("BOOL", [-1, 0, -1], lower=1)),
              (3, 0xC0, t, array("I8", [])),
              (4, 0xC0, t, array("UI1", list(range(7)), lower=-3)),
              (5, 0xC0, t, array("R8", [0.5, 1.5]))]
    yield "arrays_time", 1, data_stream(arrays, group=2, transaction=9)
    yield "arrays_notime", 0, data_stream(arrays, group=2, timed=False)
    bstr_arrays = [(1, 0xC0, t, string_array(["a", "bc", "", "四五六"])),
                   (2, 0xC0, t, string_array([])), (3, 0xC0, t, string_array(["x" * 33], lower=5))]
    yield "bstr_arrays_time", 1, data_stream(bstr_arrays)
    yield "bstr_arrays_notime", 0, data_stream(bstr_arrays, timed=False)
    yield "mixed_time", 1, data_stream([items[3], strings[0], arrays[0], bstr_arrays[0], items[-1]])
    yield "empty_time", 1, data_stream([], group=5)
    yield "empty_notime", 0, data_stream([], group=5, timed=False)
    for ptr, packed, kinds in ((8, False, (4, 0)), (4, True, (1, 3)), (8, True, (4, 0))):
        f = Form(ptr, packed)
        name = ("l64" if ptr == 8 else "l32") + ("_packed" if packed else "")
        values = [(1, 0xC0, t, string("Hello", f)), (2, 0xC0, t, array("UI1", [1, 2, 3, 4, 5, 6, 7], 1, f)),
                  (3, 0xC0, t, scalar("R8", 2.5, f)), (4, 0xC0, t, string_array(["a", "", "四五六"], 2, f)),
                  (5, 0xC0, t, string("", f)), (6, 0xC0, t, array("R4", [0.5, 1.5, 2.5], 0, f)),
                  (7, 0xC0, t, decimal(1, 0, 0, 77, f)), (8, 0xC0, t, scalar("EMPTY", 0, f))]
        yield name + "_time", kinds[0], data_stream(values, group=4, packed=packed)
        yield name + "_notime", kinds[1], data_stream(values, group=4, timed=False, packed=packed)
    yield "write_ok", 2, write_stream([(1, 0), (2, 0)])
    yield "write_errors", 2, write_stream([(1, 0), (2, 0xC0040004 - (1 << 32)), (3, 0x80004005 - (1 << 32))])
    yield "write_status_failed", 2, write_stream([(1, 0)], status=0x80004005 - (1 << 32))
    yield "write_empty", 2, write_stream([])


def main():
    os.makedirs(OUT, exist_ok=True)
    for name in os.listdir(OUT):
        os.remove(os.path.join(OUT, name))
    for name, kind, stream in seeds():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(bytes([kind]) + stream)


if __name__ == "__main__":
    main()
