// The real download engine (WinINet, kernel32) against the local download server, nginx and
// tinyproxy, all on loopback and started by run_win_tests.py.
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "common/win32/unique_handle.h"
#include "download/win32/download_wiring.h"
#include "win_test_support.h"

namespace {

using download::win32::DownloadFile;
using download::win32::SetBaseUrl;
using download::win32::SetPump;
using wintest::env;
using wintest::readAll;

const std::string kOld = "old content that must survive every failed download, byte for byte";
// The stall time these tests give the engine, and what a call may take beyond its bound (Wine
// starting threads, connecting, the rename).
constexpr int kStallSeconds = 3;
constexpr double kSlackSeconds = 3.0;
// The window answers a message within this time throughout a download.
constexpr double kLongestPumpGapMs = 250.0;

double nowSeconds() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

// Where the runner's servers listen; the tests skip when they run without it.
struct Servers {
    std::string http, https, untrusted, tlsStall, blackhole, nginxHttp, nginxHttps, proxy,
        proxyAuth, www, requestLog;
    static std::optional<Servers> fromEnvironment() {
        Servers s;
        auto get = [](const char* n) { return env(n).value_or(""); };
        s.http = get("NORVIK_TEST_HTTP_PORT");
        s.https = get("NORVIK_TEST_HTTPS_PORT");
        s.untrusted = get("NORVIK_TEST_UNTRUSTED_PORT");
        s.tlsStall = get("NORVIK_TEST_TLS_STALL_PORT");
        s.blackhole = get("NORVIK_TEST_BLACKHOLE_PORT");
        s.nginxHttp = get("NORVIK_TEST_NGINX_HTTP_PORT");
        s.nginxHttps = get("NORVIK_TEST_NGINX_HTTPS_PORT");
        s.proxy = get("NORVIK_TEST_PROXY_PORT");
        s.proxyAuth = get("NORVIK_TEST_PROXY_AUTH_PORT");
        s.www = get("NORVIK_TEST_WWW");
        s.requestLog = get("NORVIK_TEST_REQUEST_LOG");
        if (s.http.empty() || s.https.empty() || s.www.empty() || s.requestLog.empty())
            return std::nullopt;
        return s;
    }
    std::string served(const std::string& rel) const {
        std::string p = www + "\\" + rel;
        for (char& c : p)
            if (c == '/')
                c = '\\';
        return p;
    }
};

// One request as the download server logged it.
struct Request {
    std::string scheme, method, path, range, ifRange;
};

// The requests the server logged from the moment this object was made.
class RequestLog {
  public:
    explicit RequestLog(std::string path) : path_(std::move(path)), from_(contents().size()) {}
    // Requests whose path holds `token`, and with `handshakes` the stalled handshakes.
    std::vector<Request> since(const std::string& token, bool handshakes = false) const {
        std::vector<Request> found;
        const std::string text = contents().substr(from_);
        std::size_t at = 0;
        while (at < text.size()) {
            const std::size_t end = std::min(text.find('\n', at), text.size());
            std::vector<std::string> f;
            std::size_t p = at;
            for (std::size_t tab; (tab = text.find('\t', p)) < end; p = tab + 1)
                f.push_back(text.substr(p, tab - p));
            f.push_back(text.substr(p, end - p));
            at = end + 1;
            const bool wanted =
                f.size() >= 5 &&
                (f[1] == "HANDSHAKE" ? handshakes : f[2].find(token) != std::string::npos);
            if (!wanted)
                continue;
            found.push_back({f[0], f[1], f[2], f[3] == "-" ? "" : f[3], f[4] == "-" ? "" : f[4]});
        }
        return found;
    }

