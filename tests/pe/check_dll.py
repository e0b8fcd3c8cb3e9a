#!/usr/bin/env python3
"""Checks a built VLXCustomHook.dll as the installer host, the Windows loader
and Windows debuggers read the file (with Debian's python3-pefile; run with
/usr/bin/python3). Every kind:
  machine i386, a DLL; exactly three exports by name, ordinal base 1, in
  name order; imports from Windows system DLLs only; the asInvoker manifest
  and a version resource; no C++ runtime; ASLR (DYNAMIC_BASE, with
  relocations) and NX.
And what each build keeps besides:
  shipped  the MSVC-ABI DLL as dist/ holds it: its CodeView record names
           the PDB beside it (same GUID and age) by file name alone, its
           time stamp comes from its contents, the symbol store holds both
           under their keys; a load configuration as the loader reads it,
           with the /GS cookie, the SafeSEH table and Control Flow Guard.
  gcc      the mingw-w64 build's (gcc) DLL: the stack protector linked in.
  clang    the clang gate's DLL: the stack protector linked in.

    check_dll.py DLL KIND [NM]"""
import os
import re
import struct
import subprocess
import sys

import pefile

dll, kind = sys.argv[1], sys.argv[2]
nm = sys.argv[3] if len(sys.argv) > 3 else "i686-w64-mingw32-nm"
failures = []


def fail(what):
    failures.append(what)
    print(f"FAIL ({kind}): {what}")


image = pefile.PE(dll)
data = open(dll, "rb").read()
header = image.OPTIONAL_HEADER
characteristics = header.DllCharacteristics

if image.FILE_HEADER.Machine != pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]:
    fail("machine is not i386")
if not image.is_dll():
    fail("not a DLL")

# Exports: the host finds them by name; ordinals 1 to 3 in name order.
exports = getattr(image, "DIRECTORY_ENTRY_EXPORT", None)
names = [b"QXInstallerCustomHookCloseSession", b"QXInstallerCustomHookInitSession", b"QXInstallerCustomHookProcV2"]
if exports is None:
    fail("no export table")
else:
    if exports.struct.Base != 1:
        fail(f"ordinal base is {exports.struct.Base}, not 1")
    found = [(symbol.ordinal, symbol.name) for symbol in exports.symbols]
    if found != list(zip((1, 2, 3), names)):
        fail(f"exports differ: {found}")

# Imports: Windows system DLLs only.
allowed = {"kernel32.dll", "advapi32.dll", "shell32.dll", "shlwapi.dll", "ole32.dll", "ntdll.dll", "msvcrt.dll"}
imports = [entry.dll.decode().lower() for entry in getattr(image, "DIRECTORY_ENTRY_IMPORT", [])]
if not imports:
    fail("no import table")
for name in imports:
    if name not in allowed:
        fail(f"imports a non-system DLL: {name}")

# Resources: the manifest (RT_MANIFEST, id 2 for a DLL) and the version.
resources = {}
root = getattr(image, "DIRECTORY_ENTRY_RESOURCE", None)
for type_entry in root.entries if root is not None else []:
    resources[type_entry.id] = [entry.id for entry in type_entry.directory.entries]
if 2 not in resources.get(pefile.RESOURCE_TYPE["RT_MANIFEST"], []):
    fail("no RT_MANIFEST (24) resource of id 2")
if b'<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' not in data:
    fail("manifest lacks asInvoker / uiAccess false")
if pefile.RESOURCE_TYPE["RT_VERSION"] not in resources:
    fail("no RT_VERSION (16) resource")

# Hardening every build keeps: ASLR with the relocations it needs, NX.
for flag in ("IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE", "IMAGE_DLLCHARACTERISTICS_NX_COMPAT"):
    if not characteristics & pefile.DLL_CHARACTERISTICS[flag]:
        fail(f"DllCharacteristics lacks {flag}")
if header.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]].Size == 0:
    fail("no relocation table")

# No C++ runtime: nothing in the DLL can throw or unwind into the host (the
# gcc and clang builds' DLLs keep their debug information, which names the C
# library's own headers: their symbols are looked at instead, below).
if kind == "shipped" and re.search(rb"St9exception|St9bad_alloc|St9type_info|__gnu_cxx|basic_string|terminate called|"
                                 rb"bad_alloc@std", data):
    fail("holds C++ runtime code (type information of std::exception or std::bad_alloc, or its texts)")


