#pragma once
// Where the process loads DLLs from: the system folder only, never the program's own folder
// (typically Downloads, where anyone may have left a DLL of a system name).

namespace app::win32 {

// The system DLLs that the program, or system code it calls, may load by bare name and that are
// not KnownDLLs on all of Windows XP, Vista and 7 (the loader takes a KnownDLL from the system
// folder whatever the search path; the lists are the registry's
// HKLM\System\CurrentControlSet\Control\Session Manager\KnownDLLs of each version). Where
// SetDefaultDllDirectories is missing each group is loaded by its full path just before the
// first step that can bring its DLLs in, so that a later load by name finds the module already
// loaded, and a start that never gets to a step does not pay for its DLLs. A name missing on a
// version is skipped: nothing there asks for it. A DLL comes before those that import it: some
// loaders (Wine's) resolve the imports of a DLL loaded by full path through the default search.
// One name a line; the planted-DLL test reads these lists.

// Before the window: what making, showing and painting it loads.
inline constexpr const wchar_t* kWindowDlls[] = {
    // Loaded by the program itself (delay-loaded): AlphaBlend for the title's ends.
    L"msimg32.dll",
    // What installers preload for the same reason (NSIS, Inno Setup, 7-Zip's setup) that the
    // window system and the common controls load while windows are made: theming, the desktop
    // composition, version resources.
    L"uxtheme.dll",
    L"dwmapi.dll",
    L"version.dll",
};

// Once the window is shown: GDI+ (delay-loaded), which decodes the other screens' pictures.
inline constexpr const wchar_t* kPictureDlls[] = {
    L"gdiplus.dll",
};

// Before the first folder test, folder picker or OK: every later step comes through one of them
// (the box gets its folder only through the folder test), so the downloads and the tool's start
// find these loaded too.
inline constexpr const wchar_t* kFolderDlls[] = {
    // Network drives: the program's calls that turn a mapped drive into its network path
    // (delay-loaded).
    L"mpr.dll",
    // The rest of what installers preload: the crypto base, user profiles (shell32's special
    // folders), the property system, the compatibility layer (a program's start), device setup,
    // accessibility, COM+ (the shell's objects) and ACLs.
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
    // The folder dialog's shell views (links, shared folders with the share lookups they make,
    // offline files), and sounds of the message boxes.
    L"linkinfo.dll",
    L"netapi32.dll",
    L"ntshrui.dll",
    L"cscapi.dll",
    L"winmm.dll",
};

// Before the first download: WinINet and what it loads, and the update tool's signature check.
inline constexpr const wchar_t* kNetworkDlls[] = {
    // Loaded by the program itself (delay-loaded).
    L"crypt32.dll",
    L"wintrust.dll",
    L"wininet.dll",
    // WinINet: proxy detection, dial-up and connectivity checks, name resolution, international
    // host names, and what Internet Explorer 7 and later split out.
    L"dnsapi.dll",
    L"iphlpapi.dll",
    L"winhttp.dll",
    L"rasapi32.dll",
    L"rasman.dll",
    L"sensapi.dll",
    L"normaliz.dll",
    L"iertutil.dll",
    // TLS and proxy authentication (NTLM, Negotiate, Digest) through SSPI: secur32 (sspicli from
    // Vista on) loads the security packages by name, those of the registry's SecurityProviders
    // (XP: msapsspc, schannel, digest, msnsspc; 7: credssp) and of the LSA's Security Packages
    // (kerberos, msv1_0, schannel, wdigest; Vista adds tspkg, 7 pku2u), so they come before it
    // (Wine's loads kerberos and msv1_0 as it is loaded); schannel loads the default
    // cryptographic provider named in the registry.
    L"schannel.dll",
    L"msapsspc.dll",
    L"digest.dll",
    L"msnsspc.dll",
    L"credssp.dll",
    L"kerberos.dll",
    L"msv1_0.dll",
    L"wdigest.dll",
    L"tspkg.dll",
    L"pku2u.dll",
    L"sspicli.dll",
    L"secur32.dll",
    L"rsaenh.dll",
    // The credentials dialog of a proxy that asks for a login (Internet Explorer 7 and later), and
    // the passwords Internet Explorer 6 keeps.
    L"credui.dll",
    L"pstorec.dll",
    // WinVerifyTrust: certificate decoding and the chain's retrieval.
    L"msasn1.dll",
    L"cryptnet.dll",
};

// The steps that load a group, in the order a run meets them.
enum class LateDlls { window, pictures, folder, network };

// Run first in WinMain, before any DLL is loaded by name. Where the system offers it (Windows 8,
// and 7 or Vista with the update), later loads by name search the system folder only; elsewhere
// (or always, with `withoutDefaultDirectories`, a test build's setting that takes the path of
// those systems) the current folder is taken out of the search and the window's DLLs are loaded
// now by their full paths.
void loadDllsFromSystemFolderOnly(bool withoutDefaultDirectories = false);

// Where the above took the path without SetDefaultDllDirectories: loads the group by the full
// paths in the system folder, and every group before it, once. Nothing otherwise. On the
// window's thread.
void loadLateDlls(LateDlls group);

// Every group at once by full path (and the current folder out of the search), as a system
// without SetDefaultDllDirectories would have them at the end of a run.
void loadAllLateDllsFromSystemFolder();

// Run before the first download: the TLS code of some systems (Wine's among them) loads crypt32
// and secur32 by name whatever the search says, so they are loaded here first by their full
// paths. Not at start, which it would only make slower.
void loadTlsDllFromSystemFolder();

}  // namespace app::win32