  private:
    std::string contents() const { return readAll(path_).value_or(""); }
    std::string path_;
    std::size_t from_;
};

// Remembers how long the window went without its messages being processed during a call, and
// the bar's widths as the pump saw them.
struct PumpWatch {
    double last = nowSeconds();
    double longestGapMs = 0;
    std::vector<int> barWidths;
    void tick(const form::Control& bar) {
        const double now = nowSeconds();
        longestGapMs = std::max(longestGapMs, (now - last) * 1000.0);
        last = now;
        barWidths.push_back(bar.width());
        wintest::pumpMessages();
    }
};

// kBlackhole: a port whose connections never get through; kTlsStall: one whose TLS handshakes
// never finish.
enum class Port { kHttp, kHttps, kTlsStall, kBlackhole };

class WinDownload : public ::testing::Test {
  protected:
    void SetUp() override {
        auto s = Servers::fromEnvironment();
        if (!s)
            GTEST_SKIP() << "run through run_win_tests.py (no servers)";
        servers = *s;
        SetPump(wintest::pumpMessages);
        download::win32::SetStallSeconds(kStallSeconds);
    }
    void TearDown() override { SetPump(nullptr); }

    std::string httpBase() const { return "http://127.0.0.1:" + servers.http; }
    std::string httpsBase() const { return "https://localhost:" + servers.https; }
    std::string baseFor(Port port) const {
        switch (port) {
            case Port::kHttp:
                return httpBase();
            case Port::kHttps:
                return httpsBase();
            case Port::kTlsStall:
                return "https://localhost:" + servers.tlsStall;
            case Port::kBlackhole:
                return "http://127.0.0.1:" + servers.blackhole;
        }
        return {};
    }

    // A query that tells this call's requests in the server's log from every other's.
    static std::string token(const std::string& name) {
        static int counter = 0;
        return "case=" + name + "-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(++counter);
    }

    // Downloads with a progress view into `local`, which holds kOld beforehand.
    std::string get(const std::string& base, const std::string& remote, const std::string& local,
                    const std::string& proxy = "127.0.0.1:") {
        wintest::writeAll(local, kOld);
        SetBaseUrl(base);
        return DownloadFile(remote, local, &cap, &bar, proxy);
    }
    void expectOldIntact(const std::string& local) {
        // Compared as a flag: a failure then prints no binary file into the log.
        const std::optional<std::string> now = readAll(local);
        EXPECT_TRUE(now && *now == kOld)
            << (now ? "changed, now " + std::to_string(now->size()) + " bytes" : "missing");
        EXPECT_FALSE(wintest::exists(local + ".part"));
    }
    void expectServedCopy(const std::string& local, const std::string& rel) {
        const auto got = readAll(local);
        const auto want = readAll(servers.served(rel));
        ASSERT_TRUE(want.has_value()) << rel;
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->size(), want->size());
        EXPECT_TRUE(*got == *want) << "content differs";
        EXPECT_FALSE(wintest::exists(local + ".part"));
    }

    Servers servers;
    wintest::TempFolder dir;
    form::Form frm{wintest::progressForm(), 15, 15};
    form::Control& cap = frm.control("ProgressCap");
    form::Control& bar = frm.control("ProgressBar");
};

struct Origin {
    const char* name;
    bool https;
    bool nginx;
};

class WinDownloadOrigins : public WinDownload, public ::testing::WithParamInterface<Origin> {
  protected:
    std::string base() const {
        const Origin o = GetParam();
        const std::string& port = o.nginx ? (o.https ? servers.nginxHttps : servers.nginxHttp)
                                          : (o.https ? servers.https : servers.http);
        return (o.https ? "https://localhost:" : "http://127.0.0.1:") + port;
    }
};

TEST_P(WinDownloadOrigins, WholeFileArrivesByteIdenticalAndReplacesALongerOne) {
    if (GetParam().nginx && servers.nginxHttp.empty())
        GTEST_SKIP() << "no nginx";
    const std::string local = dir.file("Sandel.exe");
    ASSERT_EQ(get(base(), "/Sandel/Sandel.exe", local), "");
    expectServedCopy(local, "Sandel/Sandel.exe");
    EXPECT_EQ(cap.text(), "Finished 100%: 293Kb / 293Kb");
    EXPECT_EQ(bar.width(), 300);

    // The same name again from a shorter file: nothing of the longer one remains.
    ASSERT_EQ(DownloadFile("/tiny.bin", local, &cap, &bar, ":"), "");
    expectServedCopy(local, "tiny.bin");
}

