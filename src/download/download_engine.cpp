#include "download/download_engine.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "common/rounding.h"

namespace download {

namespace {

// A real value converted to a 32-bit integer (halves to even); out of range is a run-time error.
std::int32_t toInt32(double value) {
    const double r = norvik::roundHalfEven(value);
    if (!(r >= std::numeric_limits<std::int32_t>::min() &&
          r <= std::numeric_limits<std::int32_t>::max()))
        throw std::overflow_error("Overflow");
    return static_cast<std::int32_t>(r);
}

// The same for the 16-bit percentage.
int toInt16(double value) {
    const double r = norvik::roundHalfEven(value);
    if (!(r >= -32768.0 && r <= 32767.0))
        throw std::overflow_error("Overflow");
    return static_cast<int>(r);
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The text a query wrote into its zero-filled buffer, up to the first zero byte.
std::string bufferText(const char* buffer, std::size_t capacity) {
    const void* end = std::memchr(buffer, 0, capacity);
    const std::size_t n =
        end ? static_cast<std::size_t>(static_cast<const char*>(end) - buffer) : capacity;
    return std::string(buffer, n);
}

}  // namespace

std::string normaliseCacheUrl(const std::string& url) {
    // From the 8th character on for https, so that the slashes of "https://" are passed over.
    const std::size_t from = url.find("https://") != std::string::npos ? 7 : 0;
    const std::size_t slash = url.find('/', from);
    if (slash == std::string::npos)
        return url;
    std::string result = url;
    std::transform(result.begin(), result.begin() + static_cast<std::ptrdiff_t>(slash) + 1,
                   result.begin(), asciiLower);
    return result;
}

ProxyChoice chooseProxy(const std::string& proxy) {
    if (!proxy.empty() && proxy.back() == ':')
        return ProxyChoice{false, {}};
    return ProxyChoice{true, proxy};
}

std::optional<std::int64_t> parseContentLength(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    std::int64_t value = 0;
    bool any = false;
    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 10 - 10;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > kLimit)
            return std::nullopt;  // no real file is that long
        value = value * 10 + (text[i] - '0');
        any = true;
    }
    if (!any)
        return std::nullopt;
    return value;
}

std::int64_t bytesToKilobytes(std::int64_t bytes) {
    // Exact integer form of round-half-even(bytes / 1024), also beyond 2^53.
    std::int64_t q = bytes / 1024;
    std::int64_t r = bytes % 1024;
    if (r < 0) {
        r += 1024;
        --q;
    }
    if (r > 512 || (r == 512 && (q % 2 != 0)))
        ++q;
    return q;
}

std::string formatGrouped(double value, const std::string& separator) {
    const double r = norvik::roundHalfEven(value);
    if (r == 0.0)
        return {};
    const bool negative = r < 0;
    std::uint64_t n = static_cast<std::uint64_t>(negative ? -r : r);
    std::string digits = std::to_string(n);
    std::string out;
    out.reserve(digits.size() + digits.size() / 3 * separator.size() + 1);
    if (negative)
        out.push_back('-');
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += separator;
        out.push_back(digits[i]);
    }
    return out;
}

std::string progressCaption(int percentage, double kilobytesDone, std::int64_t announcedKb,
                            const std::string& separator) {
    std::string text = "Downloading ... ";
    text += std::to_string(percentage);
    text += "%: ";
    text += formatGrouped(kilobytesDone, separator);
    text += "Kb / ";
    text += formatGrouped(static_cast<double>(announcedKb), separator);
    text += "Kb";
    return text;
}

std::string partialName(const std::string& localPath, int attempt) {
    std::string name = localPath + kPartialSuffix;
    if (attempt > 1)
        name += std::to_string(attempt);
    return name;
}

std::string finishedCaption(std::int64_t announcedKb) {
    const std::string n = std::to_string(announcedKb);
    return "Finished 100%: " + n + "Kb / " + n + "Kb";
}

// Everything one call opened, so that every way out closes it and removes the partial file.
struct Engine::Transfer {
    std::string url;
    std::string localPath;
    std::string partialPath;
    NetHandle session = 0;
    NetHandle request = 0;
    std::optional<FileHandle> file;
    bool partialExists = false;
    bool abandoned = false;
    std::optional<std::int64_t> announcedBytes;
    std::int64_t announcedKb = 0;
    std::int64_t bytesDone = 0;
};

Engine::Engine(InternetApi& net, FileApi& files) : net_(net), files_(files) {}

void Engine::clearUrlCacheEntry(const std::string& url) {
    try {
        net_.deleteUrlCacheEntry(normaliseCacheUrl(url));
    } catch (...) {
        // Dropping the cache entry is a courtesy; its failure is nobody's concern.
    }
}

void Engine::closeAll(Transfer& t) {
    if (t.file) {
        files_.close(*t.file);
        t.file.reset();
    }
    if (t.request) {
        net_.closeHandle(t.request);
        t.request = 0;
    }
    if (t.session) {
        net_.closeHandle(t.session);
        t.session = 0;
    }
}

void Engine::abandonActiveDownloads() {
    for (Transfer* t : active_) {
        t->abandoned = true;
        closeAll(*t);
        if (t->partialExists) {
            files_.remove(t->partialPath);
            t->partialExists = false;
        }
    }
}

