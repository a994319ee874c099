#pragma once
// MdlDownload: fetches one file from the download host into a local path, showing its progress
// on a caption label and a bar of the window, and returns a DownloadResult: "" (success) or the
// name of a result of results/results.def.
//
// The blocking network calls and the file writes run on a transfer thread (transfer.h); the
// caller's thread keeps pumping the window's messages, shows the progress, watches for a stalled
// transfer and resumes a cut one, and returns when the transfer has ended.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/frame.h"
#include "download/check_caption.h"
#include "download/http_rules.h"
#include "download/internet_api.h"
#include "download/memory_download.h"
#include "download/partial_file.h"
#include "download/thread_api.h"
#include "download/transfer.h"
#include "form/control.h"

namespace download {

// A transfer that receives fewer than kStallBytes in this many seconds has failed (connecting and
// the TLS handshake included). Each program sets its build's value (setStallSeconds).
inline constexpr int kDefaultStallSeconds = 60;
inline constexpr std::int64_t kStallBytes = 1024;
// The caller's check of a complete file (the update tool's signature) gets this many seconds
// before the download has failed with kSignTimeoutErr (setCheckSeconds).
inline constexpr int kDefaultCheckSeconds = 60;

// The URL whose cache entry is dropped: the scheme part lower-cased, host and path unchanged.
std::string normaliseCacheUrl(const std::string& url);

ProxyChoice chooseProxy(const std::string& proxy);

// Bytes to kilobytes of 1024, rounded to the nearest integer, halves to even.
std::int64_t bytesToKilobytes(std::int64_t bytes);

// A number formatted with the pattern "#,###": rounded to a whole number, digits grouped by
// threes with `separator`, and nothing at all for a value that rounds to zero.
std::string formatGrouped(double value, const std::string& separator);

// Caption texts of the progress view.
std::string progressCaption(int percentage, double kilobytesDone, std::int64_t announcedKb,
                            const std::string& separator);
std::string finishedCaption(std::int64_t announcedKb);
inline constexpr const char* kStartCaption = "Downloading ... 0%";

// The download engine with its module state (BaseUrl) and the seams it uses.
class Engine {
  public:
    Engine(InternetApi& net, FileApi& files, Clock& clock, Threads& threads);
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    const std::string& baseUrl() const { return baseUrl_; }
    void setBaseUrl(const std::string& baseUrl) { baseUrl_ = baseUrl; }
    // The remote path asked for over plain HTTP after a refused certificate, to tell a login
    // portal (see CallShared::probeUrl): one that names nothing of the user's, the same for
    // every download and every customer. "" asks nothing.
    void setLoginProbePath(const std::string& path) { probePath_ = path; }
    // Processes the window's pending messages; run after every bounded wait during a download.
    void setPump(std::function<void()> pump) { pump_ = std::move(pump); }
    // The system's digit-grouping separator (UTF-8) for the progress caption.
    void setGroupSeparator(const std::string& separator) { separator_ = separator; }
    void setStallSeconds(int seconds) { stallSeconds_ = seconds; }
    void setCheckSeconds(int seconds) { checkSeconds_ = seconds; }
    // What a refused secure request is judged by: the running Windows version with its product
    // type (wProductType, see kProductWorkstation) and the date this program was built from
    // (FILETIME units; 0 when unknown).
    void setWindowsVersion(std::uint32_t major, std::uint32_t minor,
                           std::uint8_t productType = kProductWorkstation);
    void setBuildDate(std::uint64_t fileTime) { secure_.buildDate = fileTime; }

    // caption and bar: the progress view, both or neither; without a caption no progress shows.
    // accept: the caller's check of the complete file before it takes its final name.
    std::string downloadFile(const std::string& remotePath, const std::string& localPath,
                             form::Control* caption, form::Control* bar, const std::string& proxy,
                             const AcceptFile& accept = {});

    // The file at `remotePath`, at most `maxBytes` long, into memory: the same requests, rules
    // and retries as downloadFile, without a progress view, and nothing written to the disk.
    MemoryDownload downloadToMemory(const std::string& remotePath, std::size_t maxBytes,
                                    const std::string& proxy);

    // Drops the Internet cache entry of the URL; never fails towards the caller.
    void clearUrlCacheEntry(const std::string& url);

    // The program is ending: gives up every download under way without waiting for its transfer
    // thread and deletes its partial file; those downloads end with "NetErr". Ends the upgrade.
    void abandonActiveDownloads();

    // The upgrade's downloads are over: the proxy's login the user gave in it is let go (and
    // wiped once no attempt still holds it); the next upgrade asks again.
    void endUpgrade() { proxyLogin_.reset(); }

  private:
    struct View;

    // One download call on `call`, whose files are where it stores the file.
    std::string runDownload(const std::shared_ptr<CallShared>& call, const std::string& remotePath,
                            const std::string& localPath, form::Control* caption,
                            form::Control* bar, const std::string& proxy, const AcceptFile& accept);
    std::string runCall(const std::shared_ptr<CallShared>& shared, View& view);
    void giveUp(CallShared& call, bool patient);
    void keepProxyLogin(NetHandle request);
    void waitAndPump();
    void updateProgress(std::int64_t bytesDone, std::int64_t announcedKb, form::Control& caption,
                        form::Control& bar);

    InternetApi& net_;
    FileApi& files_;
    Clock& clock_;
    Threads& threads_;
    std::string baseUrl_;
    std::string probePath_;
    std::function<void()> pump_;
    std::string separator_ = ",";
    int stallSeconds_ = kDefaultStallSeconds;
    int checkSeconds_ = kDefaultCheckSeconds;
    SecureContext secure_;
    std::vector<std::shared_ptr<CallShared>> active_;
    std::shared_ptr<const ProxyCredentials> proxyLogin_;
};

}  // namespace download
