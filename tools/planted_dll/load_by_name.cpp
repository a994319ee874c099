// load_by_name [--after-preload] NAME...: loads each DLL by its bare name with the system's
// default search, as a program that takes no care would; with --after-preload, only after what
// UpgradeNorvik does where SetDefaultDllDirectories is missing (Windows XP). Exit code 0 when all
// of them loaded. The planted-DLL test shows with it that its planted DLLs would be found, and
// that the preload keeps them out even without SetDefaultDllDirectories.
#include <windows.h>

#include <cwchar>

#include "app/win32/dll_search.h"

int wmain(int argc, wchar_t** argv) {
    int first = 1;
    if (argc > 1 && std::wcscmp(argv[1], L"--after-preload") == 0) {
        app::win32::loadAllLateDllsFromSystemFolder();
        first = 2;
    }
    int failed = 0;
    for (int i = first; i < argc; ++i)
        failed += LoadLibraryW(argv[i]) == nullptr;
    return failed;
}
