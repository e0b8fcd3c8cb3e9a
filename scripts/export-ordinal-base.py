#!/usr/bin/env python3
"""Sets a DLL's export ordinal base to its lowest ordinal, in place.

lld (lld-link, and ld.lld for mingw-w64) 14 writes every export table with
ordinal base 0, so the .def file's @1..@3 become slots 1 to 3 behind an empty
slot 0, where GNU ld and link.exe write base 1 and three slots. This moves the
base up past the empty leading slots: the address table starts that many
slots later and each name's ordinal index drops by as many. It checks the
layout first and changes nothing it does not understand (exit 1); a table
whose base is not 0 is left alone.

    export-ordinal-base.py DLL
"""
import struct
import sys


def fail(message):
    print(f"export-ordinal-base: {message}", file=sys.stderr)
    sys.exit(1)


def main(path):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        fail(f"{path} is not a PE file")
    coff = pe + 4
    sections, = struct.unpack_from("<H", data, coff + 2)
    optional_size, = struct.unpack_from("<H", data, coff + 16)
    optional = coff + 20
    magic, = struct.unpack_from("<H", data, optional)
    if magic != 0x10B:
        fail(f"{path} is not a PE32 image")
    checksum_at = optional + 64
    export_rva, _ = struct.unpack_from("<II", data, optional + 96)
    if export_rva == 0:
        fail(f"{path} has no export table")

    table = optional + optional_size
    section_list = [struct.unpack_from("<IIII", data, table + 40 * i + 8) for i in range(sections)]

    def offset(rva):
        for virtual_size, address, raw_size, raw_at in section_list:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw_at + rva - address
        fail(f"RVA {rva:#x} lies in no section")

    directory = offset(export_rva)
    base, functions, names, functions_rva, _, ordinals_rva = struct.unpack_from("<IIIIII", data, directory + 16)
    if base != 0:
        print(f"{path}: ordinal base {base}, left as it is")
        return
    slots = [struct.unpack_from("<I", data, offset(functions_rva) + 4 * i)[0] for i in range(functions)]
    empty = next((i for i, slot in enumerate(slots) if slot != 0), None)
    if empty is None or empty == 0:
        fail(f"{path}: no empty leading slot to drop (slots {slots})")
    ordinals_at = offset(ordinals_rva)
    indexes = [struct.unpack_from("<H", data, ordinals_at + 2 * i)[0] for i in range(names)]
    if min(indexes) < empty:
        fail(f"{path}: a name points at an empty leading slot")

    if struct.unpack_from("<I", data, checksum_at)[0] != 0:
        fail(f"{path} carries an image checksum, which this step would leave wrong")
    struct.pack_into("<III", data, directory + 16, empty, functions - empty, names)
    struct.pack_into("<I", data, directory + 28, functions_rva + 4 * empty)
    for i, index in enumerate(indexes):
        struct.pack_into("<H", data, ordinals_at + 2 * i, index - empty)
    with open(path, "wb") as f:
        f.write(data)
    print(f"{path}: ordinal base 0 -> {empty}")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        fail("usage: export-ordinal-base.py DLL")
    main(sys.argv[1])
