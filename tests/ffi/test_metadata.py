# SPDX-License-Identifier: Apache-2.0
"""Reads the interface metadata back from the built library file as a binding generator does:
walks the ELF .symtab for UNIFFI_META symbols, decodes every item with a decoder of its own and
checks the items against the interface and against the checksum exports.

QUORVANTA_LIBRARY names the library file (ctest sets it)."""

import ctypes
import io
import os
import struct
from pathlib import Path

LIBRARY = Path(os.environ["QUORVANTA_LIBRARY"])


def metadata_symbols():
    """Every UNIFFI_META symbol of the library's .symtab (64-bit little-endian ELF), with the bytes
    it covers."""
    data = LIBRARY.read_bytes()
    assert data[4:6] == b"\x02\x01", "not 64-bit little-endian ELF"
    offset, = struct.unpack_from("<Q", data, 0x28)
    size, count = struct.unpack_from("<HH", data, 0x3A)
    # name, type, flags, address, offset, size, link
    sections = [struct.unpack_from("<IIQQQQI", data, offset + i * size) for i in range(count)]
    symbols = {}
    for _, kind, _, _, table, table_size, link in sections:
        if kind != 2:  # SHT_SYMTAB
            continue
        names = sections[link][4]
        for at in range(table, table + table_size, 24):
            name_at, _, _, section, value, length = struct.unpack_from("<IBBHQQ", data, at)
            name = data[names + name_at:data.index(b"\0", names + name_at)].decode()
            if name.startswith("UNIFFI_META"):
                _, _, _, address, home, *_ = sections[section]
                symbols[name] = data[home + value - address:][:length]
    return symbols


TYPES = {2: "u32", 3: "u64", 8: "f32", 9: "f64", 10: "bool", 11: "string", 255: "()"}
NAMED_TYPES = {13: "", 14: "enum ", 16: "object "}
KINDS = {0: "func", 1: "method", 2: "record", 3: "enum", 4: "interface", 6: "namespace",
         7: "constructor"}


def decode(data):
    """The symbol name that an item's kind and name call for, its "signature|documentation", the
    number of bytes it spans, and for an operation the export that returns its checksum. Types
    print compactly: [T] a sequence, T? an optional, {K:V} a map."""
    stream = io.BytesIO(data)
    byte = lambda: stream.read(1)[0]  # noqa: E731
    text = lambda: stream.read(byte()).decode()  # noqa: E731
    joined = lambda part: ",".join(part() for _ in range(byte()))  # noqa: E731

    def zero():  # a flag that this interface never sets, or a default it never has
        assert byte() == 0, f"unexpected flag at {stream.tell() - 1}"
        return ""

    def doc(quoted=False):
        value = stream.read(byte() | byte() << 8).decode()
        return f' "{value}"' if quoted and value else value

    def name():
        assert text() == "quorvanta_core"
        return text()

    def type_():
        code = byte()
        if code == 12:
            return type_() + "?"
        if code == 17:
            return f"[{type_()}]"
        if code == 18:
            return f"{{{type_()}:{type_()}}}"
        return NAMED_TYPES[code] + name() if code in NAMED_TYPES else TYPES[code]

    def argument():
        return f"{text()}:{type_()}{zero()}"

    def fields():
        listed = joined(lambda: argument() + doc(quoted=True))
        return f"{{{listed}}}" if listed else ""

    # The bodies: a record's fields, an enum's variants (after shape and discriminant type, before
    # the non-exhaustive flag), an operation's arguments and return type (after the async flag).
    def variants():
        shape = zero() + zero()
        listed = joined(lambda: text() + zero() + fields() + doc(quoted=True))
        return f"{shape}{{{listed}}}{zero()}"

    bodies = {"record": fields, "enum": variants, "interface": lambda: ""}
    kind = KINDS[byte()]
    if kind == "namespace":  # the crate, then the namespace's name
        crate = text()
        return f"UNIFFI_META_NAMESPACE_{crate.upper()}", f"namespace {crate} {text()}|", 0, None
    owner = name()
    method = text() if kind in ("method", "constructor") else ""
    item = "_".join(filter(None, (kind, owner, method)))
    signature = " ".join((kind, ".".join(filter(None, (owner, method)))))
    signature += bodies.get(kind, lambda: f"{zero()}({joined(argument)})->{type_()}")()
    described = f"{signature}|{doc()}"
    checksum = None if kind in bodies else f"uniffi_quorvanta_core_checksum_{item.lower()}"
    return f"UNIFFI_META_QUORVANTA_CORE_{item.upper()}", described, stream.tell(), checksum


def fnv1a_checksum(data):
    value = 0xcbf29ce484222325
    for byte in data:
        value = (value ^ byte) * 0x100000001b3 % 2**64
    return (value ^ value >> 16 ^ value >> 32 ^ value >> 48) & 0xFFFF


# The items besides the operations whose fields between them use every kind of type a field can
# have, with their documentation's first words.
EXPECTED_ITEMS = [
    "namespace quorvanta_core quorvanta_core|",
    "record SessionConfig{model_name:string,supported_vitals:[string],return_waveforms:[string]?,"
    "fps_target:f32,input_size:u64,n_inputs:u64,roi_method:string}|Configuration for",
    "record SessionResult{timestamp:[f64],face:FaceResult?,waveforms:{string:WaveformResult},"
    "vitals:{string:VitalResult},fps:f32,message:string}|The final payload",
    "record BufferMetadata{id:string,roi:Rect,count:u32,created_at:f64,last_seen:f64}|Identifiable",
    "record BufferAction{action:enum BufferActionType,matched_id:string?,roi:Rect?}|The concrete",
    "enum WaveformMode{Incremental \"Returns only newly added frames, discarding older history.\","
    "Windowed{seconds:f32} \"Returns a fixed trailing window of data (in seconds).\","
    "Global \"Returns the entire history and disables state pruning.\"}|Dictates how the session",
    "interface Session|A thread-safe, stateful session object",
]


def test_the_library_file_holds_every_item_under_its_name():
    items = []
    for symbol, data in metadata_symbols().items():
        name, text, _, checksum = decode(data)
        assert symbol == name
        if checksum is None:
            items.append(text)
    assert len(items) == 28
    for expected in EXPECTED_ITEMS:
        assert sum(item.startswith(expected) for item in items) == 1, expected


def test_operations_hash_to_the_checksums_their_exports_return():
    library = ctypes.CDLL(str(LIBRARY))
    operations = 0
    for data in metadata_symbols().values():
        *_, size, export = decode(data)
        if export:
            operations += 1
            checksum = getattr(library, export)
            checksum.restype = ctypes.c_uint16
            assert fnv1a_checksum(data[:size]) == checksum(), export
    assert operations == 15
