// Start-up benchmark: how long each program takes from its process start to its first visible
// top-level window. Runs the programs in turn (interleaved), round after round, after one
// warm-up round that is not counted, and prints every time, the medians and their ratios to the
// first program's median.
// Usage: startbench ROUNDS yardstick.exe program.exe ...
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// True when the process has shown its window. A shown window of a program started here becomes
// the foreground window: one cheap question per poll, so that polling does not load the window
// server that the program under test depends on (asking for every window every millisecond
// slowed a program that creates many windows far more than one that creates a single window).
bool hasShownWindow(DWORD pid) {
    HWND hwnd = GetForegroundWindow();
    DWORD owner = 0;
    return hwnd && GetWindowThreadProcessId(hwnd, &owner) && owner == pid && IsWindowVisible(hwnd);
}

double seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    return static_cast<double>(to.QuadPart - from.QuadPart) / frequency.QuadPart;
}

// Milliseconds from CreateProcess to a visible window of the new process; negative on failure.
double timeToWindow(const std::wstring& exe) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring commandLine = L"\"" + exe + L"\"";
    LARGE_INTEGER start, now;
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi))
        return -1;
    double ms = -1;
    for (;;) {
        const bool shown = hasShownWindow(pi.dwProcessId);
        QueryPerformanceCounter(&now);
        if (shown) {
            ms = seconds(start, now) * 1000.0;
            break;
        }
        if (WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0 || seconds(start, now) > 20)
            break;
    }
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return ms;
}

// The value below which `share` of the sorted times lie (0.5: the median).
double quantile(std::vector<double> v, double share) {
    std::sort(v.begin(), v.end());
    const double at = share * static_cast<double>(v.size() - 1);
    const size_t below = static_cast<size_t>(at);
    const size_t above = std::min(below + 1, v.size() - 1);
    return v[below] + (v[above] - v[below]) * (at - static_cast<double>(below));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: startbench ROUNDS yardstick.exe program.exe ...\n");
        return 2;
    }
    const int rounds = _wtoi(argv[1]);
    std::vector<std::wstring> exes(argv + 2, argv + argc);
    std::vector<std::vector<double>> times(exes.size());
    for (int round = 0; round <= rounds; ++round) {
        for (size_t i = 0; i < exes.size(); ++i) {
            const double ms = timeToWindow(exes[i]);
            if (ms < 0) {
                std::fwprintf(stderr, L"no window from %ls\n", exes[i].c_str());
                return 1;
            }
            if (round > 0)  // round 0 warms the caches up
                times[i].push_back(ms);
            std::wprintf(L"round %d %ls %.1f ms%ls\n", round, exes[i].c_str(), ms,
                         round == 0 ? L" (warm-up)" : L"");
            Sleep(200);  // let the ended process's teardown pass
        }
    }
    // The median decides; the quartiles and the minimum show how much a busy machine scattered
    // the runs. "paired" is the median of each round's own ratio to the yardstick's run of that
    // round, which a load that comes and goes disturbs less.
    const double yardstick = quantile(times[0], 0.5);
    std::wprintf(L"%-24ls %9ls %5ls %6ls %6ls %6ls %6ls   (ms, %d rounds)\n", L"", L"median",
                 L"ratio", L"paired", L"min", L"1st q.", L"3rd q.", rounds);
    for (size_t i = 0; i < exes.size(); ++i) {
        const double median = quantile(times[i], 0.5);
        std::vector<double> ratios;
        for (size_t r = 0; r < times[i].size(); ++r)
            ratios.push_back(times[i][r] / times[0][r]);
        std::wprintf(L"%-24ls %9.1f %4.2fx %5.2fx %6.1f %6.1f %6.1f\n",
                     std::wcsrchr(exes[i].c_str(), L'\\') ? std::wcsrchr(exes[i].c_str(), L'\\') + 1
                                                          : exes[i].c_str(),
                     median, median / yardstick, quantile(ratios, 0.5), quantile(times[i], 0),
                     quantile(times[i], 0.25), quantile(times[i], 0.75));
    }
    return 0;
}
