#pragma once
// Scripted fakes of the download engine's seams: a server answer played back through the
// WinINet calls, and an in-memory file system that records what happened to each path.
#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "download/internet_api.h"
#include "form/form.h"
#include "progress_form.h"

namespace fakes {

struct OpenCall {
    std::string agent;
    std::uint32_t accessType = 0;
    std::optional<std::string> proxy, bypass;
    std::uint32_t flags = 0;
};

class FakeNet : public download::InternetApi {
  public:
    // The scripted answer.
    bool sessionFails = false;
    bool urlFails = false;
    std::optional<std::string> status = "200";  // nullopt: the query fails
    std::optional<std::string> contentLength;   // nullopt: the query fails
    std::vector<std::uint32_t> chunks;          // sizes of successive reads
    bool failAfterChunks = false;               // the read after the last chunk fails
    char fill = 'x';

    // What happened.
    std::vector<std::string> deletedCacheUrls;
    std::vector<OpenCall> opens;
    std::vector<std::pair<std::string, std::uint32_t>> urlOpens;
    std::vector<download::NetHandle> closed;
    int reads = 0;
    std::set<download::NetHandle> live;

    bool deleteUrlCacheEntry(const std::string& url) override {
        deletedCacheUrls.push_back(url);
        return false;
    }
    download::NetHandle open(const std::string& agent, std::uint32_t accessType, const char* proxy,
                             const char* bypass, std::uint32_t flags) override {
        OpenCall c{agent, accessType, {}, {}, flags};
        if (proxy)
            c.proxy = proxy;
        if (bypass)
            c.bypass = bypass;
        opens.push_back(c);
        if (sessionFails)
            return 0;
        live.insert(kSession);
        return kSession;
    }
    download::NetHandle openUrl(download::NetHandle session, const std::string& url,
                                std::uint32_t flags) override {
        urlOpens.emplace_back(url, flags);
        if (urlFails || session != kSession)
            return 0;
        live.insert(kRequest);
        return kRequest;
    }
    bool queryInfo(download::NetHandle request, std::uint32_t level, char* buffer,
                   std::uint32_t* length) override {
        if (request != kRequest || *length != 1024)
            return false;
        for (std::uint32_t i = 0; i < *length; ++i)
            if (buffer[i] != 0)
                return false;  // the buffer must come zero-filled
        const std::optional<std::string>& answer = level == download::kQueryStatusCode ? status
                                                   : level == download::kQueryContentLength
                                                       ? contentLength
                                                       : std::nullopt;
        if (!answer)
            return false;
        std::memcpy(buffer, answer->data(), std::min<std::size_t>(answer->size(), *length));
        *length = static_cast<std::uint32_t>(answer->size());
        return true;
    }
    bool readFile(download::NetHandle request, void* buffer, std::uint32_t toRead,
                  std::uint32_t* read) override {
        *read = 0;
        if (request != kRequest || toRead != 4096)
            return false;
        const std::size_t i = static_cast<std::size_t>(reads++);
        if (i >= chunks.size())
            return !failAfterChunks;
        *read = chunks[i];
        std::memset(buffer, fill + static_cast<char>(i % 7), chunks[i]);
        return true;
    }
    void closeHandle(download::NetHandle handle) override {
        closed.push_back(handle);
        live.erase(handle);
    }

    // Splits `bytes` into 4096-byte reads and a last shorter one.
    void body(std::int64_t bytes) {
        chunks.clear();
        for (; bytes >= 4096; bytes -= 4096)
            chunks.push_back(4096);
        if (bytes > 0)
            chunks.push_back(static_cast<std::uint32_t>(bytes));
    }

    static constexpr download::NetHandle kSession = 0x100;
    static constexpr download::NetHandle kRequest = 0x200;
};

// Files kept in memory. `countOnly` keeps lengths instead of bytes (for huge transfers).
class FakeFiles : public download::FileApi {
  public:
    std::map<std::string, std::string> files;
    std::map<std::string, std::int64_t> countedLengths;
    std::set<std::string> folders{"C:\\dir"};
    bool countOnly = false;
    int failWriteOnCall = -1;
    bool failClose = false;
    bool failFlush = false;
    bool failReplace = false;
    std::vector<std::string> log;

    std::optional<download::FileHandle> create(const std::string& path) override {
        log.push_back("create " + path);
        if (!folders.count(path.substr(0, path.rfind('\\'))))
            return std::nullopt;
        if (files.count(path))
            return std::nullopt;  // a new file only, never one that exists
        files[path].clear();
        countedLengths[path] = 0;
        open_[next_] = path;
        return next_++;
    }
    bool write(download::FileHandle file, const void* data, std::size_t size) override {
        if (!open_.count(file))
            return false;
        if (writes_++ == failWriteOnCall)
            return false;
        const std::string& path = open_[file];
        if (countOnly)
            countedLengths[path] += static_cast<std::int64_t>(size);
        else
            files[path].append(static_cast<const char*>(data), size);
        return true;
    }
    bool flush(download::FileHandle file) override {
        if (!open_.count(file))
            return false;
        log.push_back("flush " + open_[file]);
        return !failFlush;
    }
    bool close(download::FileHandle file) override {
        if (!open_.count(file))
            return false;
        log.push_back("close " + open_[file]);
        open_.erase(file);
        return !failClose;
    }
    std::optional<std::int64_t> length(const std::string& path) override {
        if (!files.count(path))
            return std::nullopt;
        if (countOnly)
            return countedLengths[path];
        return static_cast<std::int64_t>(files[path].size());
    }
    bool replace(const std::string& from, const std::string& to) override {
        log.push_back("replace " + from + " " + to);
        if (failReplace || !files.count(from))
            return false;
        files[to] = files[from];
        countedLengths[to] = countedLengths[from];
        files.erase(from);
        return true;
    }
    bool remove(const std::string& path) override {
        log.push_back("remove " + path);
        return files.erase(path) > 0;
    }
    int openCount() const { return static_cast<int>(open_.size()); }

  private:
    std::map<download::FileHandle, std::string> open_;
    download::FileHandle next_ = 1;
    int writes_ = 0;
};

// Counts what the window host would repaint.
class CountingHost : public form::FormHost {
  public:
    int textChanges = 0, geometryChanges = 0;
    void controlChanged(form::Control&, form::ControlChange what) override {
        if (what == form::ControlChange::Text)
            ++textChanges;
        if (what == form::ControlChange::Geometry)
            ++geometryChanges;
    }
    void formChanged(form::FormChange) override {}
    bool setFocus(form::Control&) override { return true; }
};

// A form with the progress caption (captionPixels wide) and the progress bar, at 15 twips/pixel.
using testsupport::progressForm;

}  // namespace fakes
