#pragma once
// Where the process loads DLLs from: the system folder only, never the program's own folder
// (typically Downloads, where anyone may have left a DLL of a system name).

namespace app::win32 {

// Every system DLL that the program, or system code it calls, may load by bare name and that is
// not a KnownDLL on all of Windows XP, Vista and 7 (the loader takes a KnownDLL from the system
// folder whatever the search path; the lists are the registry's
// HKLM\System\CurrentControlSet\Control\Session Manager\KnownDLLs of each version). Where
// SetDefaultDllDirectories is missing each is loaded by its full path at start, so that a later
// load by name finds the module already loaded. A name missing on a version is skipped: nothing
// there asks for it. A DLL comes before those that import it: some loaders (Wine's) resolve the
// imports of a DLL loaded by full path through the default search. One name a line; the
// planted-DLL test reads this list.
inline constexpr const wchar_t* kLateSystemDlls[] = {
    // Loaded by the program itself (delay-loaded).
    L"crypt32.dll",
    L"wintrust.dll",
    L"mpr.dll",
    L"wininet.dll",
    L"msimg32.dll",
    L"gdiplus.dll",
    // What installers preload for the same reason (NSIS, Inno Setup, 7-Zip's setup): theming,
    // the desktop composition, version resources, the crypto base, user profiles, the property
    // system, the compatibility layer, device setup, accessibility, COM+ and ACLs.
    L"uxtheme.dll",
    L"dwmapi.dll",
    L"version.dll",
    L"cryptbase.dll",
    L"userenv.dll",
    L"profapi.dll",
    L"propsys.dll",
    L"apphelp.dll",
    L"setupapi.dll",
    L"oleacc.dll",
    L"clbcatq.dll",
    L"comres.dll",
    L"ntmarta.dll",
    // WinINet: TLS through SSPI (its packages are loaded by name), proxy detection, dial-up and
    // connectivity checks, name resolution, and what Internet Explorer 7 and later split out.
    L"dnsapi.dll",
    L"iphlpapi.dll",
    L"secur32.dll",
    L"schannel.dll",
    L"winhttp.dll",
    L"rasapi32.dll",
    L"rasman.dll",
    L"sensapi.dll",
    L"iertutil.dll",
    // WinVerifyTrust: certificate decoding and the chain's retrieval.
    L"msasn1.dll",
    L"cryptnet.dll",
    // The folder dialog's shell views, and sounds of the message boxes.
    L"linkinfo.dll",
    L"ntshrui.dll",
    L"cscapi.dll",
    L"winmm.dll",
};

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
// and secur32 by name whatever the search says, so they are loaded here first by their full
// paths. Not at start, which it would only make slower.
void loadTlsDllFromSystemFolder();

}  // namespace app::win32