def section_of(rva):
    for section in image.sections:
        if section.VirtualAddress <= rva < section.VirtualAddress + max(section.Misc_VirtualSize, 1):
            return section
    return None


def inside(va, what):
    """The section holding the image address va, or None (and a failure)."""
    section = section_of(va - header.ImageBase) if va >= header.ImageBase else None
    if section is None:
        fail(f"{what} (0x{va:X}) lies outside the image")
    return section


def writable(section):
    return bool(section.Characteristics & pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_WRITE"])


def executable(section):
    return bool(section.Characteristics & pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_EXECUTE"])


def pdb_signature(path):
    """GUID and age of a PDB, from its information stream (stream 1 of the
    multi-stream file)."""
    with open(path, "rb") as pdb:
        raw = pdb.read()
    if not raw.startswith(b"Microsoft C/C++ MSF 7.00\r\n\x1aDS\0\0\0"):
        return None
    block_size, _, _, directory_bytes, _, block_map = struct.unpack_from("<6I", raw, 32)

    def block(number):
        return raw[number * block_size:(number + 1) * block_size]

    directory_blocks = (directory_bytes + block_size - 1) // block_size
    map_entries = struct.unpack_from(f"<{directory_blocks}I", block(block_map))
    directory = b"".join(block(number) for number in map_entries)
    streams = struct.unpack_from("<I", directory)[0]
    sizes = struct.unpack_from(f"<{streams}I", directory, 4)
    at = 4 + 4 * streams
    blocks_of = []
    for size in sizes:
        count = 0 if size == 0xFFFFFFFF else (size + block_size - 1) // block_size
        blocks_of.append(struct.unpack_from(f"<{count}I", directory, at))
        at += 4 * count
    info = b"".join(block(number) for number in blocks_of[1])
    _, _, age = struct.unpack_from("<3I", info)
    return info[12:28], age


def check_shipped():
    """The DLL that ships: MSVC ABI, its PDB, its load configuration."""
    folder = os.path.dirname(os.path.abspath(dll))
    debug = {entry.struct.Type: entry for entry in getattr(image, "DIRECTORY_ENTRY_DEBUG", [])}
    codeview = debug.get(pefile.DEBUG_TYPE["IMAGE_DEBUG_TYPE_CODEVIEW"])
    record = codeview.entry if codeview is not None else None
    if record is None or getattr(record, "CvSignature", b"") != b"RSDS":
        fail("no CodeView (RSDS) record")
    else:
        if record.PdbFileName.rstrip(b"\0") != b"VLXCustomHook.pdb":
            fail(f"the CodeView record names {record.PdbFileName!r}, not the PDB's file name alone")
        guid = struct.pack("<IHH", record.Signature_Data1, record.Signature_Data2, record.Signature_Data3) + \
            bytes([record.Signature_Data4, record.Signature_Data5]) + record.Signature_Data6
        pdb = os.path.join(folder, "VLXCustomHook.pdb")
        signature = pdb_signature(pdb) if os.path.exists(pdb) else None
        if signature != (guid, record.Age):
            fail("the PDB beside the DLL is not the one its CodeView record names (GUID and age)")
        pdb_key = f"{record.Signature_Data1:08X}{record.Signature_Data2:04X}{record.Signature_Data3:04X}" \
                  f"{record.Signature_Data4:02X}{record.Signature_Data5:02X}" + \
                  record.Signature_Data6.hex().upper() + f"{record.Age:X}"
        dll_key = f"{image.FILE_HEADER.TimeDateStamp:08X}{header.SizeOfImage:X}"
        for name, key, same in (("VLXCustomHook.pdb", pdb_key, pdb), ("VLXCustomHook.dll", dll_key, dll)):
            stored = os.path.join(folder, "symbols", name, key, name)
            if not os.path.exists(stored) or open(stored, "rb").read() != open(same, "rb").read():
                fail(f"the symbol store lacks {name}/{key}/{name}")
    # A time stamp from the contents: the REPRO entry says so, and every
    # stamp is that hash.
    if pefile.DEBUG_TYPE["IMAGE_DEBUG_TYPE_REPRO"] not in debug:
        fail("no REPRO debug entry: the time stamp is not the contents'")
    stamps = {image.FILE_HEADER.TimeDateStamp} | {entry.struct.TimeDateStamp for entry in debug.values()}
    if len(stamps) != 1:
        fail(f"time stamps differ: {sorted(stamps)}")

    # The load configuration, as the loader reads it.
    directory = header.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG"]]
    config = getattr(image, "DIRECTORY_ENTRY_LOAD_CONFIG", None)
    if config is None:
        fail("no load configuration")
        return
    config = config.struct
    # The sizes of the layouts Windows versions read (x86).
    if config.Size not in (0x40, 0x48, 0x5C, 0x68, 0x78, 0x80, 0x90, 0xA0, 0xA4, 0xAC, 0xB8, 0xBC, 0xC0, 0xC4):
        fail(f"the load configuration's size 0x{config.Size:X} is no known layout's")
    if directory.Size != config.Size:
        fail(f"the load configuration's directory says 0x{directory.Size:X} bytes, the structure 0x{config.Size:X}")
    if config.Size < 0x5C:
        fail("the load configuration has no Control Flow Guard fields")
        return
    # /GS: the cookie the loader and the entry point set, in writable data.
    cookie = inside(config.SecurityCookie, "the /GS cookie") if config.SecurityCookie else None
    if cookie is None or not writable(cookie):
        fail("no /GS cookie in writable data")
    # SafeSEH: a table of the handlers the image may run (sorted, in its
    # code), or none at all with NO_SEH.
    no_seh = characteristics & pefile.DLL_CHARACTERISTICS["IMAGE_DLLCHARACTERISTICS_NO_SEH"]
    if config.SEHandlerCount:
        table = inside(config.SEHandlerTable, "the SafeSEH table")
        handlers = struct.unpack_from(f"<{config.SEHandlerCount}I",
                                      image.get_data(config.SEHandlerTable - header.ImageBase, 4 * config.SEHandlerCount))
        if table is None or list(handlers) != sorted(set(handlers)) or \
                not all(section_of(rva) and executable(section_of(rva)) for rva in handlers):
            fail("the SafeSEH table is not a sorted table of handlers in the code")
    elif not no_seh:
        fail("neither SafeSEH handlers nor NO_SEH")
    # Control Flow Guard: the flag, instrumented code, the function table
    # (sorted, in the code), and the check's pointer read-only once loaded.
    if not characteristics & pefile.DLL_CHARACTERISTICS["IMAGE_DLLCHARACTERISTICS_GUARD_CF"]:
        fail("DllCharacteristics lacks GUARD_CF")
    for bit, what in ((0x100, "CF_INSTRUMENTED"), (0x400, "CF_FUNCTION_TABLE_PRESENT")):
        if not config.GuardFlags & bit:
            fail(f"GuardFlags 0x{config.GuardFlags:X} lacks {what}")
    check = inside(config.GuardCFCheckFunctionPointer, "the CFG check pointer")
    if check is not None and writable(check):
        fail("the CFG check pointer lies in a section that stays writable")
    stride = 4 + (config.GuardFlags >> 28)
    count = config.GuardCFFunctionCount
    if count == 0 or inside(config.GuardCFFunctionTable, "the CFG function table") is None:
        fail("no CFG function table")
    else:
        table = image.get_data(config.GuardCFFunctionTable - header.ImageBase, stride * count)
        functions = [struct.unpack_from("<I", table, i * stride)[0] for i in range(count)]
        if functions != sorted(set(functions)):
            fail("the CFG function table is not sorted")
        if not all(section_of(rva) and executable(section_of(rva)) for rva in functions):
            fail("the CFG function table names a place outside the code")


def check_stack_protector():
    """GCC's and clang's stack protector: the DLL's own runtime, no C++ one."""
    symbols = subprocess.run([nm, dll], capture_output=True, text=True).stdout
    if not re.search(r" [TtBbDd] ___stack_chk_fail$", symbols, re.M):
        fail("the stack protector's runtime is not linked in")
    if not re.search(r" [TtBbDd] ___stack_chk_guard$", symbols, re.M):
        fail("no stack protector guard")
    runtime = sorted(set(re.findall(r"(?:__cxa_|_Unwind_|_ZNSt|_ZTISt|_ZTSSt)\w*", symbols)))
    if runtime:
        fail(f"holds C++ runtime symbols: {' '.join(runtime[:5])}")


if kind == "shipped":
    check_shipped()
elif kind in ("gcc", "clang"):
    check_stack_protector()
else:
    fail("unknown kind (shipped, gcc or clang)")

print(f"{kind}: {len(data)} bytes; imports: {' '.join(imports)}")
if failures:
    print(f"{len(failures)} check(s) failed")
    sys.exit(1)
print(f"PE checks passed ({kind})")
