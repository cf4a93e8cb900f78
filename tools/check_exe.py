#!/usr/bin/env python3
"""Inspects a built varnel_setup.exe from the outside.

    check_exe.py --machine i386|amd64 PATH
    check_exe.py --machine i386|amd64 --outputs FOLDER

Reads the PE file itself (standard library only, so it runs wherever the
build runs) and checks what no unit test under Wine can see: the machine and
subsystem, that only system DLLs are imported (a missing -static drags in
libstdc++/libgcc/libwinpthread, which the customer does not have), the zero
time stamp that makes two builds identical, and the resources exactly as the
program and the system expect them: dialog 131 control by control, the icon
groups, the manifest and the version block.

Prints a short report with the file and section sizes, then every mismatch,
and ends with "check_exe: OK" (exit 0) or "check_exe: N problem(s)"
(exit 1).

With --outputs, every program and library a build left in FOLDER (.exe,
.dll, .ocx: the product, the test programs, the stand-ins, the probes) is
checked for the build's machine and for imports of the system's own DLLs
only. A stand-in that needs a run-time DLL of the compiler loads nowhere once
the program's DLL search is limited to the system folder, and regsvr32 cannot
load it either; the 64-bit compilers hide that, so it is checked here, where
no 32-bit program has to run.
"""

import argparse
import json
import os
import struct
import sys
import xml.etree.ElementTree as ET

# ---------------------------------------------------------------------------
# What the exe must contain

MACHINES = {
    # name: (COFF machine, optional header magic, label of the magic)
    "i386": (0x014C, 0x10B, "PE32"),
    "amd64": (0x8664, 0x20B, "PE32+"),
}

SUBSYSTEM_WINDOWS_GUI = 2

# Stems of the DLLs that every supported Windows has in its system folder.
# Anything else must be linked in statically. The test programs may import
# any of them.
SYSTEM_DLLS = {
    "kernel32", "user32", "gdi32", "advapi32", "shell32", "wininet", "msvcrt",
    "comctl32", "ole32", "shlwapi", "version", "ucrtbase", "vcruntime140",
    "cabinet",
}
SYSTEM_DLL_PREFIXES = ("api-ms-win-crt-",)

# What the product itself may import: only the known DLLs (the KnownDLLs of
# Windows 7 and later), which the loader takes from the system folder and
# never from the program's own folder. Any other DLL imported statically is
# looked for beside the program first, before its first line runs, and the
# program runs elevated from a downloads folder: wininet.dll and cabinet.dll
# are therefore loaded at run time by their full path instead.
KNOWN_DLLS = {
    "kernel32", "user32", "gdi32", "advapi32", "shell32", "msvcrt", "ole32",
    "oleaut32", "shlwapi", "comdlg32", "imm32", "rpcrt4",
}

# Functions of the known DLLs that Windows 2000 lacks. The program must still
# start there, to warn that it needs Windows XP: one of these imported
# statically makes the loader refuse it before its first line, so each is
# looked up at run time (GetProcAddress) where the program uses it.
NEWER_THAN_WINDOWS_2000 = {
    "kernel32": {
        "SetDllDirectoryA", "SetDllDirectoryW", "SetDefaultDllDirectories",
        "AddDllDirectory", "SetSearchPathMode", "IsWow64Process", "GetNativeSystemInfo",
        "GetSystemWow64DirectoryA", "Wow64DisableWow64FsRedirection",
        "Wow64RevertWow64FsRedirection", "GetModuleHandleExA", "GetModuleHandleExW",
        "AttachConsole", "AddVectoredExceptionHandler", "RemoveVectoredExceptionHandler",
        "EncodePointer", "DecodePointer", "HeapSetInformation", "GetProcessId",
        "FlsAlloc", "FlsFree", "FlsGetValue", "FlsSetValue", "InitializeSListHead",
        "GetTickCount64", "InitializeCriticalSectionEx", "InitOnceExecuteOnce",
        "CreateSymbolicLinkA", "GetFinalPathNameByHandleA", "QueryFullProcessImageNameA",
        "GetFileInformationByHandleEx", "SetFileInformationByHandle", "CreateActCtxA",
        "ActivateActCtx", "GetErrorMode", "SetThreadErrorMode",
    },
    "user32": {
        "DisableProcessWindowsGhosting", "ShutdownBlockReasonCreate",
        "ShutdownBlockReasonDestroy", "SetProcessDPIAware", "ChangeWindowMessageFilter",
        "ChangeWindowMessageFilterEx", "PrintWindow", "GetLayeredWindowAttributes",
    },
    "advapi32": {
        "CreateWellKnownSid", "IsWellKnownSid", "RegDeleteKeyExA", "RegGetValueA",
        "RegSetKeyValueA", "RegDeleteTreeA", "RegCopyTreeA",
    },
    "shell32": {"SHGetKnownFolderPath"},
}

