#pragma once
// MdlDownload: fetches one file from the download host into a local path, showing its progress
// on a caption label and a bar of the window, and returns a DownloadResult:
// "" (success), "NetErr" (network or transfer failure) or "FileErr" (missing input, or the
// server has no such file).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "download/internet_api.h"
#include "form/control.h"

namespace download {

inline const std::string kResultOk;
inline const std::string kNetErr = "NetErr";
inline const std::string kFileErr = "FileErr";
// The file could not be created, written, flushed or renamed on the local disk.
inline const std::string kDiskErr = "DiskErr";
// The proxy asks for a login (407).
inline const std::string kProxyAuthErr = "ProxyAuthErr";
// The downloaded file was refused by the caller's check before it took its final name (the
// update tool without the maker's valid signature).
inline const std::string kSignErr = "SignErr";

inline constexpr const char* kAgent = "API-Download";
inline constexpr const char* kBypassList = "<local>";
inline constexpr std::uint32_t kChunkSize = 4096;
// The partial file written beside the local path until the transfer is complete is named
// localPath + ".part", or ".part2" ... ".part9" when the names before are taken: an existing file
// of such a name belongs to someone else and is left alone.
inline constexpr const char* kPartialSuffix = ".part";
inline constexpr int kPartialNames = 9;
// The partial file's name for attempt 1 ... kPartialNames.
std::string partialName(const std::string& localPath, int attempt);

// The URL whose cache entry is dropped: the scheme part lower-cased, host and path unchanged.
std::string normaliseCacheUrl(const std::string& url);

// How the session reaches the server for a proxy text "address:port".
struct ProxyChoice {
    bool useProxy = false;  // false: the system's Internet settings
    std::string server;     // the proxy server text when useProxy
};
ProxyChoice chooseProxy(const std::string& proxy);

// The leading decimal number of a Content-Length text (leading blanks skipped, reading stops at
// the first character that is not a digit). nullopt when there is no usable number.
std::optional<std::int64_t> parseContentLength(const std::string& text);

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
    Engine(InternetApi& net, FileApi& files);
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    const std::string& baseUrl() const { return baseUrl_; }
    void setBaseUrl(const std::string& baseUrl) { baseUrl_ = baseUrl; }
    // Processes the window's pending messages; run once per chunk while progress is shown.
    void setPump(std::function<void()> pump) { pump_ = std::move(pump); }
    // The system's digit-grouping separator (UTF-8) for the progress caption.
    void setGroupSeparator(const std::string& separator) { separator_ = separator; }

    // caption and bar: the progress view, both or neither; without a caption no progress shows.
    std::string downloadFile(const std::string& remotePath, const std::string& localPath,
                             form::Control* caption, form::Control* bar, const std::string& proxy);

    // Drops the Internet cache entry of the URL; never fails towards the caller.
    void clearUrlCacheEntry(const std::string& url);

    // Closes the files and handles of every download under way and deletes their partial files;
    // those downloads then end with "NetErr" without touching anything more.
    void abandonActiveDownloads();

  private:
    struct Transfer;

    std::string transfer(Transfer& t, form::Control* caption, form::Control* bar);
    void updateProgress(Transfer& t, form::Control& caption, form::Control& bar);
    void closeAll(Transfer& t);

    InternetApi& net_;
    FileApi& files_;
    std::string baseUrl_;
    std::function<void()> pump_;
    std::string separator_ = ",";
    std::vector<Transfer*> active_;
};

}  // namespace download
