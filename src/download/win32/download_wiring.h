#pragma once
// The download engine and system helpers bound to the real platform, for WinMain.
#include <functional>
#include <string>

#include "form/form.h"

namespace download::win32 {

// The message pump that DownloadFile runs once per chunk while it shows progress.
void SetPump(std::function<void()> pump);
// The scheme and host every remote path is appended to.
void SetBaseUrl(const std::string& baseUrl);
// Checks the complete, closed file before it takes the local path's name; false refuses it.
using AcceptFile = std::function<bool(const std::string& partialPath)>;
std::string DownloadFile(const std::string& remotePath, const std::string& localPath,
                         form::Control* caption, form::Control* bar, const std::string& proxy,
                         const AcceptFile& accept = {});
// Closes and deletes the partial file of a download that is under way (the program is ending).
void AbandonActiveDownloads();
std::string GetWindowsVersionName();
void SetTopmost(form::Form& frm, bool onTop);

}  // namespace download::win32