PE_SUFFIXES = (".exe", ".dll", ".ocx")

RT_ICON = 3
RT_DIALOG = 5
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24

LANG_POLISH = 1045

DIALOG_ID = 131
DIALOG = {
    "style": 0x00C808C0,
    "exstyle": 0,
    "help_id": 0,
    "x": 22, "y": 17, "cx": 380, "cy": 100,
    # No menu and the standard dialog class.
    "menu": 0,
    "class": 0,
    "title": "Instalacja programu Solva",
    "font_points": 9,
    "font_weight": 0,
    "font_italic": 0,
    "font_charset": 1,
    "font_face": "Arial",
}

BUTTON = 0x0080
STATIC = 0x0082

STAGE1_TEXT = ("1. Program pobierze i zainstaluje komponenty niezbędne do"
               + " " * 14 + "przeprowadzenia instalacji.")
STAGE2_TEXT = ("2. Zostanie uruchomiony Instalator. Wówczas będzie można podać"
               + " " * 8 + "parametry instalacyjne" + " " * 2
               + "(np.lokalizację programu i wywołania).")
SERVER_NOTE_TEXT = ("W czasie instalacji program będzie korzystał \n"
                    "z połączenia internetowego.\n"
                    "Czas instalacji zależy od prędkości tego łącza\n"
                    "i może wynieść od kilku do kilkudziesięciu minut.")
# The notice line's wording is the maker's own choice; it must match the
# resource script.
NOTICE_TEXT = "© PI Varnel 1996-2026"

# In template order, which is also the tab and drawing order. An int text is
# an ordinal: the icon resource that the static control shows.
#   (id, class, text, style, extended style, x, y, cx, cy)
CONTROLS = [
    (1000, BUTTON, "&Rozpocznij instalację", 0x50030001, 0x00000000, 5, 82, 100, 15),
    (3, BUTTON, "&Anuluj instalację", 0x50030000, 0x00000000, 111, 82, 100, 15),
    (1016, BUTTON, "Wykonaj lokalnie", 0x40018003, 0x00000000, 135, 55, 65, 10),
    (1022, BUTTON, "Nie instaluj DLL i OCX", 0x40018003, 0x00000000, 135, 68, 81, 10),
    (129, STATIC, 130, 0x50000003, 0x00000000, 345, 3, 20, 20),
    (1021, STATIC, "Program wersja", 0x50020080, 0x00000000, 260, 9, 80, 8),
    (1001, STATIC, NOTICE_TEXT, 0x50020000, 0x00000000, 260, 23, 100, 8),
    (130, STATIC, 130, 0x50010003, 0x00000020, 5, 59, 20, 20),
    (1018, STATIC, "Instalacja odbędzie się w 2 etapach :", 0x50020080, 0x00000000, 5, 5, 200, 9),
    (1019, STATIC, STAGE1_TEXT, 0x50020080, 0x00000000, 10, 15, 200, 17),
    (1017, STATIC, SERVER_NOTE_TEXT, 0x50020080, 0x00000000, 230, 44, 145, 49),
    (-1, STATIC, "Uwaga !", 0x50020080, 0x00000000, 230, 35, 31, 9),
    (1005, STATIC, "Łączenie z serwerem ...", 0x40020080, 0x00000020, 5, 87, 117, 8),
    (134, STATIC, 134, 0x50010003, 0x00000020, 28, 54, 20, 20),
    (135, STATIC, 135, 0x50000003, 0x00000020, 53, 52, 20, 20),
    (133, STATIC, 133, 0x50010003, 0x00000020, 100, 59, 20, 20),
    (132, STATIC, 132, 0x50030003, 0x00000020, 77, 54, 20, 20),
    (1009, STATIC, "z 0 MB", 0x40020080, 0x00000020, 190, 87, 27, 8),
    (1008, STATIC, "0", 0x40020080, 0x00001020, 164, 87, 13, 8),
    (1011, STATIC, "%", 0x40020081, 0x00000020, 180, 87, 8, 8),
    (1020, STATIC, STAGE2_TEXT, 0x50020080, 0x00000000, 10, 32, 210, 18),
]
CONTROL_FIELDS = ("id", "class", "text", "style", "exstyle", "x", "y", "cx", "cy")

