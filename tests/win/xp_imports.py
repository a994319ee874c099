#!/usr/bin/python3
"""The program must start on Windows XP: every function it imports, from the import table or
the delay-import table, must be on the list of functions checked to exist on XP
(xp_functions.txt: each added once the "Minimum supported client" of its page in Microsoft's
documentation says Windows XP or earlier), so that a new import fails here until someone has
checked it; it registers the common controls itself (InitCommonControlsEx); it statically
imports only DLLs that the loader never looks for in the program's own folder (the KnownDLLs of
every supported Windows, and comctl32, which the manifest binds to the system's side-by-side
assembly); and each DLL it is built to delay-load stands in its delay-import table.

    xp_imports.py [--delay-dlls wininet,crypt32,...] EXE [EXE ...]"""

import argparse
import os
import re
import struct
import subprocess
import sys

OBJDUMP = "i686-w64-mingw32-objdump"
ALLOWED_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "xp_functions.txt")
# Functions and families that XP's system DLLs do not export (a runtime library built for
# newer Windows pulls them in without a compiler warning): refused even where listed.
NEWER_THAN_XP = re.compile(
    r"^(GetTickCount64|\w*SRWLock\w*|\w*ConditionVariable\w*|InitOnce\w*|Fls(Alloc|Free|GetValue"
    r"|SetValue)|GetFileInformationByHandleEx|SetFileInformationByHandle|CreateFile2|"
    r"CreateSymbolicLink\w*|GetFinalPathNameByHandle\w*|CancelIoEx|QueryFullProcessImageName\w*|"
    r"\w+Ex2|LocaleNameToLCID|LCIDToLocaleName|GetLocaleInfoEx|CompareStringEx|LCMapStringEx|"
    r"GetUserDefaultLocaleName|InitializeCriticalSectionEx|Create(Event|Semaphore|Mutex)Ex\w|"
    r"WaitOnAddress|GetSystemTimePreciseAsFileTime|SetThreadDescription|SHGetKnownFolderPath|"
    r"SHCreateItemFromParsingName|TaskDialog\w*|Dwm\w+|SetProcessDPIAware|"
    r"ChangeWindowMessageFilter\w*|GetDpiFor\w+|RegGetValue\w|SHCreateMemStream|"
    r"LoadIconMetric|LoadIconWithScaleDown)$")
STATIC_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
               "ole32.dll", "oleaut32.dll", "comdlg32.dll", "shlwapi.dll", "msvcrt.dll",
               "comctl32.dll"}
REQUIRED = {("comctl32.dll", "InitCommonControlsEx")}
DELAY_DESCRIPTOR = struct.Struct("<8I")  # ImgDelayDescr: attributes, name, module, IAT, INT, ...
DELAY_RVA_BASED = 1  # dlidRvaBased in its attributes


def allowed_functions(path=ALLOWED_FILE):
    """The (dll, function) pairs of the list: a line "dll function", # starts a comment."""
    pairs = set()
    with open(path) as f:
        for line in f:
            words = line.split("#", 1)[0].split()
            if words:
                pairs.add((words[0].lower(), words[1]))
    return pairs


def imports(exe):
    """The import table as (dll, function) pairs, read by mingw's objdump."""
    out = subprocess.run([OBJDUMP, "-p", exe], capture_output=True, text=True, check=True).stdout
    names, dll, in_table = [], None, False
    for line in out.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1)
            continue
        if "Hint/Ord" in line:
            in_table = True
            continue
        if in_table and not line.strip():
            in_table = False
            continue
        if in_table:
            parts = line.split()
            if len(parts) >= 3:
                names.append((dll, parts[2]))
    return names


