#!/usr/bin/env python3
"""Lays a DLL and its PDB out as Windows debuggers and symbol servers find
them, under STORE:
    VLXCustomHook.pdb/<GUID><age>/VLXCustomHook.pdb
    VLXCustomHook.dll/<time stamp><image size>/VLXCustomHook.dll
the keys read from the DLL itself (its CodeView record and its PE header)
in upper-case hexadecimal, as a symbol-server client works them out. Prints
the two keys. Needs Debian's python3-pefile (run with /usr/bin/python3).

    symbol-store.py DLL PDB STORE"""
import os
import shutil
import sys

import pefile


def codeview(image):
    """The DLL's CodeView (RSDS) record: its PDB's GUID, age and name."""
    for entry in getattr(image, "DIRECTORY_ENTRY_DEBUG", []):
        record = entry.entry
        if entry.struct.Type == pefile.DEBUG_TYPE["IMAGE_DEBUG_TYPE_CODEVIEW"] and record is not None and \
                getattr(record, "CvSignature", b"") == b"RSDS":
            return record
    return None


def pdb_key(record):
    guid = (f"{record.Signature_Data1:08X}{record.Signature_Data2:04X}{record.Signature_Data3:04X}"
            f"{record.Signature_Data4:02X}{record.Signature_Data5:02X}" + record.Signature_Data6.hex().upper())
    return f"{guid}{record.Age:X}"


def dll_key(image):
    return f"{image.FILE_HEADER.TimeDateStamp:08X}{image.OPTIONAL_HEADER.SizeOfImage:X}"


def main():
    dll, pdb, store = sys.argv[1:4]
    image = pefile.PE(dll)
    record = codeview(image)
    if record is None:
        sys.exit(f"symbol-store: {dll} has no CodeView record")
    for name, key, source in (("VLXCustomHook.pdb", pdb_key(record), pdb),
                              ("VLXCustomHook.dll", dll_key(image), dll)):
        folder = os.path.join(store, name, key)
        os.makedirs(folder, exist_ok=True)
        shutil.copyfile(source, os.path.join(folder, name))
        print(f"{name}/{key}")


if __name__ == "__main__":
    main()
