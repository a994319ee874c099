#pragma once
// Where the process loads DLLs from: the system folder only, never the program's own folder
// (typically Downloads, where anyone may have left a DLL of a system name).

namespace app::win32 {

// The system DLLs the program loads only when it first needs them (delay-loaded, or loaded by
// name by other system DLLs): none is on every supported Windows' KnownDLLs list. Those that
// others import come first.
inline constexpr const wchar_t* kLateSystemDlls[] = {
    L"crypt32.dll", L"wintrust.dll", L"wininet.dll", L"msimg32.dll", L"gdiplus.dll"};

// Run first in WinMain, before any DLL is loaded by name. Where the system offers it (Windows 8,
// and 7 or Vista with the update), later loads by name search the system folder only; elsewhere
// the current folder is taken out of the search and every DLL above is loaded now by its full
// path in the system folder, so that a later load by name finds the loaded module.
void loadDllsFromSystemFolderOnly();

// What the above does where the system lacks SetDefaultDllDirectories (Windows XP, and Vista or
// 7 without the update): the current folder out of the search, each late DLL loaded by its full
// path in the system folder.
void loadLateDllsFromSystemFolder();

// Run before the first download: the TLS code of some systems (Wine's among them) loads crypt32
// by name whatever the search says, so it is loaded here first by its full path. Not at start,
// which it would only make slower.
void loadTlsDllFromSystemFolder();

}  // namespace app::win32