# Group icon id -> (images it must have as (width, height, bits per pixel or
# None for any depth), images it may have besides).
SMALL_AND_LARGE_16 = [(32, 32, 4), (16, 16, 4)]
SMALL_AND_LARGE = [(32, 32, None), (16, 16, None)]
ICONS = {
    129: SMALL_AND_LARGE_16,
    130: SMALL_AND_LARGE,
    132: [(32, 32, None)],
    133: SMALL_AND_LARGE,
    134: [(32, 32, None)],
    135: SMALL_AND_LARGE,
    # One per product variant; the two with a 48x48 image are shown large by
    # the shell as well.
    1012: SMALL_AND_LARGE_16 + [(48, 48, 8)],
    1013: SMALL_AND_LARGE_16,
    1014: SMALL_AND_LARGE_16,
    1015: SMALL_AND_LARGE_16 + [(48, 48, 8)],
    1023: SMALL_AND_LARGE_16,
}

MANIFEST_ID = 1
EXECUTION_LEVEL = "asInvoker"
SUPPORTED_OS = [
    ("Windows Vista", "{e2011457-1546-43c5-a5fe-008deee3d3f0}"),
    ("Windows 7", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"),
    ("Windows 8", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"),
    ("Windows 8.1", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}"),
    ("Windows 10/11", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"),
]

VERSION_ID = 1
VERSION_STRINGS = ("ProductName", "FileVersion", "CompanyName")
VS_FIXEDFILEINFO_SIGNATURE = 0xFEEF04BD


# ---------------------------------------------------------------------------
# Reading

class Malformed(Exception):
    """The file is not the PE image it claims to be."""


class Blob:
    """Bounds-checked little-endian reads: a damaged file must give a
    problem line, not a traceback."""

    def __init__(self, data, what):
        self.data = data
        self.what = what

    def take(self, offset, size):
        if offset < 0 or size < 0 or offset + size > len(self.data):
            raise Malformed("%s: %d bytes at offset 0x%X lie outside its %d bytes"
                            % (self.what, size, offset, len(self.data)))
        return self.data[offset:offset + size]

    def unpack(self, fmt, offset):
        return struct.unpack_from("<" + fmt, self.take(offset, struct.calcsize("<" + fmt)))

    def u8(self, offset):
        return self.unpack("B", offset)[0]

    def u16(self, offset):
        return self.unpack("H", offset)[0]

    def i16(self, offset):
        return self.unpack("h", offset)[0]

    def u32(self, offset):
        return self.unpack("I", offset)[0]

    def i32(self, offset):
        return self.unpack("i", offset)[0]

    def wstring(self, offset):
        """A zero-terminated UTF-16 string; returns (text, offset after it)."""
        end = offset
        while self.u16(end) != 0:
            end += 2
        return self.data[offset:end].decode("utf-16-le", "replace"), end + 2

    def sz_or_ord(self, offset):
        """A resource "string or ordinal" field: 0 (none), an int or a str."""
        first = self.u16(offset)
        if first == 0x0000:
            return 0, offset + 2
        if first == 0xFFFF:
            return self.u16(offset + 2), offset + 4
        return self.wstring(offset)


def align4(offset):
    return (offset + 3) & ~3


class PeImage:
    def __init__(self, data):
        self.file = Blob(data, "file")
        f = self.file
        if f.take(0, 2) != b"MZ":
            raise Malformed("no MZ signature")
        pe = f.u32(0x3C)
        if f.take(pe, 4) != b"PE\0\0":
            raise Malformed("no PE signature at 0x%X" % pe)
        coff = pe + 4
        (self.machine, section_count, self.timestamp, _, _,
         optional_size, _) = f.unpack("HHIIIHH", coff)
        opt = coff + 20
        self.magic = f.u16(opt)
        self.subsystem = f.u16(opt + 68)
        if self.magic == 0x10B:
            dir_count_at = opt + 92
        elif self.magic == 0x20B:
            dir_count_at = opt + 108
        else:
            raise Malformed("unknown optional header magic 0x%X" % self.magic)
        dir_count = f.u32(dir_count_at)
        self.directories = []
        for i in range(min(dir_count, 16)):
            self.directories.append(f.unpack("II", dir_count_at + 4 + 8 * i))
        symbols_at, symbol_count = f.unpack("II", coff + 8)
        self.sections = []
        table = opt + optional_size
        for i in range(section_count):
            at = table + 40 * i
            name = f.take(at, 8).rstrip(b"\0").decode("ascii", "replace")
            if name[:1] == "/" and name[1:].isdigit() and symbols_at:
                # GNU ld writes names longer than 8 characters (the debug
                # sections of an unstripped exe) into the COFF string table.
                strings_at = symbols_at + 18 * symbol_count + int(name[1:])
                end = f.data.find(b"\0", strings_at)
                if strings_at < len(f.data) and end > 0:
                    name = f.data[strings_at:end].decode("ascii", "replace")
            virtual_size, rva, raw_size, raw_at = f.unpack("IIII", at + 8)
            self.sections.append((name, virtual_size, rva, raw_size, raw_at))

    def directory(self, index):
        if index < len(self.directories):
            return self.directories[index]
        return (0, 0)

    def offset_of(self, rva):
        for name, virtual_size, start, raw_size, raw_at in self.sections:
            if start <= rva < start + max(virtual_size, raw_size):
                if rva - start >= raw_size:
                    raise Malformed("RVA 0x%X lies in the uninitialised part of %s"
                                    % (rva, name))
                return raw_at + rva - start
        raise Malformed("RVA 0x%X lies in no section" % rva)

    def read(self, rva, size):
        return self.file.take(self.offset_of(rva), size)

    def ascii_at(self, rva):
        at = self.offset_of(rva)
        end = self.file.data.find(b"\0", at)
        if end < 0:
            raise Malformed("unterminated name at RVA 0x%X" % rva)
        return self.file.data[at:end].decode("ascii", "replace")

    def function_names(self, rva):
        """The names a lookup table at rva imports (ordinals as "#n")."""
        wide = self.magic == 0x20B
        size, by_ordinal = (8, 1 << 63) if wide else (4, 1 << 31)
        names = []
        while rva:
            entry = struct.unpack_from("<Q" if wide else "<I", self.read(rva, size))[0]
            if entry == 0:
                break
            if entry & by_ordinal:
                names.append("#%d" % (entry & 0xFFFF))
            else:
                names.append(self.ascii_at((entry & 0x7FFFFFFF) + 2))
            rva += size
        return names

    def imported_dlls(self):
        """(name, how, function names) for the ordinary and the delay-loaded
        imports."""
        dlls = []
        rva, size = self.directory(1)
        if rva and size:
            at = rva
            while True:
                desc = Blob(self.read(at, 20), "import descriptor")
                lookup, _, _, name_rva, thunks = desc.unpack("IIIII", 0)
                if lookup == 0 and name_rva == 0 and thunks == 0:
                    break
                dlls.append((self.ascii_at(name_rva), "import",
                             self.function_names(lookup or thunks)))
                at += 20
        rva, size = self.directory(13)
        if rva and size:
            at = rva
            while True:
                desc = Blob(self.read(at, 32), "delay import descriptor")
                attributes, name_rva, _, _, names_rva = desc.unpack("IIIII", 0)
                if name_rva == 0:
                    break
                if not attributes & 1:
                    # Old-style descriptors hold addresses, not RVAs; no
                    # toolchain of ours writes them.
                    raise Malformed("delay import descriptor without RVA attribute")
                dlls.append((self.ascii_at(name_rva), "delay-load",
                             self.function_names(names_rva)))
                at += 32
        return dlls

    def resources(self):
        """{type: {name: {language: bytes}}}; names and types are ints or
        strings."""
        rva, size = self.directory(2)
        found = {}
        if not rva or not size:
            return found
        base = self.offset_of(rva)
        f = self.file

        def name_of(entry_name):
            if entry_name & 0x80000000:
                at = base + (entry_name & 0x7FFFFFFF)
                length = f.u16(at)
                return f.take(at + 2, 2 * length).decode("utf-16-le", "replace")
            return entry_name

        def entries(directory_at):
            named, numbered = f.unpack("HH", base + directory_at + 12)
            for i in range(named + numbered):
                entry_name, target = f.unpack("II", base + directory_at + 16 + 8 * i)
                yield name_of(entry_name), target

        for type_key, type_target in entries(0):
            if not type_target & 0x80000000:
                raise Malformed("resource type %r is not a directory" % (type_key,))
            for name_key, name_target in entries(type_target & 0x7FFFFFFF):
                if not name_target & 0x80000000:
                    raise Malformed("resource %r/%r is not a directory" % (type_key, name_key))
                for lang_key, data_target in entries(name_target & 0x7FFFFFFF):
                    if data_target & 0x80000000:
                        raise Malformed("resource %r/%r/%r nests too deep"
                                        % (type_key, name_key, lang_key))
                    data_rva, data_size = f.unpack("II", base + data_target)
                    found.setdefault(type_key, {}).setdefault(name_key, {})[lang_key] = \
                        self.read(data_rva, data_size)
        return found


# ---------------------------------------------------------------------------
# Checking

class Report:
    def __init__(self):
        self.problems = []

    def info(self, text):
        print(text)

    def problem(self, text):
        self.problems.append(text)
        print("  PROBLEM: " + text)


def show(value):
    """Texts quoted with their line feeds and blanks visible."""
    if isinstance(value, str):
        return json.dumps(value, ensure_ascii=False)
    if isinstance(value, int):
        return "#%d" % value
    return repr(value)


def dll_stem(name):
    stem = name.lower()
    return stem[:-4] if stem.endswith(".dll") else stem


def dll_is_system(name):
    stem = dll_stem(name)
    return stem in SYSTEM_DLLS or stem.startswith(SYSTEM_DLL_PREFIXES)


def dll_is_known(name):
    return dll_stem(name) in KNOWN_DLLS


def check_machine(image, machine, report, what=""):
    want_machine, want_magic, magic_label = MACHINES[machine]
    if image.machine != want_machine:
        report.problem("%smachine is 0x%04X, expected 0x%04X (%s)"
                       % (what, image.machine, want_machine, machine))
    if image.magic != want_magic:
        report.problem("%soptional header magic is 0x%03X, expected 0x%03X (%s)"
                       % (what, image.magic, want_magic, magic_label))


def check_header(image, machine, report):
    report.info("Machine: 0x%04X, optional header 0x%03X, subsystem %d"
                % (image.machine, image.magic, image.subsystem))
    check_machine(image, machine, report)
    if image.subsystem != SUBSYSTEM_WINDOWS_GUI:
        report.problem("subsystem is %d, expected %d (Windows GUI)"
                       % (image.subsystem, SUBSYSTEM_WINDOWS_GUI))
    report.info("TimeDateStamp: 0x%08X" % image.timestamp)
    if image.timestamp != 0:
        report.problem("PE header TimeDateStamp is 0x%08X, expected 0 "
                       "(is the exe linked with --no-insert-timestamp?)" % image.timestamp)


def check_imports(image, report):
    dlls = image.imported_dlls()
    report.info("Imported DLLs: " + (", ".join(
        name if how == "import" else "%s (%s)" % (name, how) for name, how, _ in dlls)
        or "none"))
    for name, how, functions in dlls:
        newer = sorted(NEWER_THAN_WINDOWS_2000.get(dll_stem(name), set()) & set(functions))
        if how == "import" and newer:
            report.problem("imports %s from %s statically, which Windows 2000 lacks: the "
                           "loader would refuse the program there (look it up at run time)"
                           % (", ".join(newer), name))
        if not dll_is_system(name):
            report.problem("imports %s, which is not a Windows system DLL "
                           "(link it statically)" % name)
        elif how == "import" and not dll_is_known(name):
            report.problem("imports %s statically, which is not a known DLL: Windows "
                           "would look for it beside the program first (load it at run "
                           "time by its full path)" % name)


def der_item(data, at, end):
    """The DER element at at, within end: (tag, content start, content end)."""
    if at + 2 > end:
        raise Malformed("signature: DER element header overruns its parent")
    tag, length = data[at], data[at + 1]
    at += 2
    if length & 0x80:
        count = length & 0x7F
        if at + count > end:
            raise Malformed("signature: DER length overruns its parent")
        length = int.from_bytes(data[at:at + count], "big")
        at += count
    if at + length > end:
        raise Malformed("signature: DER element overruns its parent")
    return tag, at, at + length


def der_items(data, at, end):
    """The DER elements between at and end, as (tag, content start, content end)."""
    items = []
    while at < end:
        items.append(der_item(data, at, end))
        at = items[-1][2]
    return items


def common_name(data, name):
    """The CN of an X.509 Name element."""
    for _, rdn_at, rdn_end in der_items(data, name[1], name[2]):
        for _, pair_at, pair_end in der_items(data, rdn_at, rdn_end):
            oid, value = der_items(data, pair_at, pair_end)[:2]
            if data[oid[1]:oid[2]] == b"\x55\x04\x03":
                return data[value[1]:value[2]].decode("utf-8", "replace")
    return "?"


def signer_of(data):
    """The signer's CN of a PKCS#7 SignedData (the certificate whose issuer
    and serial the first SignerInfo names). The certificate table pads the
    signature with up to 7 zero bytes, which are no DER element: only the
    first element is read."""
    content_info = der_item(data, 0, len(data))
    explicit = der_items(data, content_info[1], content_info[2])[1]
    signed = der_items(data, explicit[1], explicit[2])[0]
    parts = der_items(data, signed[1], signed[2])
    certificates = [p for p in parts if p[0] == 0xA0]
    signer_infos = [p for p in parts if p[0] == 0x31][-1]
    signer = der_items(data, signer_infos[1], signer_infos[2])[0]
    issuer_serial = der_items(data, signer[1], signer[2])[1]
    issuer, serial = der_items(data, issuer_serial[1], issuer_serial[2])[:2]
    for certificate in (der_items(data, certificates[0][1], certificates[0][2])
                        if certificates else []):
        tbs = der_items(data, certificate[1], certificate[2])[0]
        fields = der_items(data, tbs[1], tbs[2])
        if fields[0][0] == 0xA0:
            fields = fields[1:]
        if (data[fields[0][1]:fields[0][2]] == data[serial[1]:serial[2]] and
                data[fields[2][1]:fields[2][2]] == data[issuer[1]:issuer[2]]):
            return common_name(data, fields[4])
    return "? (no certificate of the signer in the signature)"


def check_signature(image, report):
    """Only reported: a deployment signs its release or not."""
    at, size = image.directory(4)  # the certificate table, by file offset
    if not at or not size:
        report.info("Signature: none")
        return
    length, _, kind = image.file.unpack("IHH", at)
    if kind != 2:  # WIN_CERT_TYPE_PKCS_SIGNED_DATA
        report.problem("signature: certificate of type %d, expected PKCS#7 signed data" % kind)
        return
    try:
        report.info("Signature: signed by %s" % show(signer_of(image.file.take(at + 8, length - 8))))
    except (IndexError, Malformed) as error:
        report.problem("signature: cannot be read (%s)" % error)


def check_outputs(folder, machine, report):
    """Every program and library of a build folder: machine and imports."""
    names = sorted(name for name in os.listdir(folder) if name.lower().endswith(PE_SUFFIXES))
    if not names:
        report.problem("no program or library in %s" % folder)
    for name in names:
        path = os.path.join(folder, name)
        try:
            with open(path, "rb") as pe:
                image = PeImage(pe.read())
            check_machine(image, machine, report, "%s: " % path)
            dlls = [dll for dll, _, _ in image.imported_dlls()]
        except (OSError, Malformed) as error:
            report.problem("%s: cannot be read as a PE image: %s" % (path, error))
            continue
        for dll in dlls:
            if not dll_is_system(dll):
                report.problem("%s imports %s, which is not a Windows system DLL "
                               "(link it statically)" % (path, dll))
    report.info("%s: %d programs and libraries read" % (folder, len(names)))


def language_data(resources, rtype, rid, what, report, language=None):
    """The bytes of one resource; with language, only in that language."""
    by_language = resources.get(rtype, {}).get(rid)
    if not by_language:
        report.problem("%s is missing" % what)
        return None
    if language is None:
        return next(iter(by_language.values()))
    if language not in by_language:
        report.problem("%s has language %s, expected %d"
                       % (what, "/".join(str(k) for k in by_language), language))
        return None
    return by_language[language]


def parse_dialog(data):
    d = Blob(data, "dialog %d" % DIALOG_ID)
    version, signature = d.unpack("HH", 0)
    if version != 1 or signature != 0xFFFF:
        raise Malformed("dialog %d is not an extended template (version %d, signature 0x%04X)"
                        % (DIALOG_ID, version, signature))
    dialog = {}
    (dialog["help_id"], dialog["exstyle"], dialog["style"], count,
     dialog["x"], dialog["y"], dialog["cx"], dialog["cy"]) = d.unpack("IIIHhhhh", 4)
    at = 26
    dialog["menu"], at = d.sz_or_ord(at)
    dialog["class"], at = d.sz_or_ord(at)
    dialog["title"], at = d.wstring(at)
    # DS_SETFONT or DS_SHELLFONT: the font block follows.
    if dialog["style"] & 0x40:
        (dialog["font_points"], dialog["font_weight"], dialog["font_italic"],
         dialog["font_charset"]) = d.unpack("HHBB", at)
        dialog["font_face"], at = d.wstring(at + 6)
    controls = []
    for _ in range(count):
        at = align4(at)
        help_id, exstyle, style, x, y, cx, cy, control_id = d.unpack("IIIhhhhi", at)
        at += 24
        window_class, at = d.sz_or_ord(at)
        text, at = d.sz_or_ord(at)
        extra = d.u16(at)
        at += 2 + extra
        controls.append({"id": control_id, "class": window_class, "text": text,
                         "style": style, "exstyle": exstyle, "x": x, "y": y,
                         "cx": cx, "cy": cy, "help_id": help_id, "extra": extra})
    return dialog, controls


def field_text(field, value):
    if field in ("style", "exstyle"):
        return "0x%08X" % value if isinstance(value, int) else show(value)
    if field == "class":
        return {BUTTON: "button (0x80)", STATIC: "static (0x82)"}.get(value, show(value))
    if field == "text" or not isinstance(value, int):
        return show(value)
    return str(value)


def check_dialog(resources, report):
    data = language_data(resources, RT_DIALOG, DIALOG_ID, "dialog %d" % DIALOG_ID,
                         report, LANG_POLISH)
    if data is None:
        return
    dialog, controls = parse_dialog(data)
    report.info("Dialog %d: %d controls, %dx%d, %s"
                % (DIALOG_ID, len(controls), dialog["cx"], dialog["cy"], show(dialog["title"])))
    for field, expected in DIALOG.items():
        actual = dialog.get(field)
        if actual != expected:
            report.problem("dialog %d: %s is %s, expected %s"
                           % (DIALOG_ID, field, field_text(field, actual),
                              field_text(field, expected)))
    if len(controls) != len(CONTROLS):
        report.problem("dialog %d has %d controls, expected %d"
                       % (DIALOG_ID, len(controls), len(CONTROLS)))
    for number, (actual, expected) in enumerate(zip(controls, CONTROLS), 1):
        where = "dialog %d control #%d (id %d)" % (DIALOG_ID, number, expected[0])
        for field, want in zip(CONTROL_FIELDS, expected):
            if actual[field] != want or type(actual[field]) is not type(want):
                report.problem("%s: %s is %s, expected %s"
                               % (where, field, field_text(field, actual[field]),
                                  field_text(field, want)))
        if actual["help_id"] != 0 or actual["extra"] != 0:
            report.problem("%s: help id %d and %d bytes of creation data, expected none"
                           % (where, actual["help_id"], actual["extra"]))


def icon_image_size(data):
    """(width, height, bits per pixel) of an RT_ICON image."""
    b = Blob(data, "icon image")
    if data[:8] == b"\x89PNG\r\n\x1a\n":
        width, height = struct.unpack(">II", b.take(16, 8))
        return width, height, 8 * 4 if b.u8(25) == 6 else b.u8(24)
    header_size, width, height, _, bits = b.unpack("IiiHH", 0)
    if header_size < 40:
        raise Malformed("icon image header of %d bytes" % header_size)
    # The stored height covers the colour bitmap and the mask.
    return width, height // 2, bits


def check_icons(resources, report):
    images = resources.get(RT_ICON, {})
    for group_id, required in ICONS.items():
        what = "icon group %d" % group_id
        data = language_data(resources, RT_GROUP_ICON, group_id, what, report, LANG_POLISH)
        if data is None:
            continue
        g = Blob(data, what)
        reserved, kind, count = g.unpack("HHH", 0)
        if reserved != 0 or kind != 1:
            report.problem("%s: header %d/%d, expected 0/1 (icon)" % (what, reserved, kind))
            continue
        have = []
        for i in range(count):
            width, height, _, _, _, bits, size, image_id = g.unpack("BBBBHHIH", 6 + 14 * i)
            width, height = width or 256, height or 256
            by_language = images.get(image_id)
            if not by_language:
                report.problem("%s: entry %dx%d points at icon image %d, which is missing"
                               % (what, width, height, image_id))
                continue
            image = by_language.get(LANG_POLISH, next(iter(by_language.values())))
            if len(image) != size:
                report.problem("%s: entry %dx%d gives %d bytes, icon image %d has %d"
                               % (what, width, height, size, image_id, len(image)))
            real = icon_image_size(image)
            if real != (width, height, bits):
                report.problem("%s: entry says %dx%dx%d, icon image %d is %dx%dx%d"
                               % ((what, width, height, bits, image_id) + real))
            have.append(real)
        report.info("  %-5d %s" % (group_id, " ".join("%dx%dx%d" % h for h in have)))
        for width, height, bits in required:
            if not any(h[:2] == (width, height) and bits in (None, h[2]) for h in have):
                report.problem("%s has no %dx%d%s image" % (
                    what, width, height, "" if bits is None else " %d-bpp" % bits))


def local_name(tag):
    return tag.rsplit("}", 1)[-1]


def check_manifest(resources, report):
    data = language_data(resources, RT_MANIFEST, MANIFEST_ID,
                         "manifest %d" % MANIFEST_ID, report)
    if data is None:
        return
    try:
        root = ET.fromstring(data)
    except ET.ParseError as error:
        report.problem("manifest %d is not well-formed XML: %s" % (MANIFEST_ID, error))
        return
    # Match by local name: the loader accepts these elements under more than
    # one namespace version.
    elements = list(root.iter())
    levels = [e.get("level") for e in elements
              if local_name(e.tag) == "requestedExecutionLevel"]
    systems = {(e.get("Id") or "").lower() for e in elements
               if local_name(e.tag) == "supportedOS"}
    dpi = [(e.text or "").strip() for e in elements if local_name(e.tag) == "dpiAware"]
    report.info("Manifest: level %s, %d supportedOS, dpiAware %s"
                % ("/".join(str(l) for l in levels) or "none", len(systems),
                   "/".join(dpi) or "none"))
    if levels != [EXECUTION_LEVEL]:
        report.problem("manifest: requestedExecutionLevel is %s, expected level=%s"
                       % ("/".join(str(l) for l in levels) or "missing", show(EXECUTION_LEVEL)))
    for name, guid in SUPPORTED_OS:
        if guid not in systems:
            report.problem("manifest: no supportedOS entry for %s %s" % (name, guid))
    if not dpi or not dpi[0]:
        report.problem("manifest: no dpiAware setting")


def version_nodes(b, at, end):
    """The children of a version block between at and end, as
    (key, value bytes, type, children)."""
    nodes = []
    at = align4(at)
    while at + 6 <= end:
        length, value_length, kind = b.unpack("HHH", at)
        if length == 0:
            break
        node_end = at + length
        if node_end > end:
            raise Malformed("version block %d bytes long overruns its parent" % length)
        key, value_at = b.wstring(at + 6)
        value_at = align4(value_at)
        # Text values count characters, binary ones bytes.
        value_size = value_length * 2 if kind == 1 else value_length
        value = b.take(value_at, min(value_size, max(node_end - value_at, 0)))
        children = version_nodes(b, value_at + value_size, node_end)
        nodes.append((key, value, kind, children))
        at = align4(node_end)
    return nodes


def check_version(resources, report):
    data = language_data(resources, RT_VERSION, VERSION_ID,
                         "version resource %d" % VERSION_ID, report)
    if data is None:
        return
    b = Blob(data, "version resource")
    roots = version_nodes(b, 0, len(data))
    if not roots or roots[0][0] != "VS_VERSION_INFO":
        report.problem("version resource %d is not a VS_VERSIONINFO block" % VERSION_ID)
        return
    _, fixed, _, children = roots[0]
    if len(fixed) < 4 or struct.unpack_from("<I", fixed)[0] != VS_FIXEDFILEINFO_SIGNATURE:
        report.problem("version resource %d has no VS_FIXEDFILEINFO" % VERSION_ID)
    strings = {}
    for key, _, _, tables in children:
        if key == "StringFileInfo":
            for _, _, _, entries in tables:
                for name, value, _, _ in entries:
                    strings.setdefault(
                        name, value.decode("utf-16-le", "replace").split("\0", 1)[0])
    report.info("Version: " + ", ".join(
        "%s %s" % (name, show(strings[name])) for name in VERSION_STRINGS if name in strings))
    for name in VERSION_STRINGS:
        if not strings.get(name):
            report.problem("version resource %d: string %s is missing or empty"
                           % (VERSION_ID, name))


def report_sizes(path, data, image, report):
    report.info("%s: %d bytes (%.1f KiB)" % (path, len(data), len(data) / 1024.0))
    report.info("Sections (raw size in the file):")
    width = max([8] + [len(section[0]) for section in image.sections])
    for name, virtual_size, _, raw_size, _ in image.sections:
        report.info("  %-*s %7d bytes  (in memory %d)" % (width, name, raw_size, virtual_size))


def inspect(path, machine, report):
    with open(path, "rb") as exe:
        data = exe.read()
    image = PeImage(data)
    report_sizes(path, data, image, report)
    check_header(image, machine, report)
    check_imports(image, report)
    check_signature(image, report)
    resources = image.resources()
    check_dialog(resources, report)
    report.info("Icon groups (width x height x bits per pixel):")
    check_icons(resources, report)
    check_manifest(resources, report)
    check_version(resources, report)


def main(argv=None):
    # Polish texts reach the report; a non-UTF-8 console must not abort it.
    sys.stdout.reconfigure(errors="backslashreplace")
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--machine", required=True, choices=sorted(MACHINES))
    parser.add_argument("--outputs", action="store_true",
                        help="check every .exe/.dll/.ocx in the folder PATH")
    parser.add_argument("path")
    args = parser.parse_args(argv)
    report = Report()
    try:
        if args.outputs:
            check_outputs(args.path, args.machine, report)
        else:
            inspect(args.path, args.machine, report)
    except OSError as error:
        report.problem("cannot read %s: %s" % (args.path, error.strerror or error))
    except Malformed as error:
        report.problem("malformed image: %s" % error)
    if report.problems:
        print("check_exe: %d problem(s)" % len(report.problems))
        return 1
    print("check_exe: OK")
    return 0


if __name__ == "__main__":
    sys.exit(main())
