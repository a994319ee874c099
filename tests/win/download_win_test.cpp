// The real download engine (WinINet, kernel32) against the local download server, nginx and
// tinyproxy, all on loopback and started by run_win_tests.py.
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <string>
#include <vector>

#include "download/win32/download_wiring.h"
#include "win_test_support.h"

namespace {

using download::win32::DownloadFile;
using download::win32::SetBaseUrl;
using download::win32::SetPump;
using wintest::env;
using wintest::readAll;

const std::string kOld = "old content that must survive every failed download, byte for byte";

// Where the runner's servers listen; the tests skip when they run without it.
struct Servers {
    std::string http, https, untrusted, nginxHttp, nginxHttps, proxy, www;
    static std::optional<Servers> fromEnvironment() {
        Servers s;
        auto get = [](const char* n) { return env(n).value_or(""); };
        s.http = get("NORVIK_TEST_HTTP_PORT");
        s.https = get("NORVIK_TEST_HTTPS_PORT");
        s.untrusted = get("NORVIK_TEST_UNTRUSTED_PORT");
        s.nginxHttp = get("NORVIK_TEST_NGINX_HTTP_PORT");
        s.nginxHttps = get("NORVIK_TEST_NGINX_HTTPS_PORT");
        s.proxy = get("NORVIK_TEST_PROXY_PORT");
        s.www = get("NORVIK_TEST_WWW");
        if (s.http.empty() || s.https.empty() || s.www.empty())
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

class WinDownload : public ::testing::Test {
  protected:
    void SetUp() override {
        auto s = Servers::fromEnvironment();
        if (!s)
            GTEST_SKIP() << "run through run_win_tests.py (no servers)";
        servers = *s;
        SetPump(wintest::pumpMessages);
    }
    void TearDown() override { SetPump(nullptr); }

    std::string httpBase() const { return "http://127.0.0.1:" + servers.http; }
    std::string httpsBase() const { return "https://localhost:" + servers.https; }

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

struct Fault {
    const char* kind;
    const char* result;
    bool complete;  // the file arrives whole
};

class WinDownloadFaults : public WinDownload,
                          public ::testing::WithParamInterface<std::tuple<Fault, bool>> {};

TEST_P(WinDownloadFaults, ResultAndLocalFileAfterwards) {
    const auto [fault, https] = GetParam();
    const std::string local = dir.file("Norvik_sys.rar");
    const std::string rel = "Sandel/Norvik_sys.rar";
    const std::string result = get(https ? httpsBase() : httpBase(),
                                   std::string("/fault/") + fault.kind + "/" + rel, local);
    EXPECT_EQ(result, fault.result) << fault.kind;
    if (fault.complete) {
        expectServedCopy(local, rel);
    } else {
        expectOldIntact(local);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Injected, WinDownloadFaults,
    ::testing::Combine(
        ::testing::Values(Fault{"chunked", "", true}, Fault{"close", "", true},
                          Fault{"drip", "", true}, Fault{"short", "NetErr", false},
                          Fault{"reset", "NetErr", false}, Fault{"stall", "NetErr", false},
                          Fault{"404", "FileErr", false}, Fault{"410", "FileErr", false},
                          Fault{"500", "NetErr", false}, Fault{"204", "NetErr", false},
                          Fault{"206", "NetErr", false}),
        ::testing::Bool()),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).kind) +
               (std::get<1>(info.param) ? "_https" : "_http");
    });

TEST_F(WinDownload, UnknownSizeKeepsTheStartCaptionButPumps) {
    int pumps = 0;
    SetPump([&] {
        ++pumps;
        wintest::pumpMessages();
    });
    const std::string local = dir.file("f.bin");
    ASSERT_EQ(get(httpBase(), "/fault/chunked/Sandel/Norvik_sys.rar", local), "");
    EXPECT_EQ(cap.text(), "Downloading ... 0%");
    EXPECT_EQ(bar.width(), 1);
    EXPECT_GE(pumps, (1048576 + 123) / 4096);
}

TEST_F(WinDownload, CaptionGroupsWithTheSystemSeparator) {
    std::vector<std::string> captions;
    SetPump([&] { captions.push_back(cap.text()); });
    const std::string local = dir.file("Norvik.rar");
    ASSERT_EQ(get(httpBase(), "/Sandel/KH01/Norvik.rar", local), "");
    ASSERT_FALSE(captions.empty());
    wchar_t sep[8] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, sep, 8);
    const std::string s = wintest::toUtf8(sep);
    EXPECT_EQ(captions.front(), "Downloading ... 0%: 4Kb / 2" + s + "441Kb");
    EXPECT_EQ(captions.back(), "Downloading ... 100%: 2" + s + "441Kb / 2" + s + "441Kb");
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

TEST_F(WinDownload, UntrustedCertificateIsNetErr) {
    const std::string local = dir.file("Sandel.exe");
    EXPECT_EQ(get("https://localhost:" + servers.untrusted, "/Sandel/Sandel.exe", local), "NetErr");
    expectOldIntact(local);
}

TEST_F(WinDownload, MissingFolderIsNetErr) {
    SetBaseUrl(httpBase());
    const std::string local = dir.file("no\\such\\folder\\Sandel.exe");
    EXPECT_EQ(DownloadFile("/Sandel/Sandel.exe", local, &cap, &bar, ":"), "NetErr");
    EXPECT_FALSE(wintest::exists(local));
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

TEST_F(WinDownload, AbandonedDownloadLeavesNoPartial) {
    const std::string local = dir.file("Norvik_sys.rar");
    int pumps = 0;
    SetPump([&] {
        if (++pumps == 5) {
            EXPECT_TRUE(wintest::exists(local + ".part"));
            download::win32::AbandonActiveDownloads();
        }
    });
    EXPECT_EQ(get(httpBase(), "/fault/drip/Sandel/Norvik_sys.rar", local), "NetErr");
    EXPECT_EQ(pumps, 5);
    expectOldIntact(local);
}

// A file of the partial file's name is someone else's: after a success and after a failure it
// holds exactly what it held, and the download was written beside it under the next name.
TEST_F(WinDownload, ExistingPartFileIsLeftByteIdentical) {
    const std::string local = dir.file("Norvik_sys.rar");
    const std::string mine = std::string("the user's own Norvik_sys.rar.part\r\n") + '\0' + '\xff';
    ASSERT_TRUE(wintest::writeAll(local + ".part", mine));
    for (const char* remote : {"/Sandel/Norvik_sys.rar", "/fault/short/Sandel/Norvik_sys.rar"}) {
        bool usedNext = false;
        SetPump([&] { usedNext = usedNext || wintest::exists(local + ".part2"); });
        const bool whole = std::string(remote).find("/fault/") == std::string::npos;
        EXPECT_EQ(get(httpBase(), remote, local), whole ? "" : "NetErr") << remote;
        EXPECT_TRUE(usedNext) << remote;
        EXPECT_EQ(readAll(local + ".part").value_or("(missing)"), mine) << remote;
        EXPECT_FALSE(wintest::exists(local + ".part2")) << remote;
        if (whole) {
            const auto got = readAll(local);
            const auto want = readAll(servers.served("Sandel/Norvik_sys.rar"));
            ASSERT_TRUE(got && want);
            EXPECT_TRUE(*got == *want) << "content differs";
        } else {
            // Compared as a flag: a failure then prints no binary file into the log.
        const std::optional<std::string> now = readAll(local);
        EXPECT_TRUE(now && *now == kOld)
            << (now ? "changed, now " + std::to_string(now->size()) + " bytes" : "missing");
        }
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

TEST_F(WinDownload, LocalHostsBypassTheProxyAndADeadProxyIsNetErr) {
    if (servers.proxy.empty())
        GTEST_SKIP() << "no proxy";
    const std::string local = dir.file("tiny.bin");
    // "<local>": a host name without a dot never goes through the proxy.
    EXPECT_EQ(get(httpsBase(), "/noproxy/tiny.bin", local, "127.0.0.1:" + servers.proxy), "");
    expectServedCopy(local, "tiny.bin");
    EXPECT_EQ(get(httpBase(), "/tiny.bin", local, "127.0.0.1:1"), "NetErr");
    expectOldIntact(local);
}

}  // namespace