class Image:
    """The sections of a PE file, to read what an RVA points at."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        count, optional_size = struct.unpack_from("<H12xH", self.data, pe + 6)
        self.pe64 = struct.unpack_from("<H", self.data, pe + 24)[0] == 0x20B
        directories = pe + 24 + (112 if self.pe64 else 96)
        self.delay_directory = struct.unpack_from("<I", self.data, directories + 13 * 8)[0]
        self.sections = []
        for i in range(count):
            size, rva, raw_size, raw = struct.unpack_from("<4I", self.data,
                                                          pe + 24 + optional_size + 40 * i + 8)
            self.sections.append((rva, max(size, raw_size), raw, raw_size))

    def offset(self, rva):
        for start, size, raw, raw_size in self.sections:
            if start <= rva < start + size and rva - start < raw_size:
                return raw + rva - start
        return None

    def text(self, rva):
        at = self.offset(rva)
        if at is None:
            return None
        end = self.data.find(b"\0", at)
        return self.data[at:end].decode("ascii", "replace") if end >= 0 else None

    def word(self, rva):
        at = self.offset(rva)
        return None if at is None else struct.unpack_from("<Q" if self.pe64 else "<I",
                                                          self.data, at)[0]


def delay_descriptors(image):
    """File offsets of the delay-import descriptors: from the table's directory entry where the
    linker set it, one after the other up to an empty one. GNU ld leaves that entry empty for
    mingw's delay-load libraries (their helper does not need it); there they are found where
    they stand: 32 aligned bytes, RVA-based, naming a DLL and an address table in the image."""
    if image.delay_directory:
        at = image.offset(image.delay_directory)
        while at is not None and any(DELAY_DESCRIPTOR.unpack_from(image.data, at)):
            yield at
            at += DELAY_DESCRIPTOR.size
        return
    for _, _, raw, raw_size in image.sections:
        for at in range(raw, raw + raw_size - DELAY_DESCRIPTOR.size + 1, 4):
            attributes, name, _, iat, _, _, _, _ = DELAY_DESCRIPTOR.unpack_from(image.data, at)
            dll = image.text(name) if attributes == DELAY_RVA_BASED and name else None
            if dll and dll.lower().endswith(".dll") and image.offset(iat) is not None:
                yield at


def delay_imports(exe):
    """The delay-import table as (dll, function) pairs. A descriptor's name table usually starts
    at its address and ends with an empty entry; in mingw's delay-load libraries the address
    lies after the entries and their closing empty one (the helper takes the entry at the same
    distance from it as the called slot from the address table's, both before them), so an
    empty first entry means reading backwards from the one before the closing entry."""
    image = Image(exe)
    found = []
    ordinal_flag = 1 << (63 if image.pe64 else 31)
    for at in delay_descriptors(image):
        _, name, _, _, entry, _, _, _ = DELAY_DESCRIPTOR.unpack_from(image.data, at)
        dll = image.text(name)
        step = 8 if image.pe64 else 4
        if not image.word(entry):
            entry, step = entry - 2 * step, -step
        while thunk := image.word(entry):
            found.append((dll, f"#{thunk & 0xFFFF}" if thunk & ordinal_flag
                          else image.text(thunk + 2)))
            entry += step
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--delay-dlls", default="")
    parser.add_argument("exes", nargs="+")
    a = parser.parse_args()
    allowed = allowed_functions()
    delay_dlls = {f"{d.lower()}.dll" for d in a.delay_dlls.split(",") if d}
    bad = []
    for exe in a.exes:
        found = imports(exe)
        delayed = delay_imports(exe)
        if not found:
            bad.append(f"{exe}: no imports read")
        named = {(dll.lower(), name) for dll, name in found + delayed}
        bad += [f"{exe}: {dll}!{name} is not in {os.path.basename(ALLOWED_FILE)} (check that "
                f"Windows XP has it in Microsoft's documentation, then add it)"
                for dll, name in sorted(named - allowed)]
        bad += [f"{exe}: {dll}!{name} is newer than Windows XP"
                for dll, name in sorted(named) if NEWER_THAN_XP.match(name)]
        dlls = {dll.lower() for dll, _ in found}
        bad += [f"{exe}: {dll} is imported at start (not a KnownDLL: load it late)"
                for dll in sorted(dlls - STATIC_DLLS)]
        bad += [f"{exe}: {dll} is not in the delay-import table"
                for dll in sorted(delay_dlls - {dll.lower() for dll, _ in delayed})]
        bad += [f"{exe}: does not import {dll}!{name}" for dll, name in sorted(REQUIRED - named)]
    for line in bad:
        print("import check:", line)
    print(f"{1 if not bad else 0} passed, {0 if not bad else 1} failed")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
