// load_by_name NAME...: loads each DLL by its bare name with the system's default search, as a
// program that takes no care would; exit code 0 when all of them loaded. The planted-DLL test
// runs it first to show that its planted DLLs would be found.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    int failed = 0;
    for (int i = 1; i < argc; ++i)
        failed += LoadLibraryW(argv[i]) == nullptr;
    return failed;
}
