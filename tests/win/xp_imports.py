#!/usr/bin/python3
"""The program must start on Windows XP: none of its imports (comctl32's among them) may be a
function that Windows added later (Vista on); it registers the common controls itself
(InitCommonControlsEx); and it statically imports only DLLs that the loader never looks for in
the program's own folder (the KnownDLLs of every supported Windows, and comctl32, which the
manifest binds to the system's side-by-side assembly). Reads the import table with mingw's
objdump.

    xp_imports.py EXE [EXE ...]"""

import re
import subprocess
import sys

OBJDUMP = "i686-w64-mingw32-objdump"
# Functions and families that XP's system DLLs do not export (a runtime library built for
# newer Windows pulls them in without a compiler warning).
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


def imports(exe):
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


def main():
    bad = []
    for exe in sys.argv[1:]:
        found = imports(exe)
        if not found:
            bad.append(f"{exe}: no imports read")
        bad += [f"{exe}: {dll}!{name}" for dll, name in found if NEWER_THAN_XP.match(name)]
        dlls = {dll.lower() for dll, _ in found}
        bad += [f"{exe}: {dll} is imported at start (not a KnownDLL: load it late)"
                for dll in sorted(dlls - STATIC_DLLS)]
        named = {(dll.lower(), name) for dll, name in found}
        bad += [f"{exe}: does not import {dll}!{name}" for dll, name in sorted(REQUIRED - named)]
    for line in bad:
        print("import check:", line)
    print(f"{1 if not bad else 0} passed, {0 if not bad else 1} failed")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
