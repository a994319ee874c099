// dlbench <mode> <base> <remote> <local> <product.exe>
//   engine     DownloadFile with the progress view of the real main window (window host, skin
//              pictures taken from the product executable), pumping through the host's DoEvents
//   offscreen  the same call with the progress view on a window model no window shows
//   bare       a plain WinINet loop: the engine's flags and read size, each read written to the
//              file, no window and no pump
//   bare4kpump the way transfers ran before the transfer thread: 4096-byte reads and one
//              DoEvents of the same window per read
// Prints: mode bytes seconds peak_working_set paints painted_pixels result download_cpu
// window_thread_cpu pumps (CPU seconds of the process and of the window's thread from the start
// to the end of the download; pumps: the engine's waits, each followed by one DoEvents)
#include <windows.h>
// after windows.h
#include <psapi.h>
#include <wininet.h>

#include <cstdio>
#include <memory>
#include <string>

#include "common/win32/utf16.h"
#include "download/transfer.h"
#include "download/win32/download_wiring.h"
#include "form/win32/host_gdi.h"
#include "form/win32/window_host.h"
#include "ui/frm_main_def.h"
#include "ui/win32/resource_pictures.h"

namespace {

double now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

// CPU seconds (user + system) of the process and of the calling thread so far.
double filetimeSeconds(const FILETIME& a, const FILETIME& b) {
    const auto v = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(v(a) + v(b)) / 1e7;
}
double processCpu() {
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    return filetimeSeconds(kernel, user);
}
double threadCpu() {
    FILETIME created, ended, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
    return filetimeSeconds(kernel, user);
}

SIZE_T peakWorkingSet() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    return pmc.PeakWorkingSetSize;
}

// The reads the engine's transfer thread makes, without its progress view, checks and partial
// file: `readSize` bytes at a time, with one DoEvents per read when `pump` is given.
long long bareLoop(const std::string& url, const std::string& local, DWORD readSize,
                   form::win32::WindowHost* pump) {
    HINTERNET session =
        InternetOpenA("API-Download", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session)
        return -1;
    HINTERNET request =
        InternetOpenUrlA(session, url.c_str(), nullptr, 0,
                         INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_NO_CACHE_WRITE |
                             INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_AUTO_REDIRECT,
                         0);
    if (!request) {
        InternetCloseHandle(session);
        return -1;
    }
    HANDLE file = CreateFileW(norvik::win32::toWide(local).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    long long total = 0;
    std::string buffer(readSize, '\0');
    DWORD got = 0;
    while (InternetReadFile(request, buffer.data(), readSize, &got) && got > 0) {
        DWORD written = 0;
        WriteFile(file, buffer.data(), got, &written, nullptr);
        total += got;
        if (pump)
            pump->doEvents();
    }
    CloseHandle(file);
    InternetCloseHandle(request);
    InternetCloseHandle(session);
    return total;
}

long long fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(norvik::win32::toWide(path).c_str(), GetFileExInfoStandard, &d))
        return -1;
    return (static_cast<long long>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 6) {
        std::fprintf(stderr,
                     "usage: dlbench engine|offscreen|bare|bare4kpump base remote local "
                     "product.exe\n");
        return 2;
    }
    const std::string mode = norvik::win32::toUtf8(argv[1]);
    const std::string base = norvik::win32::toUtf8(argv[2]);
    const std::string remote = norvik::win32::toUtf8(argv[3]);
    const std::string local = norvik::win32::toUtf8(argv[4]);

    std::unique_ptr<ui::win32::ResourcePictures> pictures;
    std::unique_ptr<form::Form> frm;
    std::unique_ptr<form::win32::WindowHost> host;
    if (mode != "bare") {
        // The real window: the main window's definition with its skin pictures.
        const HMODULE product = LoadLibraryExW(
            argv[5], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        pictures = std::make_unique<ui::win32::ResourcePictures>(product);
        frm =
            std::make_unique<form::Form>(ui::frmMainDefinition(), form::win32::kWindowTwipsPerPixel,
                                         form::win32::kWindowTwipsPerPixel);
        form::win32::HostResources res;
        res.instance = GetModuleHandleW(nullptr);
        res.pictures = pictures.get();
        host = std::make_unique<form::win32::WindowHost>(*frm, res);
        host->loadAndShow(SW_SHOWNORMAL);
        frm->control("ProgressCap").setVisible(true);
        frm->control("ProgressBar").setVisible(true);
        host->doEvents();
    }

    const double start = now();
    const double processStart = processCpu();
    const double threadStart = threadCpu();
    long pumps = 0;
    std::string result;
    long long bytes = 0;
    if (mode == "engine" || mode == "offscreen") {
        // offscreen: the same progress view on a window model that no window shows, to tell
        // the engine's own work from the window's invalidating and painting.
        form::Form offscreen(ui::frmMainDefinition(), 15, 15);
        form::Form& view = mode == "engine" ? *frm : offscreen;
        download::win32::SetPump([&] {
            ++pumps;
            host->doEvents();
        });
        download::win32::SetBaseUrl(base);
        result = download::win32::DownloadFile(remote, local, &view.control("ProgressCap"),
                                               &view.control("ProgressBar"), ":");
        bytes = fileSize(local);
    } else {
        const bool old = mode == "bare4kpump";
        bytes = bareLoop(base + remote, local, old ? 4096 : download::kChunkSize,
                         old ? host.get() : nullptr);
        result = bytes >= 0 ? "ok" : "failed";
    }
    const double seconds = now() - start;
    const double windowCpu = threadCpu() - threadStart;
    const double downloadCpu = processCpu() - processStart;
    std::printf("%s %lld %.4f %lu %ld %lld %s %.4f %.4f %ld\n", mode.c_str(), bytes, seconds,
                static_cast<unsigned long>(peakWorkingSet()), host ? host->paintCount() : 0L,
                host ? host->paintedPixels() : 0LL, result.empty() ? "ok" : result.c_str(),
                downloadCpu, windowCpu, pumps);
    std::fflush(stdout);
    return 0;
}