TEST_P(WinDownloadOrigins, MissingFileIsFileErrAndNotStored) {
    if (GetParam().nginx && servers.nginxHttp.empty())
        GTEST_SKIP() << "no nginx";
    const std::string local = dir.file("Norvik.rar");
    EXPECT_EQ(get(base(), "/Sandel/NOSUCH/Norvik.rar", local), "FileErr");
    expectOldIntact(local);
}

INSTANTIATE_TEST_SUITE_P(Origins, WinDownloadOrigins,
                         ::testing::Values(Origin{"server_http", false, false},
                                           Origin{"server_https", true, false},
                                           Origin{"nginx_http", false, true},
                                           Origin{"nginx_https", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Faults of the server (see server/faults.py) and what one call makes of them.
// What the requests after the first one ask for.
enum class Later {
    kAny,
    kFromCut,   // Range from where the previous answer was cut, with If-Range
    kFromZero,  // no Range: the file again from its first byte
};

struct FaultCase {
    const char* fault;  // kind[:arg] of /fault/<kind>/<file>; "" for the plain file
    Port port;
    const char* file;  // served file
    const char* result;
    bool whole;  // the served file arrives byte-identical; otherwise the old file is kept
    int minStalls, maxStalls;  // stall periods the call takes
    double moreSeconds;        // retry pauses and transfer time at most
    int minRequests, maxRequests;
    Later later;
};

std::string caseName(const FaultCase& c);
void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << caseName(c);
}

std::string caseName(const FaultCase& c) {
    std::string n = *c.fault ? c.fault : "plain";
    static const char* const kPortNames[] = {"_http", "_https", "_tls_stall", "_blackhole"};
    n += kPortNames[static_cast<int>(c.port)];
    for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return n;
}

class WinDownloadFaults : public WinDownload, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(WinDownloadFaults, ResultTimeRequestsAndTheFileAfterwards) {
    const FaultCase& c = GetParam();
    const std::string name = caseName(c);
    const std::string tag = token(name);
    const std::string remote =
        (*c.fault ? "/fault/" + std::string(c.fault) : std::string()) + "/" + c.file + "?" + tag;
    const std::string local = dir.file("target.bin");
    const RequestLog log(servers.requestLog);
    PumpWatch watch;
    SetPump([&] { watch.tick(bar); });

    const double start = nowSeconds();
    watch.last = start;
    EXPECT_EQ(get(baseFor(c.port), remote, local), c.result);
    const double seconds = nowSeconds() - start;
    watch.tick(bar);

    if (c.whole)
        expectServedCopy(local, c.file);
    else
        expectOldIntact(local);
    EXPECT_GE(seconds, c.minStalls * kStallSeconds * 0.9);
    EXPECT_LE(seconds, c.maxStalls * kStallSeconds + c.moreSeconds + kSlackSeconds);
    EXPECT_LE(watch.longestGapMs, kLongestPumpGapMs) << "the window went unanswered";

    const std::vector<Request> seen = log.since(tag, c.port == Port::kTlsStall);
    int gets = 0;
    for (const Request& r : seen)
        gets += r.method == "GET";
    EXPECT_GE(gets, c.minRequests);
    EXPECT_LE(gets, c.maxRequests);
    if (c.port == Port::kTlsStall) {
        EXPECT_FALSE(seen.empty()) << "no connection reached the stalling port";
    }
    const std::string scheme =
        c.port == Port::kHttps || c.port == Port::kTlsStall ? "https" : "http";
    const std::int64_t size =
        static_cast<std::int64_t>(readAll(servers.served(c.file)).value_or("").size());
    std::int64_t cutAt = 0;  // where the previous answer was cut (the server sends half)
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const Request& r = seen[i];
        EXPECT_EQ(r.scheme, scheme) << "request " << i << " " << r.path;
        if (i == 0) {
            EXPECT_EQ(r.range, "") << "the first request asks for the whole file";
            cutAt = size / 2;
            continue;
        }
        if (c.later == Later::kFromCut) {
            // From the bytes that arrived before the cut: a reset may lose some of what the
            // server sent, never more.
            const std::int64_t from =
                r.range.rfind("bytes=", 0) == 0 ? std::atoll(r.range.c_str() + 6) : -1;
            EXPECT_EQ(r.range, "bytes=" + std::to_string(from) + "-") << "request " << i;
            EXPECT_GT(from, 0) << "request " << i;
            EXPECT_LE(from, cutAt) << "request " << i;
            EXPECT_TRUE(r.ifRange == "\"norvik-test-1\"" ||
                        r.ifRange == "Tue, 01 Dec 2026 08:00:00 GMT")
                << "request " << i << " If-Range " << r.ifRange;
            cutAt = from + (size - from) / 2;
        } else if (c.later == Later::kFromZero) {
            EXPECT_EQ(r.range, "") << "request " << i;
            EXPECT_EQ(r.ifRange, "") << "request " << i;
        }
    }
    // A resumed transfer's progress carries on; it never jumps back.
    // (A server that ignores the range sends the file again from its first byte, and the bar
    // rightly starts again.)
    if (c.later == Later::kFromCut && c.whole && std::string(c.fault) != "reset-ignorerange") {
        EXPECT_TRUE(std::is_sorted(watch.barWidths.begin(), watch.barWidths.end()));
    }
}

constexpr const char* kTool = "Sandel/Sandel.exe";     // 300,000 bytes
constexpr const char* kSys = "Sandel/Norvik_sys.rar";  // 1 MiB + 123 bytes
constexpr double kRetries = 1 + 2 + 4;                 // the pauses before three retries

INSTANTIATE_TEST_SUITE_P(
    Injected, WinDownloadFaults,
    ::testing::Values(
        // Stalls: nothing, or too little, arrives for the stall time.
        FaultCase{"silent", Port::kHttp, kTool, "NetErr", false, 1, 1, 0, 1, 1, Later::kAny},
        FaultCase{"headers", Port::kHttps, kTool, "NetErr", false, 1, 1, 0, 1, 1, Later::kAny},
        FaultCase{"", Port::kTlsStall, kTool, "NetErr", false, 1, 1, 0, 0, 0, Later::kAny},
        FaultCase{"", Port::kBlackhole, kTool, "NetErr", false, 1, 1, 0, 0, 0, Later::kAny},
        FaultCase{"trickle:1", Port::kHttp, kTool, "NetErr", false, 1, 4, kRetries, 1, 4,
                  Later::kAny},
        // A slow but live link is no stall (300,000 bytes at 64 KiB/s).
        FaultCase{"slow:65536", Port::kHttps, kTool, "", true, 0, 0, 5, 1, 1, Later::kAny},
        // Cut after some progress: resumed from the cut where ranges are offered.
        FaultCase{"reset-ranges", Port::kHttp, kSys, "", true, 0, 0, 1, 2, 2, Later::kFromCut},
        FaultCase{"stall-ranges", Port::kHttps, kSys, "", true, 1, 1, 1, 2, 2, Later::kFromCut},
        FaultCase{"reset-ignorerange", Port::kHttp, kSys, "", true, 0, 0, 1, 2, 2, Later::kFromCut},
        FaultCase{"reset-norange", Port::kHttps, kSys, "", true, 0, 0, 1, 2, 2, Later::kFromZero},
        FaultCase{"reset-every", Port::kHttp, kSys, "NetErr", false, 0, 0, kRetries, 4, 4,
                  Later::kFromCut},
        FaultCase{"short", Port::kHttp, kSys, "NetErr", false, 0, 0, kRetries, 4, 4,
                  Later::kFromZero},
        FaultCase{"reset", Port::kHttps, kSys, "NetErr", false, 0, 0, kRetries, 4, 4,
                  Later::kFromZero},
        // Redirects: followed up to five hops, never from https to http.
        FaultCase{"redir:2", Port::kHttp, kTool, "", true, 0, 0, 0, 3, 3, Later::kAny},
        FaultCase{"redir:5:307", Port::kHttps, kTool, "", true, 0, 0, 0, 6, 6, Later::kAny},
        FaultCase{"redir:6:308", Port::kHttp, kTool, "NetErr", false, 0, 0, 0, 6, 6, Later::kAny},
        FaultCase{"loop", Port::kHttps, kTool, "NetErr", false, 0, 0, 0, 6, 6, Later::kAny},
        FaultCase{"nolocation", Port::kHttp, kTool, "NetErr", false, 0, 0, 0, 1, 1, Later::kAny},
        FaultCase{"downgrade", Port::kHttps, kTool, "NetErr", false, 0, 0, 0, 1, 1, Later::kAny},
        // Bodies that cannot be proven whole, or are not the file as stored.
        FaultCase{"gzip", Port::kHttps, kSys, "NetErr", false, 0, 0, 0, 1, 1, Later::kAny},
        FaultCase{"chunked", Port::kHttp, kSys, "NetErr", false, 0, 0, 0, 1, 1, Later::kAny},
        FaultCase{"chunked-cut", Port::kHttps, kSys, "NetErr", false, 0, 0, 0, 1, 1, Later::kAny},
        FaultCase{"close", Port::kHttps, kSys, "NetErr", false, 0, 0, 0, 1, 1, Later::kAny},
        FaultCase{"close-cut", Port::kHttp, kSys, "NetErr", false, 0, 0, 0, 1, 1, Later::kAny},
        FaultCase{"badlength:-1", Port::kHttp, kSys, "NetErr", false, 0, 0, 0, 1, 1, Later::kAny},
        FaultCase{"badlength:abc", Port::kHttps, kSys, "NetErr", false, 0, 0, 0, 1, 1, Later::kAny},
        // Answers that are not the file.
        FaultCase{"404", Port::kHttp, kSys, "FileErr", false, 0, 0, 0, 1, 1, Later::kAny},
        FaultCase{"410", Port::kHttps, kSys, "FileErr", false, 0, 0, 0, 1, 1, Later::kAny},
        FaultCase{"500", Port::kHttp, kSys, "NetErr", false, 0, 0, 0, 1, 1, Later::kAny},
        FaultCase{"204", Port::kHttps, kSys, "NetErr", false, 0, 0, 0, 1, 1, Later::kAny},
        FaultCase{"206", Port::kHttp, kSys, "NetErr", false, 0, 0, 0, 1, 1, Later::kAny}),
    [](const auto& info) { return caseName(info.param); });

// Local failures: the file cannot be created or cannot take its final name.
struct LocalCase {
    const char* name;
    const char* result;
    bool whole;
    double minSeconds;  // a held target is tried again for about 2 seconds
    friend void PrintTo(const LocalCase& c, std::ostream* os) { *os << c.name; }
};

class WinDownloadLocal : public WinDownload, public ::testing::WithParamInterface<LocalCase> {};

struct FileTraits {
    using type = HANDLE;
    static type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(type h) { CloseHandle(h); }
};
using UniqueFile = norvik::win32::UniqueHandle<FileTraits>;

TEST_P(WinDownloadLocal, DiskErrAndTheOldFileKept) {
    const LocalCase& c = GetParam();
    const std::string name = c.name;
    std::string local = dir.file("Norvik.rar");
    UniqueFile held;
    if (name == "missing_folder")
        local = dir.file("no\\such\\folder\\Norvik.rar");
    wintest::writeAll(local, kOld);
    if (name == "held_open" || name == "held_then_released")
        held.reset(CreateFileW(wintest::toWide(local).c_str(), GENERIC_READ, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (name == "folder_of_that_name") {
        DeleteFileW(wintest::toWide(local).c_str());
        CreateDirectoryW(wintest::toWide(local).c_str(), nullptr);
    }

    const double start = nowSeconds();
    PumpWatch watch;
    SetPump([&] {
        if (name == "held_then_released" && nowSeconds() - start > 1.0)
            held.reset();
        watch.tick(bar);
    });
    SetBaseUrl(httpBase());
    EXPECT_EQ(DownloadFile("/Sandel/Sandel.exe", local, &cap, &bar, ":"), c.result);
    const double seconds = nowSeconds() - start;
    held.reset();

    EXPECT_GE(seconds, c.minSeconds);
    EXPECT_LE(seconds, c.minSeconds + kSlackSeconds);
    EXPECT_LE(watch.longestGapMs, kLongestPumpGapMs) << "the window went unanswered";
    if (name == "missing_folder") {
        EXPECT_FALSE(wintest::exists(local) || wintest::exists(local + ".part"));
    } else if (name == "folder_of_that_name") {
        EXPECT_TRUE(GetFileAttributesW(wintest::toWide(local).c_str()) & FILE_ATTRIBUTE_DIRECTORY);
        EXPECT_FALSE(wintest::exists(local + ".part"));
    } else if (c.whole) {
        expectServedCopy(local, "Sandel/Sandel.exe");
    } else {
        expectOldIntact(local);
    }
}

INSTANTIATE_TEST_SUITE_P(Disk, WinDownloadLocal,
                         ::testing::Values(LocalCase{"held_open", "DiskErr", false, 1.5},
                                           LocalCase{"held_then_released", "", true, 1.0},
                                           LocalCase{"folder_of_that_name", "DiskErr", false, 0},
                                           LocalCase{"missing_folder", "DiskErr", false, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WinDownload, CaptionsFollowTheBytesWithTheSystemSeparator) {
    std::vector<std::string> captions;
    SetPump([&] { captions.push_back(cap.text()); });
    const std::string local = dir.file("Norvik.rar");
    ASSERT_EQ(get(httpBase(), "/Sandel/KH01/Norvik.rar", local), "");
    ASSERT_FALSE(captions.empty());
    wchar_t sep[8] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, sep, 8);
    const std::string s = wintest::toUtf8(sep);
    const std::regex quoted("[.^$|()\\[\\]{}*+?\\\\]");
    const std::string g = std::regex_replace(s, quoted, "\\$&");
    const std::regex progress("Downloading \\.\\.\\. (\\d+)%: (\\d{1,3}(" + g + "\\d{3})*)?Kb / 2" +
                              g + "441Kb");
    int last = -1;
    for (const std::string& text : captions) {
        if (text == "Downloading ... 0%" || text.empty())
            continue;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(text, m, progress)) << text;
        const int percent = std::stoi(m[1]);
        EXPECT_GE(percent, last) << text;
        last = percent;
    }
    EXPECT_EQ(cap.text(), "Finished 100%: 2441Kb / 2441Kb");
}

TEST_F(WinDownload, SmallSizesAndAnEmptyFile) {
    const std::string local = dir.file("s.bin");
    ASSERT_EQ(get(httpBase(), "/exactly512.bin", local), "");
    expectServedCopy(local, "exactly512.bin");
    EXPECT_EQ(cap.text(), "Downloading ... 0%");
    ASSERT_EQ(get(httpBase(), "/exactly513.bin", local), "");
    expectServedCopy(local, "exactly513.bin");
    EXPECT_EQ(cap.text(), "Finished 100%: 1Kb / 1Kb");
    ASSERT_EQ(get(httpsBase(), "/empty.bin", local), "");
    expectServedCopy(local, "empty.bin");
}

// A certificate from an issuer the machine does not trust is refused by name, not as a network
// failure (Wine answers it with ERROR_INTERNET_SEC_CERT_REV_FAILED).
TEST_F(WinDownload, UntrustedCertificateIsSecureErr) {
    const std::string local = dir.file("Sandel.exe");
    EXPECT_EQ(get("https://localhost:" + servers.untrusted, "/Sandel/Sandel.exe", local),
              "SecureErr");
    expectOldIntact(local);
}

TEST_F(WinDownload, EmptyInputIsFileErr) {
    SetBaseUrl(httpBase());
    const std::string local = dir.file("x.bin");
    EXPECT_EQ(DownloadFile("", local, &cap, &bar, ":"), "FileErr");
    EXPECT_EQ(DownloadFile("/tiny.bin", "", &cap, &bar, ":"), "FileErr");
    SetBaseUrl("");
    EXPECT_EQ(DownloadFile("/tiny.bin", local, &cap, &bar, ":"), "FileErr");
    EXPECT_FALSE(wintest::exists(local));
}

TEST_F(WinDownload, FolderOutsideTheAnsiCodePage) {
    const std::string folder = dir.file("T\xE1\xBB\x87p \xE6\x9B\xB4\xE6\x96\xB0");  // "Tệp 更新"
    ASSERT_TRUE(CreateDirectoryW(wintest::toWide(folder).c_str(), nullptr));
    const std::string local = folder + "\\Sandel.exe";
    ASSERT_EQ(get(httpsBase(), "/Sandel/Sandel.exe", local), "");
    expectServedCopy(local, "Sandel/Sandel.exe");
}

TEST_F(WinDownload, NothingGoesIntoTheInternetCache) {
    const std::string local = dir.file("Sandel.exe");
    for (const std::string& base : {httpBase(), httpsBase()}) {
        ASSERT_EQ(get(base, "/Sandel/Sandel.exe", local), "");
        const std::string url = base + "/Sandel/Sandel.exe";
        DWORD size = 0;
        EXPECT_FALSE(GetUrlCacheEntryInfoA(url.c_str(), nullptr, &size) ||
                     GetLastError() == ERROR_INSUFFICIENT_BUFFER)
            << url << " is in the cache";
    }
}

// The program ends in the middle of a transfer: the call gives up at once in every phase,
// without waiting for the blocked transfer, and leaves the old file and no partial file.
struct AbandonCase {
    const char* phase;
    Port port;
    const char* fault;
    friend void PrintTo(const AbandonCase& c, std::ostream* os) { *os << c.phase; }
};

class WinDownloadAbandon : public WinDownload, public ::testing::WithParamInterface<AbandonCase> {};

TEST_P(WinDownloadAbandon, ReturnsAtOnceAndLeavesNoPartial) {
    const AbandonCase& c = GetParam();
    const std::string local = dir.file("Norvik_sys.rar");
    const double start = nowSeconds();
    double abandonedAt = 0;
    SetPump([&] {
        // Within the stall time, after the phase has been reached.
        if (abandonedAt == 0 && nowSeconds() - start > kStallSeconds / 2.0) {
            abandonedAt = nowSeconds();
            download::win32::AbandonActiveDownloads();
        }
        wintest::pumpMessages();
    });
    const std::string remote =
        (*c.fault ? "/fault/" + std::string(c.fault) : std::string()) + "/Sandel/Norvik_sys.rar";
    EXPECT_EQ(get(baseFor(c.port), remote, local), "NetErr");
    ASSERT_GT(abandonedAt, 0) << "the call ended before it was abandoned";
    EXPECT_LE(nowSeconds() - abandonedAt, 0.5);
    expectOldIntact(local);
}

INSTANTIATE_TEST_SUITE_P(
    Phases, WinDownloadAbandon,
    ::testing::Values(AbandonCase{"connecting", Port::kBlackhole, ""},
                      AbandonCase{"tls_handshake", Port::kTlsStall, ""},
                      AbandonCase{"waiting_for_the_status", Port::kHttp, "silent"},
                      AbandonCase{"waiting_for_the_body", Port::kHttps, "headers"},
                      AbandonCase{"mid_body_stall", Port::kHttp, "stall-ranges"},
                      AbandonCase{"slow_transfer", Port::kHttps, "slow:65536"}),
    [](const auto& info) { return std::string(info.param.phase); });

// A file of the partial file's name is this program's leftover: it is replaced, and no run
// leaves one behind, whether it succeeds or fails.
TEST_F(WinDownload, LeftoverPartialFileIsReplaced) {
    const std::string local = dir.file("Sandel.exe");
    const std::string leftover(400000, 'x');  // longer than the file
    const std::pair<const char*, const char*> runs[] = {
        {"/Sandel/Sandel.exe", ""},
        {"/fault/404/Sandel/Sandel.exe", "FileErr"},
        {"/fault/gzip/Sandel/Sandel.exe", "NetErr"}};
    for (const auto& [remote, result] : runs) {
        ASSERT_TRUE(wintest::writeAll(local + ".part", leftover));
        EXPECT_EQ(get(httpBase(), remote, local), result) << remote;
        if (*result == '\0')
            expectServedCopy(local, "Sandel/Sandel.exe");
        else
            expectOldIntact(local);
    }
}

// The proxy: tinyproxy adds a Via header; /viaonly/ answers only such requests, /noproxy/ only
// direct ones.
TEST_F(WinDownload, ProxyIsUsedOnlyWithAPort) {
    if (servers.proxy.empty())
        GTEST_SKIP() << "no proxy";
    const std::string local = dir.file("tiny.bin");
    const std::string viaProxy = "127.0.0.1:" + servers.proxy;
    EXPECT_EQ(get(httpBase(), "/viaonly/tiny.bin", local, viaProxy), "");
    expectServedCopy(local, "tiny.bin");
    EXPECT_EQ(get(httpBase(), "/noproxy/tiny.bin", local, viaProxy), "NetErr");
    expectOldIntact(local);
    for (const std::string& noProxy : {std::string("127.0.0.1:"), std::string(":")}) {
        EXPECT_EQ(get(httpBase(), "/noproxy/tiny.bin", local, noProxy), "") << noProxy;
        expectServedCopy(local, "tiny.bin");
        EXPECT_EQ(get(httpBase(), "/viaonly/tiny.bin", local, noProxy), "NetErr") << noProxy;
        expectOldIntact(local);
    }
}

TEST_F(WinDownload, LocalHostsBypassTheProxyADeadProxyIsNetErrALoginIsProxyAuthErr) {
    if (servers.proxy.empty() || servers.proxyAuth.empty())
        GTEST_SKIP() << "no proxy";
    const std::string local = dir.file("tiny.bin");
    // "<local>": a host name without a dot never goes through the proxy.
    EXPECT_EQ(get(httpsBase(), "/noproxy/tiny.bin", local, "127.0.0.1:" + servers.proxy), "");
    expectServedCopy(local, "tiny.bin");
    EXPECT_EQ(get(httpBase(), "/tiny.bin", local, "127.0.0.1:1"), "NetErr");
    expectOldIntact(local);
    // A proxy that asks for a login (407) lets nothing through to the server.
    const std::string tag = token("proxy_auth");
    const RequestLog log(servers.requestLog);
    EXPECT_EQ(get(httpBase(), "/tiny.bin?" + tag, local, "127.0.0.1:" + servers.proxyAuth),
              "ProxyAuthErr");
    expectOldIntact(local);
    EXPECT_TRUE(log.since(tag).empty());
}

// The process's connections per server are raised at start-up, for HTTP/1.1 and 1.0 servers.
TEST(WinConnections, LimitsPerServerAreRaisedForTheProcess) {
    ASSERT_TRUE(download::win32::RaiseConnectionLimits());
    for (DWORD option :
         {INTERNET_OPTION_MAX_CONNS_PER_SERVER, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER}) {
        DWORD value = 0, size = sizeof value;
        ASSERT_TRUE(InternetQueryOptionA(nullptr, option, &value, &size)) << option;
        EXPECT_EQ(value, download::kConnectionsPerServer) << option;
    }
}

}  // namespace
