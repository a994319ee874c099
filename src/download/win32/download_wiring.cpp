// Stand-in until the download engine lands.
#include "download/win32/download_wiring.h"

namespace download::win32 {
void SetPump(std::function<void()>) {}
void SetBaseUrl(const std::string&) {}
std::string DownloadFile(const std::string&, const std::string&, form::Control*, form::Control*,
                         const std::string&) {
    return "NetErr";
}
void AbandonActiveDownloads() {}
std::string GetWindowsVersionName() { return "Unknown Windows Version"; }
void SetTopmost(form::Form&, bool) {}
}  // namespace download::win32
