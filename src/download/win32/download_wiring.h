#pragma once
// The download engine and system helpers bound to the real platform, for WinMain.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "download/memory_download.h"
#include "download/transfer.h"
#include "form/form.h"

namespace download::win32 {

// The message pump that DownloadFile runs between its bounded waits.
void SetPump(std::function<void()> pump);
// The window that owns the system's credentials dialog when a proxy asks for a login.
void SetDialogOwner(std::function<HWND()> owner);
// Raises WinINet's connections per server for the process (to kConnectionsPerServer); true when
// both limits were set. Called once at start-up.
bool RaiseConnectionLimits();
// The scheme and host every remote path is appended to.
void SetBaseUrl(const std::string& baseUrl);
// The remote path asked for over plain HTTP after a refused certificate
// (Engine::setLoginProbePath).
void SetLoginProbePath(const std::string& path);
// How long a transfer may receive less than 1 KiB before it has failed. Each program built from
// these sources sets its build's value (NORVIK_STALL_SECONDS) before it starts; 60 otherwise.
void SetStallSeconds(int seconds);
// How long the caller's check of a complete file may take (NORVIK_SIGN_CHECK_SECONDS); 60
// otherwise.
void SetCheckSeconds(int seconds);
// The date of the commit this program was built from (seconds since 1970, UTC; 0: unknown): a
// computer whose date lies before it has a wrong clock. Set like the stall seconds
// (NORVIK_BUILD_EPOCH).
void SetBuildEpoch(std::int64_t unixSeconds);
// accept: the caller's check of the complete file before it takes its final name (see AcceptFile).
std::string DownloadFile(const std::string& remotePath, const std::string& localPath,
                         form::Control* caption, form::Control* bar, const std::string& proxy,
                         const AcceptFile& accept = {});
// The file at remotePath, at most maxBytes, into memory (see Engine::downloadToMemory).
MemoryDownload DownloadToMemory(const std::string& remotePath, std::size_t maxBytes,
                                const std::string& proxy);
// The upgrade's downloads are over: the proxy's login given in it is let go.
void EndUpgrade();
// Gives up the downloads under way and deletes their partial files, without waiting for their
// transfer threads (the program is ending).
void AbandonActiveDownloads();
std::string GetWindowsVersionName();
// What a failed secure handshake is named on this Windows (oldTlsResult of its version and
// product type; "" where WinINet speaks TLS 1.2).
std::string GetOldTlsResult();
void SetTopmost(form::Form& frm, bool onTop);

}  // namespace download::win32