std::string Engine::downloadFile(const std::string& remotePath, const std::string& localPath,
                                 form::Control* caption, form::Control* bar,
                                 const std::string& proxy) {
    if (baseUrl_.empty() || remotePath.empty() || localPath.empty())
        return kFileErr;

    Transfer t;
    t.url = baseUrl_ + remotePath;
    t.localPath = localPath;
    clearUrlCacheEntry(t.url);

    // Whatever way the call ends (also by an exception from a handler run by the pump), the
    // handles are closed and an unfinished partial file is removed.
    struct Guard {
        Engine& engine;
        Transfer& t;
        ~Guard() {
            engine.closeAll(t);
            if (t.partialExists)
                engine.files_.remove(t.partialPath);
            engine.active_.erase(std::find(engine.active_.begin(), engine.active_.end(), &t));
        }
    };
    active_.push_back(&t);
    Guard guard{*this, t};

    const ProxyChoice choice = chooseProxy(proxy);
    t.session = choice.useProxy
                    ? net_.open(kAgent, kOpenTypeProxy, choice.server.c_str(), kBypassList, 0)
                    : net_.open(kAgent, kOpenTypePreconfig, nullptr, nullptr, 0);
    if (!t.session)
        return kNetErr;
    // Not through the Internet cache: a package must not take twice its size on disk.
    t.request =
        net_.openUrl(t.session, t.url, kFlagExistingConnect | kFlagNoCacheWrite | kFlagReload);
    if (!t.request)
        return kNetErr;

    return transfer(t, caption, bar);
}

std::string Engine::transfer(Transfer& t, form::Control* caption, form::Control* bar) {
    std::array<char, 1024> info{};
    std::uint32_t infoLength = static_cast<std::uint32_t>(info.size());
    // The server's answer decides before anything is written: its error page is not the file.
    if (!net_.queryInfo(t.request, kQueryStatusCode, info.data(), &infoLength))
        return kNetErr;
    const std::optional<std::int64_t> status =
        parseContentLength(bufferText(info.data(), info.size()));
    if (!status)
        return kNetErr;
    if (*status == 404 || *status == 410)
        return kFileErr;
    if (*status < 200 || *status > 299)
        return kNetErr;
    // "No content" is no file, and a part of one (no range was asked for) is not the file either.
    if (*status == 204 || *status == 205 || *status == 206)
        return kNetErr;

    info.fill(0);
    infoLength = static_cast<std::uint32_t>(info.size());
    if (net_.queryInfo(t.request, kQueryContentLength, info.data(), &infoLength))
        t.announcedBytes = parseContentLength(bufferText(info.data(), info.size()));
    t.announcedKb = t.announcedBytes ? bytesToKilobytes(*t.announcedBytes) : 0;

    const bool view = caption != nullptr && bar != nullptr;
    try {
        if (view) {
            caption->setText(kStartCaption);
            bar->setWidth(1);
        }
        // A file that already bears a partial name is not ours to overwrite or delete: take the
        // first free name, and remove on failure only the file this call created.
        for (int attempt = 1; attempt <= kPartialNames && !t.file; ++attempt) {
            const std::string name = partialName(t.localPath, attempt);
            t.file = files_.create(name);
            if (t.file) {
                t.partialPath = name;
                t.partialExists = true;
            }
        }
        if (!t.file)
            return kNetErr;

        std::array<char, kChunkSize> buffer;
        for (;;) {
            std::uint32_t got = 0;
            if (!net_.readFile(t.request, buffer.data(), kChunkSize, &got))
                return kNetErr;
            if (got == 0)
                break;
            if (got > kChunkSize)
                return kNetErr;
            if (!files_.write(*t.file, buffer.data(), got))
                return kNetErr;
            t.bytesDone += got;
            if (view) {
                if (t.announcedKb > 0)
                    updateProgress(t, *caption, *bar);
                // Pumped also when the size is unknown, so that the window never freezes.
                if (pump_)
                    pump_();
                if (t.abandoned)
                    return kNetErr;
            }
        }
    } catch (const std::exception&) {
        return kNetErr;
    }

    const bool flushed = files_.flush(*t.file);
    const bool closed = files_.close(*t.file) && flushed;
    t.file.reset();
    closeAll(t);
    if (!closed)
        return kNetErr;

    // Complete only when every announced byte is on disk.
    const std::optional<std::int64_t> length = files_.length(t.partialPath);
    if (!length || *length != t.bytesDone)
        return kNetErr;
    if (t.announcedBytes && *length < *t.announcedBytes)
        return kNetErr;

    if (!files_.replace(t.partialPath, t.localPath))
        return kNetErr;
    t.partialExists = false;

    if (view && t.announcedKb > 0) {
        try {
            bar->setWidth(caption->width());
            caption->setText(finishedCaption(t.announcedKb));
        } catch (const std::exception&) {
            // The file is complete and in place; a refused view property does not undo that.
        }
    }
    return kResultOk;
}

void Engine::updateProgress(Transfer& t, form::Control& caption, form::Control& bar) {
    const double kbDone = static_cast<double>(t.bytesDone) / 1024.0;
    const double fraction = kbDone / static_cast<double>(t.announcedKb);
    const int percentage = toInt16(fraction * 100.0);

    // Setting an unchanged value would only make the window repaint for nothing.
    std::string text = progressCaption(percentage, kbDone, t.announcedKb, separator_);
    if (caption.text() != text)
        caption.setText(text);

    if (bar.width() < caption.width()) {
        // Width × kilobytes first, then the division: an exact half stays exact and rounds to
        // even (300 × 44 / 480 is 27.5 and gives 28; 300 × (44 / 480) is 27.4999… and gives 27).
        const int width = toInt32(caption.width() * kbDone / static_cast<double>(t.announcedKb));
        if (width != bar.width())
            bar.setWidth(width);
    }
    // The bar never grows beyond the caption.
    if (bar.width() > caption.width())
        bar.setWidth(caption.width());
}

}  // namespace download
