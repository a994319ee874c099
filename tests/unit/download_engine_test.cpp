// The download engine against scripted WinINet and file fakes, a fake clock and transfer threads
// in lockstep with the window's waits.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "download/download_engine.h"
#include "download/failure_results.h"
#include "download/read_pacer.h"
#include "download/windows_version.h"
#include "download_fakes.h"

namespace {

using download::Engine;
using fakes::Answer;
using fakes::FakeFiles;
using fakes::FakeNet;

const std::string kLocal = "C:\\dir\\Sandel.exe";
const std::string kPartial = kLocal + ".part";
const std::string kOld = "the old file, longer than anything the tests download in one piece";

struct DownloadTest : ::testing::Test {
    fakes::Lockstep lockstep;
    fakes::FakeClock clock;
    FakeNet net{lockstep, clock};
    FakeFiles files;
    fakes::FakeThreads threads{clock, lockstep};
    Engine engine{net, files, clock, threads};
    form::Form frm{fakes::progressForm(300), 15, 15};
    form::Control& cap = frm.control("ProgressCap");
    form::Control& bar = frm.control("ProgressBar");
    // The caption and bar as the window showed them, each change once.
    std::vector<std::pair<std::string, int>> shown;
    std::string remotePath = "/Sandel/Sandel.exe";

    DownloadTest() {
        engine.setBaseUrl("https://Update.Example.com");
        engine.setLoginProbePath("/Sandel/Sandel.exe");
        engine.setStallSeconds(4);
        engine.setPump([this] { record(); });
        files.files[kLocal] = kOld;
    }
    void record() {
        const std::pair<std::string, int> now{cap.text(), bar.width()};
        if (shown.empty() || shown.back() != now)
            shown.push_back(now);
    }
    void serve(std::vector<Answer> answers) { net.answers.assign(answers.begin(), answers.end()); }
    std::string run(const std::string& proxy = ":", bool view = true,
                    const download::AcceptFile& accept = {}) {
        const std::string result = engine.downloadFile(remotePath, kLocal, view ? &cap : nullptr,
                                                       view ? &bar : nullptr, proxy, accept);
        record();
        return result;
    }
    bool shows(const std::string& caption) const {
        return std::any_of(shown.begin(), shown.end(),
                           [&](const auto& s) { return s.first == caption; });
    }
    // The state after any failure: old file intact, no partial, every file handle closed.
    void expectUntouchedAfterFailure(const std::string& label = "") {
        EXPECT_EQ(files.files.at(kLocal), kOld) << label;
        EXPECT_EQ(files.files.count(kPartial), 0u) << label;
        EXPECT_EQ(files.openCount(), 0) << label;
    }
};

TEST_F(DownloadTest, EmptyInputIsFileErrAndTouchesNothing) {
    struct Case {
        std::string base, remote, local;
    };
    for (const Case& c :
         {Case{"", "/a", kLocal}, Case{"http://h", "", kLocal}, Case{"http://h", "/a", ""}}) {
        engine.setBaseUrl(c.base);
        cap.setText("before");
        EXPECT_EQ(engine.downloadFile(c.remote, c.local, &cap, &bar, "p:1"), "FileErr");
        EXPECT_EQ(cap.text(), "before");
    }
    EXPECT_TRUE(net.deletedCacheUrls.empty());
    EXPECT_TRUE(net.opens.empty());
    EXPECT_TRUE(files.log.empty());
    EXPECT_EQ(threads.started, 0);
}

// The finished text and a full bar only once a whole kilobyte was announced; sizes beyond 2 GiB
// are counted in 64 bits.
TEST_F(DownloadTest, WholeTransferShowsPercentagesThenTheFinishedText) {
    struct Case {
        std::int64_t size, chunk;
        const char* caption;
        int width;
    };
    for (const Case& c :
         {Case{3379200, 4096, "Finished 100%: 3300Kb / 3300Kb", 300},
          Case{512, 65536, "Downloading ... 0%", 1},
          Case{513, 65536, "Finished 100%: 1Kb / 1Kb", 300},
          Case{(1LL << 31) + 4096 + 100, 65536, "Finished 100%: 2097156Kb / 2097156Kb", 300}}) {
        const bool huge = c.size > (1LL << 31);
        files.countOnly = huge;
        net.fill = !huge;
        serve({Answer::whole(c.size, -1, c.chunk)});
        ASSERT_EQ(run(), "") << c.size;
        EXPECT_EQ(cap.text(), c.caption);
        EXPECT_EQ(bar.width(), c.width) << c.size;
        EXPECT_EQ(files.length(kLocal), c.size);
        if (!huge) {
            EXPECT_EQ(files.files.at(kLocal), fakes::fileBytes(c.size));
        }
        EXPECT_EQ(files.files.count(kPartial), 0u);
        EXPECT_EQ(net.liveHandles(), 0);
    }
    EXPECT_TRUE(shows("Downloading ... 0%: 4Kb / 3,300Kb"));
    EXPECT_TRUE(shows("Downloading ... 37%: 1,224Kb / 3,300Kb"));
    EXPECT_TRUE(shows("Downloading ... 100%: 3,300Kb / 3,300Kb"));
}

// Each download opens its own session (direct or through the proxy), drops the cached copy and
// asks the formed URL's server for its path, outside the cache, without automatic redirects.
TEST_F(DownloadTest, ProxyModesTimeoutsAndTheRequest) {
    engine.setBaseUrl("HTTP://Update.Example.com");
    struct Case {
        std::string proxy;
        bool viaProxy;
    };
    for (const Case& c : {Case{":", false}, Case{"proxy.lan:", false}, Case{"proxy.lan:8080", true},
                          Case{":8080", true}}) {
        net.opens.clear();
        net.requests.clear();
        net.deletedCacheUrls.clear();
        serve({Answer::whole(3)});
        ASSERT_EQ(run(c.proxy), "") << c.proxy;
        ASSERT_EQ(net.opens.size(), 1u);
        const fakes::OpenCall& o = net.opens[0];
        EXPECT_EQ(o.agent, "API-Download");
        EXPECT_EQ(o.flags, 0u);
        EXPECT_EQ(o.accessType, c.viaProxy ? 3u : 0u) << c.proxy;
        EXPECT_EQ(o.proxy, c.viaProxy ? std::optional<std::string>(c.proxy) : std::nullopt);
        EXPECT_EQ(o.bypass, c.viaProxy ? std::optional<std::string>("<local>") : std::nullopt);
        EXPECT_EQ(net.deletedCacheUrls,
                  std::vector<std::string>{"http://Update.Example.com/Sandel/Sandel.exe"});
        ASSERT_EQ(net.requests.size(), 1u);
        EXPECT_EQ(net.requests[0].host, "Update.Example.com");
        EXPECT_EQ(net.requests[0].port, 80);
        EXPECT_EQ(net.requests[0].url, "http://Update.Example.com/Sandel/Sandel.exe");
        EXPECT_EQ(net.requests[0].headers, "");
        EXPECT_EQ(net.requests[0].flags, 0x20000000u | 0x04000000u | 0x80000000u | 0x00200000u |
                                             0x00400000u | 0x00080000u);
    }
    // Over https the request asks for a secure channel.
    engine.setBaseUrl("https://Update.Example.com:8443");
    net.requests.clear();
    ASSERT_EQ(run(), "");
    EXPECT_EQ(net.requests[0].port, 8443);
    EXPECT_EQ(net.requests[0].flags, 0x20000000u | 0x04000000u | 0x80000000u | 0x00200000u |
                                         0x00400000u | 0x00080000u | 0x00800000u);
    // Connect, send and receive timeouts of the stall time (Windows honours them).
    EXPECT_EQ(net.options[0], (std::pair<std::uint32_t, std::uint32_t>{2, 4000}));
    EXPECT_EQ(net.options[1], (std::pair<std::uint32_t, std::uint32_t>{5, 4000}));
    EXPECT_EQ(net.options[2], (std::pair<std::uint32_t, std::uint32_t>{6, 4000}));
}

TEST(CacheUrl, LowerCasesOnlyTheSchemePart) {
    struct Case {
        const char* in;
        const char* out;
    };
    for (const Case& c : {
             Case{"https://Update.Example.com/Sandel/A.EXE",
                  "https://Update.Example.com/Sandel/A.EXE"},
             Case{"HTTPS://Host/Path", "https://Host/Path"},  // no "https://": from the 1st char
             Case{"HTTP://Host/Path", "http://Host/Path"},
             Case{"Http://Host:81/P", "http://Host:81/P"},
             Case{"HTTP://A/?u=https://b", "http://a/?u=https://b"},  // searched from the 8th
             Case{"nohost", "nohost"},
             Case{"https://", "https://"},
         })
        EXPECT_EQ(download::normaliseCacheUrl(c.in), c.out) << c.in;
}

TEST(ContentLength, DigitsOnly) {
    struct Case {
        const char* text;
        std::optional<std::int64_t> value;
    };
    for (const Case& c :
         {Case{"123", 123}, Case{" 123\t", 123}, Case{"0", 0}, Case{"5368709120", 5368709120LL},
          Case{"", std::nullopt}, Case{"  ", std::nullopt}, Case{"abc", std::nullopt},
          Case{"-1", std::nullopt}, Case{"12abc", std::nullopt}, Case{"1 2", std::nullopt},
          Case{"+5", std::nullopt}, Case{"9223372036854775807", 9223372036854775807LL},
          Case{"9223372036854775808", std::nullopt}})
        EXPECT_EQ(download::parseContentLength(c.text), c.value) << c.text;
}

// A login page answered in place of the file is told by its type or by its first bytes; the
// start of an archive or a program never looks like one, the middle of a file may.
TEST(WebPage, TypeAndFirstBytes) {
    using namespace std::string_view_literals;
    const std::optional<std::string> none;
    struct Case {
        std::optional<std::string> type;
        std::string_view bytes;
        bool fromFirstByte;
        bool page;
        bool undecided;
    };
    const std::string_view rar = "Rar!\x1A\x07\x01\x00\x33\x92"sv;
    const std::string_view exe = "MZ\x90\x00\x03\x00\x00\x00"sv;
    for (const Case& c : {
             Case{"text/html", "", true, true, true},
             Case{"TEXT/HTML; charset=UTF-8", rar, true, true, false},
             Case{" text/html ;charset=utf-8", exe, false, true, false},
             Case{"application/xhtml+xml", "x", false, true, false},
             Case{"Application/XHTML+XML;q=1", "", true, true, true},
             Case{"text/plain", rar, true, false, false},
             Case{"text/plain", exe, true, false, false},
             Case{none, rar, true, false, false},
             Case{none, exe, true, false, false},
             Case{"application/octet-stream", exe, true, false, false},
             Case{"", rar, true, false, false},
             Case{"text/htmlx", "MZ", true, false, false},
             Case{"text/xml", "MZ", true, false, false},
             Case{none, "<html>", true, true, false},
             Case{"text/plain", "<!DOCTYPE html>", true, true, false},
             Case{"application/octet-stream", "<?xml", true, true, false},
             Case{none, "\xEF\xBB\xBF \r\n\t\f<html>", true, true, false},
             Case{none, "\r\n  <", true, true, false},
             Case{none, "<html>", false, false, false},  // a resumed middle of the file
             Case{none, " \r\n\t", true, false, true},
             Case{none, "\xEF\xBB", true, false, true},  // a cut byte-order mark
             Case{none, "", true, false, true},
             Case{none, "\xEF\xBB\xBF\xEF\xBB\xBF<", true, false, false},
             Case{none, "\xEFx<", true, false, false},
             Case{none, " x<", true, false, false},
             Case{none, std::string_view("\0<", 2), true, false, false},
         }) {
        const std::string label = c.type.value_or("(none)") + " / " + std::string(c.bytes);
        EXPECT_EQ(download::isWebPage(c.type, c.bytes, c.fromFirstByte), c.page) << label;
        EXPECT_EQ(download::firstBytesUndecided(c.bytes), c.undecided) << label;
        // The same bytes arriving one at a time.
        download::PageSniff sniff;
        for (std::size_t n = 0; n < c.bytes.size(); ++n)
            sniff.undecided(c.bytes.substr(0, n));
        EXPECT_EQ(sniff.undecided(c.bytes), c.undecided) << label;
    }
}

TEST(Kilobytes, RoundHalfToEvenExactlyAlsoBeyond32Bits) {
    for (const auto& [bytes, kb] :
         std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 0},
                                                            {511, 0},
                                                            {512, 0},
                                                            {513, 1},
                                                            {1536, 2},
                                                            {2560, 2},
                                                            {9840, 10},
                                                            {5368709120LL, 5242880},
                                                            {(1LL << 53) + 1536, (1LL << 43) + 2}})
        EXPECT_EQ(download::bytesToKilobytes(bytes), kb) << bytes;
}

TEST(Captions, GroupingAndEmptyZero) {
    EXPECT_EQ(download::formatGrouped(0.4, ","), "");
    EXPECT_EQ(download::formatGrouped(0.5, ","), "");
    EXPECT_EQ(download::formatGrouped(1.5, ","), "2");
    EXPECT_EQ(download::formatGrouped(999, ","), "999");
    EXPECT_EQ(download::formatGrouped(1000, ","), "1,000");
    EXPECT_EQ(download::formatGrouped(1234567, "."), "1.234.567");
    EXPECT_EQ(download::formatGrouped(1234567, "\xC2\xA0"),
              "1\xC2\xA0"
              "234\xC2\xA0"
              "567");
    EXPECT_EQ(download::formatGrouped(123456, ""), "123456");
    EXPECT_EQ(download::progressCaption(37, 1221, 3300, ","),
              "Downloading ... 37%: 1,221Kb / 3,300Kb");
    EXPECT_EQ(download::finishedCaption(3300), "Finished 100%: 3300Kb / 3300Kb");
}

// The width is caption × kilobytes done / announced, in that order: the fraction taken first
// turns an exact half into x.4999… or x.5000…1 and rounds it the wrong way.
TEST_F(DownloadTest, BarWidthAtExactHalvesRoundsToEven) {
    struct Case {
        int announcedKb, doneKb, width;
    };
    for (const Case& c : {Case{480, 44, 28}, Case{480, 308, 192}, Case{800, 28, 10},
                          Case{800, 164, 62}, Case{800, 444, 166}, Case{480, 240, 150}}) {
        shown.clear();
        serve({Answer::whole(c.announcedKb * 1024, -1, 4096)});
        ASSERT_EQ(run(), "");
        const std::string figure = ": " + std::to_string(c.doneKb) + "Kb / ";
        const auto at = std::find_if(shown.begin(), shown.end(), [&](const auto& s) {
            return s.first.find(figure) != std::string::npos;
        });
        ASSERT_NE(at, shown.end()) << figure;
        EXPECT_EQ(at->second, c.width) << c.doneKb << " of " << c.announcedKb << " Kb";
        EXPECT_EQ(bar.width(), 300);
    }
}

TEST_F(DownloadTest, UnchangedProgressValuesAreNotSetAgain) {
    fakes::CountingHost host;
    frm.attachHost(&host, 0);
    serve({Answer::whole(300 * 1024, -1, 256)});  // small reads: the figures change every 4th
    ASSERT_EQ(run(), "");
    // The text changes with the kilobyte figure (300) or the percentage (100), the bar with its
    // pixel width (300), plus the start and the finish.
    EXPECT_LE(host.textChanges, 2 + 300 + 100);
    EXPECT_LE(host.geometryChanges, 2 + 300 + 1);
}

// The window's messages are processed during every download, shown or not.
TEST_F(DownloadTest, WithoutAViewTheCaptionIsLeftButMessagesArePumped) {
    serve({Answer::whole(9000, -1, 1000)});
    cap.setText("left alone");
    int pumps = 0;
    engine.setPump([&] { ++pumps; });
    ASSERT_EQ(run(":", false), "");
    EXPECT_GE(pumps, 9);
    EXPECT_EQ(cap.text(), "left alone");
    EXPECT_EQ(files.files.at(kLocal), fakes::fileBytes(9000));
}

// One partial name per final name: a file of that name is a leftover of an interrupted run and
// is replaced; the file is written there, put on the disk and moved over the final name.
TEST_F(DownloadTest, PartialFileIsTheFinalNameWithPartAndALeftoverIsReplaced) {
    EXPECT_EQ(download::partialName(kLocal), kPartial);
    files.files[kPartial] = "left over by a killed run, longer than the new file";
    files.files[kLocal + ".part2"] = "someone else's";
    serve({Answer::whole(10)});
    ASSERT_EQ(run(), "");
    EXPECT_EQ(files.files.at(kLocal), fakes::fileBytes(10));
    EXPECT_EQ(files.files.count(kPartial), 0u);
    EXPECT_EQ(files.files.at(kLocal + ".part2"), "someone else's");
    EXPECT_EQ(files.log, (std::vector<std::string>{"create " + kPartial, "flush " + kPartial,
                                                   "close " + kPartial,
                                                   "replace " + kPartial + " " + kLocal}));
    EXPECT_EQ(net.liveHandles(), 0);
}

// Statuses and bodies that are not the whole file are refused before anything is written, and
// are not retried.
TEST_F(DownloadTest, AnswersThatAreNotTheFileAreRefusedUnwritten) {
    struct Case {
        const char* what;
        Answer answer;
        const char* result;
    };
    auto with = [](std::uint32_t level, const char* text) {
        return Answer::whole(20).header(level, text);
    };
    auto status = [](const char* code) {
        Answer a = Answer::whole(20);
        a.status = code;
        return a;
    };
    Answer noLength = Answer::whole(20);
    noLength.headers.clear();
    const Answer refused = Answer::refusal(12029);
    // A login page answered in place of the file, in reads of `chunk` bytes.
    auto page = [](const char* text, std::int64_t chunk) {
        Answer a;
        a.bodyText(text).body(static_cast<std::int64_t>(std::strlen(text)), chunk);
        return a;
    };
    Answer untypedPageWithoutLength = page("<html>", 6);
    untypedPageWithoutLength.headers.clear();
    const Case cases[] = {
        {"connection refused", refused, "NetErr"},
        {"404", status("404"), "FileErr"},
        {"410", status("410"), "FileErr"},
        {"407", status("407"), "ProxyAuthErr"},
        {"500", status("500"), "NetErr"},
        {"403", status("403"), "NetErr"},
        {"199", status("199"), "NetErr"},
        {"204", status("204"), "NetErr"},
        {"205", status("205"), "NetErr"},
        {"206 unasked", status("206"), "NetErr"},
        {"empty status", status(""), "NetErr"},
        {"status beyond 32 bits", status("4294967496"), "NetErr"},
        {"302 without Location", status("302"), "NetErr"},
        {"gzip", with(download::kQueryContentEncoding, "gzip"), "NetErr"},
        {"chunked", with(download::kQueryTransferEncoding, "chunked"), "NetErr"},
        {"no length", noLength, "NetErr"},
        {"length -1", with(download::kQueryContentLength, "-1"), "NetErr"},
        {"length abc", with(download::kQueryContentLength, "abc"), "NetErr"},
        {"length 20abc", with(download::kQueryContentLength, "20abc"), "NetErr"},
        {"length too big", with(download::kQueryContentLength, "99999999999999999999"), "NetErr"},
        {"more than announced", with(download::kQueryContentLength, "19"), "NetErr"},
        {"typed as HTML", with(download::kQueryContentType, "Text/HTML; charset=utf-8"), "PageErr"},
        {"typed as XHTML, chunked",
         with(download::kQueryContentType, "application/xhtml+xml")
             .header(download::kQueryTransferEncoding, "chunked"),
         "PageErr"},
        {"untyped page after a mark and white space, over several reads",
         page("\xEF\xBB\xBF \r\n\r\n<!DOCTYPE html><html></html>", 3), "PageErr"},
        {"page typed as plain text",
         page("<html>", 6).header(download::kQueryContentType, "text/plain"), "PageErr"},
        {"untyped page without a length", untypedPageWithoutLength, "PageErr"},
    };
    for (const Case& c : cases) {
        files.log.clear();
        net.requests.clear();
        cap.setText("before");
        serve({c.answer});
        EXPECT_EQ(run(), c.result) << c.what;
        EXPECT_EQ(net.requests.size(), 1u) << c.what;
        expectUntouchedAfterFailure(c.what);
        if (std::string(c.what) != "more than announced") {
            EXPECT_EQ(cap.text(), "before") << c.what;
            EXPECT_EQ(files.log, std::vector<std::string>{"remove " + kPartial}) << c.what;
        }
    }
    for (const char* ok : {"200", "201", "203", "299"}) {
        serve({status(ok)});
        EXPECT_EQ(run(), "") << ok;
    }
    // An archive or a program is the file, whatever type it is sent as.
    const std::string rar("Rar!\x1A\x07\x00 and the rest", 21);
    for (const Answer& file :
         {Answer().bodyText(rar).header(download::kQueryContentType, "text/plain"),
          Answer().bodyText("MZ\x90 a program"),
          Answer().bodyText(" \r\n").header(download::kQueryContentType, "text/plain")}) {
        serve({file});
        EXPECT_EQ(run(), "");
        EXPECT_EQ(files.files.at(kLocal), file.content);
    }
    serve({with(download::kQueryContentEncoding, "identity")});
    EXPECT_EQ(run(), "");
    net.sessionFails = true;
    net.requests.clear();
    EXPECT_EQ(run(), "NetErr");
    EXPECT_TRUE(net.requests.empty());
}

// A request sent again on its own handle: once without the revocation check when the
// certificate's revocation status could not be obtained (a revoked one is final), and after the
// system's credentials dialog for a proxy's login, as often as the user gives credentials; what
// he gave goes with every later request of the upgrade. The dialog stops no clock that could end
// the transfer.
TEST_F(DownloadTest, RequestsSentAgainOnTheirHandle) {
    Answer login = Answer::whole(20);  // the proxy's page, read before the request goes again
    login.status = "407";
    constexpr std::uint32_t kGiven = download::kErrorForceRetry;
    struct Case {
        const char* what;
        std::vector<Answer> answers;
        std::deque<std::uint32_t> logins;
        const char* result;
        std::size_t sends;
        int dialogs;
        std::uint32_t lastFlags;  // the security flags of the last send
        std::size_t handles = 1;  // of the requests sent
    };
    const Case cases[] = {
        {"revocation unknown: once more without its check",
         {Answer::refusal(12057), Answer::whole(20)},
         {},
         "",
         2,
         0,
         0x80},
        {"revocation unknown again", {Answer::refusal(12057)}, {}, "SecureErr", 2, 0, 0x80},
        {"revoked", {Answer::refusal(12170)}, {}, "SecureErr", 1, 0, 0},
        {"login cancelled", {login}, {}, "ProxyAuthErr", 1, 1, 0},
        {"a wrong password, then the right one",
         {login, login, Answer::whole(20)},
         {kGiven, kGiven},
         "",
         3,
         2,
         0},
        {"credentials given, then cancelled", {login}, {kGiven}, "ProxyAuthErr", 2, 2, 0},
        {"a cut after the login: the retry's new request",
         {login, Answer::whole(20, 10), Answer::whole(20)},
         {kGiven},
         "",
         3,
         1,
         0,
         2},
    };
    net.dialogMs = 10 * 60 * 1000;  // the user takes his time
    for (const Case& c : cases) {
        engine.endUpgrade();
        net.requests.clear();
        net.loginDialogs = 0;
        net.loginAnswers = c.logins;
        files.files[kLocal] = kOld;
        serve(c.answers);
        EXPECT_EQ(run(), c.result) << c.what;
        ASSERT_EQ(net.requests.size(), c.sends) << c.what;
        EXPECT_EQ(net.requests[0].securityFlags, 0u) << c.what;
        EXPECT_EQ(net.requests.back().securityFlags, c.lastFlags) << c.what;
        std::set<download::NetHandle> handles;
        for (std::size_t i = 0; i < net.requests.size(); ++i) {
            handles.insert(net.requests[i].handle);
            EXPECT_EQ(net.requests[i].login, i > 0 && c.dialogs > 0 ? "norvik:proxy-secret" : "")
                << c.what << " #" << i;
        }
        EXPECT_EQ(handles.size(), c.handles) << c.what;
        EXPECT_EQ(net.loginDialogs, c.dialogs) << c.what;
        EXPECT_EQ(threads.started, static_cast<int>(c.dialogs > 0 ? c.sends : 1)) << c.what;
        threads.started = 0;
        EXPECT_EQ(net.liveHandles(), 0) << c.what;
        if (*c.result)
            expectUntouchedAfterFailure(c.what);
        else
            EXPECT_EQ(files.files.at(kLocal), fakes::fileBytes(20)) << c.what;
    }
}

// A request that could not be sent is named for what the user can mend: whose clock is wrong,
// an old Windows without TLS 1.2, or a login portal that intercepts HTTPS (asked over plain HTTP
// for the tool's path at the configured server, never for the customer's package nor a
// redirect's target, it answers with its page). No request sends or stores cookies.
TEST_F(DownloadTest, RefusedSecureRequestsAreNamed) {
    remotePath = "/Sandel/KH001/Norvik.rar";
    constexpr std::uint64_t kDay = 24ull * 3600 * 10000000;
    const std::uint64_t today = clock.date.load();
    const auto refused = [](auto... args) { return Answer::refusal(args...); };
    Answer silent;
    silent.silent = true;
    const Answer page = Answer::whole(100).header(download::kQueryContentType, "text/html");
    const Answer portalRedirect = Answer::whole(5).header(download::kQueryLocation, "/login");
    Answer redirected = portalRedirect;
    redirected.status = "302";
    Answer login = Answer::whole(20);  // a proxy's page for its login: no progress
    login.status = "407";
    const std::string https = "https://Update.Example.com/Sandel/KH001/Norvik.rar";
    const std::string http = "http://Update.Example.com/Sandel/Sandel.exe";
    Answer mirror = Answer::whole(5).header(download::kQueryLocation, "https://mirror.test/p");
    mirror.status = "302";
    struct Case {
        const char* what;
        std::uint32_t major, minor;  // of Windows
        std::uint64_t buildDate;
        std::vector<Answer> answers;
        const char* result;
        std::vector<std::string> urls;
        std::uint8_t productType = download::kProductWorkstation;
    };
    const Case cases[] = {
        {"out of date, the clock later than the build and the certificate's start",
         10,
         0,
         today - kDay,
         {refused(12037, false, today - 30 * kDay)},
         "CertExpiredErr",
         {https, http}},
        {"out of date, the clock before the build",
         10,
         0,
         today + kDay,
         {refused(12037, false, today - 30 * kDay)},
         "ClockErr",
         {https, http}},
        {"out of date, the clock before the certificate's start",
         10,
         0,
         0,
         {refused(12037, false, today + kDay)},
         "ClockErr",
         {https, http}},
        {"out of date, the certificate's start unknown",
         10,
         0,
         0,
         {refused(12037)},
         "CertExpiredErr",
         {https, http}},
        {"handshake failed on Windows 7", 6, 1, 0, {refused(12157)}, "TlsErr", {https, http}},
        {"handshake failed on Windows Vista",
         6,
         0,
         0,
         {refused(12157)},
         "TlsVistaErr",
         {https, http}},
        {"handshake failed on Windows Server 2008",
         6,
         0,
         0,
         {refused(12157)},
         "TlsServer2008Err",
         {https, http},
         download::kProductServer},
        {"handshake failed on Windows Server 2008 R2",
         6,
         1,
         0,
         {refused(12157)},
         "TlsErr",
         {https, http},
         download::kProductServer},
        {"handshake failed on Windows 10", 10, 0, 0, {refused(12157)}, "SecureErr", {https, http}},
        {"reset before the channel stood, Windows 7", 6, 1, 0, {refused(12031)}, "TlsErr", {https}},
        {"closed after the channel stood, Windows 7",
         6,
         1,
         0,
         {refused(12030, true)},
         "NetErr",
         {https}},
        {"handshake failed on Windows 7 after an earlier attempt got through",
         6,
         1,
         0,
         {Answer::whole(10000, 4000), refused(12157)},
         "NetErr",
         {https, https, http, https, http, https, http}},
        {"handshake failed on Windows 7 after a proxy's login",
         6,
         1,
         0,
         {login, refused(12157)},
         "TlsErr",
         {https, https, http}},
        {"a portal's page over plain HTTP",
         10,
         0,
         0,
         {refused(12045), page},
         "PageErr",
         {https, http}},
        {"a portal's page after its redirect",
         10,
         0,
         0,
         {refused(12038), redirected, page},
         "PageErr",
         {https, http, "http://Update.Example.com/login"}},
        {"a refusal after a redirect: the configured server is asked",
         10,
         0,
         0,
         {mirror, refused(12045), page},
         "PageErr",
         {https, "https://mirror.test/p", http}},
        {"the file over plain HTTP is no page",
         10,
         0,
         0,
         {refused(12169), Answer::whole(100)},
         "SecureErr",
         {https, http}},
        {"no answer over plain HTTP",
         10,
         0,
         0,
         {refused(12045), refused(12029)},
         "SecureErr",
         {https, http}},
        {"plain HTTP never answers: the stall time",
         10,
         0,
         0,
         {refused(12045), silent},
         "SecureErr",
         {https, http}},
    };
    for (const Case& c : cases) {
        net.requests.clear();
        files.files[kLocal] = kOld;
        engine.setWindowsVersion(c.major, c.minor, c.productType);
        engine.setBuildDate(c.buildDate);
        net.loginAnswers = {download::kErrorForceRetry};
        serve(c.answers);
        EXPECT_EQ(run(), c.result) << c.what;
        std::vector<std::string> urls;
        for (const fakes::Request& r : net.requests) {
            urls.push_back(r.url);
            EXPECT_TRUE(r.flags & download::kFlagNoCookies) << c.what << " " << r.url;
        }
        EXPECT_EQ(urls, c.urls) << c.what;
        threads.joinAll();
        EXPECT_EQ(net.liveHandles(), 0) << c.what;
        if (*c.result)
            expectUntouchedAfterFailure(c.what);
    }
}

TEST(Redirect, LocationResolution) {
    struct Case {
        const char* current;
        const char* location;
        std::optional<std::string> target;
    };
    const std::string base = "https://h.vn/Sandel/a/Sandel.exe?x=1";
    for (const Case& c : {
             Case{base.c_str(), "https://other.vn:444/p", "https://other.vn:444/p"},
             Case{base.c_str(), "HTTP://other.vn/p", "HTTP://other.vn/p"},
             Case{base.c_str(), "//cdn.vn/f.exe", "https://cdn.vn/f.exe"},
             Case{base.c_str(), "/root.exe", "https://h.vn/root.exe"},
             Case{base.c_str(), "b.exe", "https://h.vn/Sandel/a/b.exe"},
             Case{base.c_str(), "../b.exe?q#frag", "https://h.vn/Sandel/b.exe?q"},
             Case{base.c_str(), "./../../../x", "https://h.vn/x"},
             Case{base.c_str(), "..", "https://h.vn/Sandel/"},
             Case{base.c_str(), ".", "https://h.vn/Sandel/a/"},
             Case{base.c_str(), "?y=2", "https://h.vn/Sandel/a/Sandel.exe?y=2"},
             Case{"http://h.vn", "f", "http://h.vn/f"},
             Case{base.c_str(), "", std::nullopt},
             Case{base.c_str(), "  ", std::nullopt},
             Case{base.c_str(), "ftp://h.vn/f", std::nullopt},
             Case{base.c_str(), "https://", std::nullopt},
             Case{base.c_str(), "https:///p", std::nullopt},
             Case{base.c_str(), "http:f", std::nullopt},
             Case{base.c_str(), "/a\r\nSet-Cookie: x", std::nullopt},
         })
        EXPECT_EQ(download::resolveLocation(c.current, c.location), c.target) << c.location;
    EXPECT_TRUE(download::isDowngrade("https://a/x", "http://a/x"));
    EXPECT_TRUE(download::isDowngrade("HTTPS://a/x", "HTTP://a/x"));
    EXPECT_FALSE(download::isDowngrade("http://a/x", "https://a/x"));
    EXPECT_FALSE(download::isDowngrade("https://a/x", "https://b/x"));
}

// Redirects are followed by the engine: at most five, to any host, never from https to http;
// only the final answer's body is stored.
// What a connection and its request take from a URL.
TEST(Redirect, UrlParts) {
    struct Case {
        const char* url;
        bool secure;
        const char* host;
        int port;  // 0: the URL is refused
        const char* object;
    };
    const Case cases[] = {
        {"https://Update.Example.com/Sandel/Sandel.exe", true, "Update.Example.com", 443,
         "/Sandel/Sandel.exe"},
        {"HTTP://h.vn:8080/a?b=1#f", false, "h.vn", 8080, "/a?b=1"},
        {"http://h.vn", false, "h.vn", 80, "/"},
        {"http://h.vn?q", false, "h.vn", 80, "/?q"},
        {"https://h.vn:/p", true, "h.vn", 443, "/p"},
        {"https://[::1]:47080/p", true, "::1", 47080, "/p"},
        {"http://user:pw@h.vn/p", false, "", 0, ""},
        {"http://h.vn:0/p", false, "", 0, ""},
        {"http://h.vn:65536/p", false, "", 0, ""},
        {"http://h.vn:8x/p", false, "", 0, ""},
        {"http://:80/p", false, "", 0, ""},
        {"http://[::1/p", false, "", 0, ""},
        {"ftp://h.vn/p", false, "", 0, ""},
    };
    for (const Case& c : cases) {
        const std::optional<download::UrlParts> p = download::splitUrl(c.url);
        ASSERT_EQ(p.has_value(), c.port != 0) << c.url;
        if (!p)
            continue;
        EXPECT_EQ(p->secure, c.secure) << c.url;
        EXPECT_EQ(p->host, c.host) << c.url;
        EXPECT_EQ(p->port, c.port) << c.url;
        EXPECT_EQ(p->object, c.object) << c.url;
    }
}

TEST_F(DownloadTest, RedirectRules) {
    auto hop = [](const char* status, std::optional<std::string> location) {
        Answer a = Answer::whole(7);  // a body of its own, which must not be stored
        a.status = status;
        if (location)
            a.header(download::kQueryLocation, *location);
        return a;
    };
    struct Case {
        const char* what;
        std::vector<Answer> answers;
        const char* result;
        std::vector<std::string> urls;  // after the first
    };
    const std::string first = "https://Update.Example.com/Sandel/Sandel.exe";
    const Case cases[] = {
        {"each redirect status, relative and absolute",
         {hop("301", "/one"), hop("302", "two"), hop("303", "https://cdn.vn/3"),
          hop("307", "//cdn2.vn/4"), hop("308", "five?x"), Answer::whole(100)},
         "",
         {"https://Update.Example.com/one", "https://Update.Example.com/two", "https://cdn.vn/3",
          "https://cdn2.vn/4", "https://cdn2.vn/five?x"}},
        {"a sixth hop",
         {hop("302", "/1"), hop("302", "/2"), hop("302", "/3"), hop("302", "/4"), hop("302", "/5"),
          hop("302", "/6")},
         "NetErr",
         {"https://Update.Example.com/1", "https://Update.Example.com/2",
          "https://Update.Example.com/3", "https://Update.Example.com/4",
          "https://Update.Example.com/5"}},
        {"https to http", {hop("302", "http://Update.Example.com/x")}, "NetErr", {}},
        {"no Location", {hop("301", std::nullopt)}, "NetErr", {}},
        {"unusable Location", {hop("307", "mailto:x@y")}, "NetErr", {}},
        {"a login page at the end",
         {hop("302", "/login"),
          Answer::whole(100).header(download::kQueryContentType, "text/html")},
         "PageErr",
         {"https://Update.Example.com/login"}},
    };
    for (const Case& c : cases) {
        net.requests.clear();
        files.files[kLocal] = kOld;
        serve(c.answers);
        EXPECT_EQ(run(), c.result) << c.what;
        ASSERT_EQ(net.requests.size(), c.urls.size() + 1) << c.what;
        EXPECT_EQ(net.requests[0].url, first);
        for (std::size_t i = 0; i < c.urls.size(); ++i)
            EXPECT_EQ(net.requests[i + 1].url, c.urls[i]) << c.what;
        if (*c.result)
            expectUntouchedAfterFailure(c.what);
        else
            EXPECT_EQ(files.files.at(kLocal), fakes::fileBytes(100)) << c.what;
        EXPECT_EQ(net.liveHandles(), 0) << c.what;
    }
}

// A request that merely could not connect is tried again only after some progress. (A refused
// certificate or secure channel is named and never tried again: torture_test.cpp.)
TEST_F(DownloadTest, RefusedConnectionsAreTriedAgainOnlyAfterProgress) {
    for (const std::uint32_t error : {12029u, 12007u}) {  // cannot connect, name not resolved
        const Answer refused = Answer::refusal(error);
        serve({refused});
        net.requests.clear();
        EXPECT_EQ(run(), "NetErr") << error;
        EXPECT_EQ(net.requests.size(), 1u) << error;
        expectUntouchedAfterFailure();

        serve({Answer::whole(10000, 4000), refused, Answer::whole(10000)});
        net.requests.clear();
        EXPECT_EQ(run(), "") << error;
        EXPECT_EQ(net.requests.size(), 3u) << error;
        files.files[kLocal] = kOld;
    }
}

// A transfer that receives less than 1 KiB in the stall time has failed, in every phase; it is
// retried only when some of the body had arrived (1, 2 and 4 s apart).
TEST_F(DownloadTest, StallsAreDetectedByTheClock) {
    Answer silent;
    silent.silent = true;
    Answer headersThenSilence = Answer::whole(10000);
    headersThenSilence.reads = {Answer::kStall};
    Answer midBody = Answer::whole(10000);
    midBody.reads = {4000, Answer::kStall};
    Answer drip = Answer::whole(10000, -1, 1);          // one byte per look: 30 B/s
    Answer slowButLive = Answer::whole(20000, -1, 64);  // about 2 KB/s
    struct Case {
        const char* what;
        Answer answer;
        const char* result;
        std::size_t requests;
        std::uint32_t seconds;  // of the fake clock, whole seconds
    };
    const Case cases[] = {
        {"no answer at all", silent, "NetErr", 1, 4},
        {"headers, then silence", headersThenSilence, "NetErr", 1, 4},
        {"silence mid-body", midBody, "NetErr", 4, 4 * 4 + 1 + 2 + 4},
        {"a drip", drip, "NetErr", 4, 4 * 4 + 1 + 2 + 4},
        {"slow but live", slowButLive, "", 1, 10},
    };
    for (const Case& c : cases) {
        net.requests.clear();
        files.files[kLocal] = kOld;
        serve({c.answer});
        const std::uint32_t start = clock.nowMs();
        EXPECT_EQ(run(), c.result) << c.what;
        EXPECT_EQ((clock.nowMs() - start) / 1000, c.seconds) << c.what;
        EXPECT_EQ(net.requests.size(), c.requests) << c.what;
        if (*c.result)
            expectUntouchedAfterFailure(c.what);
    }
}

// A transfer cut short, every time, is NetErr after three retries 1, 2 and 4 s apart.
TEST_F(DownloadTest, RetryScheduleAfterCuts) {
    engine.setGroupSeparator(".");
    Answer cut = Answer::whole(10000, 4000);  // the connection ends early, every time
    Answer failing = Answer::whole(10000);
    failing.reads = {4000, Answer::kFail};
    Answer tinyPart = Answer::whole(3379200, 300);
    Answer beyond4GiB = Answer::whole((1LL << 32) + 100, 100);  // 100 if cut to 32 bits
    for (const Answer& answer : {cut, failing, tinyPart, beyond4GiB}) {
        net.requests.clear();
        serve({answer});
        EXPECT_EQ(run(), "NetErr");
        ASSERT_EQ(net.requests.size(), 4u);
        for (std::size_t i = 1; i < 4; ++i) {
            const std::uint32_t gap = net.requests[i].atMs - net.requests[i - 1].atMs;
            const std::uint32_t pause = 1000u << (i - 1);
            EXPECT_GE(gap, pause);
            EXPECT_LE(gap, pause + 4 * norvik::kFrameMs);
        }
        expectUntouchedAfterFailure();
    }
    // Less than half a kilobyte done shows an empty figure.
    EXPECT_TRUE(shows("Downloading ... 0%: Kb / 3.300Kb"));
}

// The first answer's strong validator goes into If-Range when the server offers byte ranges
// (which validators are strong: ResumeRules); without one the file starts again from zero.
TEST_F(DownloadTest, ResumeAsksForTheRestWithTheValidator) {
    struct Case {
        std::map<std::uint32_t, std::string> headers;
        std::string request;  // of the second attempt
    };
    using download::kQueryAcceptRanges;
    using download::kQueryDate;
    using download::kQueryEtag;
    using download::kQueryLastModified;
    const std::string lm = "Tue, 01 Dec 2026 10:00:00 GMT";
    const std::string dayLater = "Wed, 02 Dec 2026 10:00:00 GMT";
    const Case cases[] = {
        {{{kQueryAcceptRanges, "bytes"}, {kQueryEtag, "\"v1\""}},
         "Range: bytes=4000-\r\nIf-Range: \"v1\"\r\n"},
        {{{kQueryAcceptRanges, "Bytes"}, {kQueryLastModified, lm}, {kQueryDate, dayLater}},
         "Range: bytes=4000-\r\nIf-Range: " + lm + "\r\n"},
        {{{kQueryAcceptRanges, "bytes"}, {kQueryLastModified, lm}, {kQueryDate, lm}}, ""},
        {{{kQueryAcceptRanges, "bytes"},
          {kQueryEtag, "W/\"v1\""},
          {kQueryLastModified, lm},
          {kQueryDate, dayLater}},
         ""},
        {{{kQueryAcceptRanges, "bytes"}}, ""},
        {{{kQueryAcceptRanges, "none"}, {kQueryEtag, "\"v1\""}}, ""},
        {{{kQueryEtag, "\"v1\""}, {kQueryLastModified, lm}}, ""},
    };
    for (const Case& c : cases) {
        net.requests.clear();
        Answer first = Answer::whole(10000, 4000);
        first.headers.insert(c.headers.begin(), c.headers.end());
        serve({first, Answer::whole(10000)});
        EXPECT_EQ(run(), "");
        ASSERT_EQ(net.requests.size(), 2u);
        EXPECT_EQ(net.requests[0].headers, "");
        EXPECT_EQ(net.requests[1].headers, c.request);
        EXPECT_EQ(files.files.at(kLocal), fakes::fileBytes(10000));
    }
}

// Only a 206 that continues the same version of the file is appended; a 200 starts the file
// again, a 416, another range or another version starts it again without a range.
TEST_F(DownloadTest, ResumedAnswers) {
    const std::int64_t size = 100 * 1024, cutAt = 40 * 1024;
    auto partial = [&](const std::string& range, std::int64_t from, std::int64_t length) {
        Answer a;
        a.status = "206";
        a.header(download::kQueryContentRange, range)
            .header(download::kQueryContentLength, std::to_string(length))
            .header(download::kQueryEtag, "\"e\"");
        a.from = from;
        a.body(length, 1024);
        return a;
    };
    Answer first = Answer::whole(size, cutAt, 1024);
    first.header(download::kQueryAcceptRanges, "bytes").header(download::kQueryEtag, "\"e\"");
    Answer status416;
    status416.status = "416";
    const std::string rest = "bytes 40960-102399/102400";
    struct Case {
        const char* what;
        Answer second;
        std::size_t requests;
        bool truncated;  // started again from zero
    };
    const Case cases[] = {
        {"206 that fits", partial(rest, cutAt, size - cutAt), 2, false},
        {"200: the file changed", Answer::whole(size), 2, true},
        {"416", status416, 3, true},
        {"206 of another length", partial("bytes 40960-204799/204800", cutAt, size - cutAt), 3,
         true},
        {"206 from earlier: the overlap skipped", partial("bytes 0-102399/102400", 0, size), 2,
         false},
        {"206 of another version",
         partial(rest, cutAt, size - cutAt).header(download::kQueryEtag, "\"f\""), 3, true},
        {"206 without its length",
         partial(rest, cutAt, size - cutAt).header(download::kQueryContentLength, "x"), 3, true},
    };
    for (const Case& c : cases) {
        net.requests.clear();
        files.log.clear();
        shown.clear();
        serve({first, c.second, Answer::whole(size)});
        EXPECT_EQ(run(), "") << c.what;
        ASSERT_EQ(net.requests.size(), c.requests) << c.what;
        if (c.requests == 3) {
            EXPECT_EQ(net.requests[2].headers, "") << c.what;
        }
        EXPECT_EQ(files.files.at(kLocal), fakes::fileBytes(size)) << c.what;
        const bool truncated =
            std::count(files.log.begin(), files.log.end(), "truncate " + kPartial + " 0") > 0;
        EXPECT_EQ(truncated, c.truncated) << c.what;
        EXPECT_EQ(std::count_if(files.log.begin(), files.log.end(),
                                [](const std::string& e) { return e.rfind("create", 0) == 0; }),
                  1)
            << c.what;
        // A resumed transfer's progress goes on from where it stopped.
        if (!c.truncated) {
            int last = 0;
            for (const auto& [text, width] : shown) {
                const std::size_t colon = text.find("%: ");
                if (colon == std::string::npos || text.rfind("Finished", 0) == 0)
                    continue;  // the previous row's last caption
                const int kb = std::atoi(text.c_str() + colon + 3);
                EXPECT_GE(kb, last) << text;
                last = kb;
            }
            EXPECT_TRUE(shows("Downloading ... 40%: 40Kb / 100Kb"));
            EXPECT_TRUE(shows("Downloading ... 41%: 41Kb / 100Kb"));
        }
    }
}

// A transfer that starts again from zero shows its bar from the start again, also after the cut
// attempt had filled it.
TEST_F(DownloadTest, RestartFromZeroShowsTheBarFromTheStartAgain) {
    const std::int64_t size = 1000 * 1024;
    serve({Answer::whole(size, size - 1024), Answer::whole(size)});  // no validator: from zero
    EXPECT_EQ(run(), "");
    const auto full =
        std::find_if(shown.begin(), shown.end(), [](const auto& s) { return s.second == 300; });
    ASSERT_NE(full, shown.end());
    EXPECT_NE(std::find_if(full, shown.end(), [](const auto& s) { return s.second < 300; }),
              shown.end());
}

// A resumed answer that is a web page leaves nothing of the download behind.
TEST_F(DownloadTest, ResumedAnswerThatIsAPageLeavesNoPartial) {
    Answer first = Answer::whole(10000, 4000);
    first.header(download::kQueryAcceptRanges, "bytes").header(download::kQueryEtag, "\"e\"");
    Answer page;
    page.status = "206";
    page.header(download::kQueryContentRange, "bytes 4000-9999/10000")
        .header(download::kQueryContentType, "text/html")
        .bodyText(std::string(6000, ' '));
    serve({first, page});
    EXPECT_EQ(run(), "PageErr");
    EXPECT_EQ(net.requests.size(), 2u);
    expectUntouchedAfterFailure();
}

// The resume decision. Only a strong validator resumes: a strong ETag, or with no ETag at all a
// Last-Modified at least 60 s before the answer's Date (in any of its three forms); the request
// then carries it as If-Range, and a 206 that names the same version joins. A 206 is joined to
// the 5 bytes written of a 10-byte file only when its range ends the file from there or earlier
// (the overlap skipped), its length fits, and it names the first answer's version by the same
// kind of validator; anything else starts from zero.
TEST(ResumeRules, PartsJoinOnlyWhenTheyBelongTogether) {
    using download::resumeValidator;
    using V = std::optional<std::string>;
    const V none;
    const std::string lm = "Tue, 01 Dec 2026 10:00:00 GMT";
    struct Strong {
        V ranges, etag, lastModified, date;
        const char* ifRange;  // "": no resume
    };
    const Strong strong[] = {
        {"bytes", "\"v1\"", lm, "Tue, 01 Dec 2026 10:00:05 GMT", "\"v1\""},
        {"bytes", "\"v1\"", none, none, "\"v1\""},
        {"bytes", "W/\"v1\"", none, none, ""},
        {"bytes", "W/\"v1\"", lm, "Wed, 02 Dec 2026 10:00:00 GMT", ""},  // an entity-tag given
        {"bytes", "", lm, "Wed, 02 Dec 2026 10:00:00 GMT", ""},
        {"bytes", none, lm, "Tue, 01 Dec 2026 10:00:05 GMT", ""},  // seconds old
        {"bytes", none, lm, "Tue, 01 Dec 2026 10:00:59 GMT", ""},
        {" Bytes ", none, lm, "Tue, 01 Dec 2026 10:01:00 GMT", lm.c_str()},
        {"bytes", none, lm, "Wed, 02 Dec 2026 10:00:00 GMT", lm.c_str()},  // a day old
        {"bytes", none, lm, "Wednesday, 02-Dec-26 10:00:00 GMT", lm.c_str()},
        {"bytes", none, lm, "Wed Dec  2 10:00:00 2026", lm.c_str()},
        {"bytes", none, lm, none, ""},                             // no Date
        {"bytes", none, lm, "Wed, 02 Dec 2026 10:00:00 UTC", ""},  // unreadable
        {"bytes", none, lm, "Wed, 31 Nov 2026 10:00:00 GMT", ""},  // no such day
        {"bytes", none, "yesterday", "Wed, 02 Dec 2026 10:00:00 GMT", ""},
        {"bytes", none, none, "Wed, 02 Dec 2026 10:00:00 GMT", ""},
        {"none", "\"v1\"", none, none, ""},
        {none, "\"v1\"", none, none, ""},
    };
    for (const Strong& r : strong) {
        const download::Validator v = resumeValidator(r.ranges, r.etag, r.lastModified, r.date);
        const std::string what = r.etag.value_or("-") + " " + r.date.value_or("-");
        EXPECT_EQ(v.text, r.ifRange) << what;
        if (!v.empty()) {
            EXPECT_EQ(download::rangeHeaders(5, v),
                      "Range: bytes=5-\r\nIf-Range: " + v.text + "\r\n")
                << what;
        }
        // A 206 that carries what the first answer carried joins only with a validator.
        EXPECT_EQ(download::resumeOverlap({"bytes 5-9/10", 5, r.etag, r.lastModified}, 5, 10, v),
                  v.empty() ? std::nullopt : std::optional<std::int64_t>(0))
            << what;
    }
    const download::Validator etag = resumeValidator("bytes", "\"v1\"", lm, none);
    const download::Validator date =
        resumeValidator("bytes", none, lm, "Wed, 02 Dec 2026 10:00:00 GMT");
    EXPECT_TRUE(etag.etag && !date.etag);
    struct Row {
        const char* range;
        std::optional<std::int64_t> length;
        download::Validator first;
        V etag, lastModified;  // of the 206
        std::optional<std::int64_t> overlap;
    };
    const Row rows[] = {
        {"bytes 5-9/10", 5, etag, "\"v1\"", none, 0},
        {" Bytes 5-9/10 ", 5, etag, "\"v1\"", lm, 0},
        {"bytes 2-9/10", 8, etag, "\"v1\"", none, 3},
        {"bytes 0-9/10", 10, date, "\"v2\"", lm, 5},
        {"bytes 5-9/10", 5, etag, "\"v2\"", lm, std::nullopt},
        {"bytes 5-9/10", 5, etag, "W/\"v1\"", lm, std::nullopt},
        {"bytes 5-9/10", 5, etag, none, lm, std::nullopt},
        {"bytes 5-9/10", 5, date, "\"v1\"", none, std::nullopt},
        {"bytes 5-9/10", 5, date, none, "Wed, 02 Dec 2026 10:00:00 GMT", std::nullopt},
        {"bytes 5-9/10", 5, {}, none, none, std::nullopt},
        {"bytes 6-9/10", 4, etag, "\"v1\"", none, std::nullopt},
        {"bytes 5-8/10", 4, etag, "\"v1\"", none, std::nullopt},
        {"bytes 5-9/11", 5, etag, "\"v1\"", none, std::nullopt},
        {"bytes 2-9/10", 5, etag, "\"v1\"", none, std::nullopt},
        {"bytes 5-9/10", 6, etag, "\"v1\"", none, std::nullopt},
        {"bytes 5-9/10", std::nullopt, etag, "\"v1\"", none, std::nullopt},
    };
    for (const Row& r : rows)
        EXPECT_EQ(
            download::resumeOverlap({r.range, r.length, r.etag, r.lastModified}, 5, 10, r.first),
            r.overlap)
            << r.range << " " << r.first.text << " " << r.etag.value_or("-");
    for (const char* range : {"bytes 5-9/*", "bytes */10", "items 5-9/10", "bytes 5-9", "",
                              "bytes a-9/10", "bytes 10-9/10"})
        EXPECT_EQ(download::resumeOverlap({range, 5, "\"v1\"", none}, 5, 10, etag), std::nullopt)
            << range;
}

// A rename refused because another program holds the target is tried again for about 2 s. (Each
// file error's name at every file operation of a whole upgrade, and that only these renames are
// tried again: torture_test.cpp.)
TEST_F(DownloadTest, RenamesThatMayClearAreTriedAgainForAWhile) {
    using Fault = FakeFiles::Fault;
    struct Case {
        const char* what;
        const char* op;
        Fault fault;
        const char* result;
        int renames;
        std::uint32_t minMs;
    };
    const Case cases[] = {
        {"rename: target held open", "replace", Fault{32}, "DiskErr", 21, 2000},
        {"rename: held open, let go", "replace", Fault{32, 0, 3}, "", 4, 300},
        {"rename: locked, let go", "replace", Fault{33, 0, 1}, "", 2, 100},
        {"rename: access denied, let go", "replace", Fault{5, 0, 2}, "", 3, 200},
        {"rename: access denied stays", "replace", Fault{5}, "DiskErr", 21, 2000},
    };
    for (const Case& c : cases) {
        files.faults = {{c.op, c.fault}};
        files.log.clear();
        files.files[kLocal] = kOld;
        net.requests.clear();
        serve({Answer::whole(300000)});
        const std::uint32_t start = clock.nowMs();
        EXPECT_EQ(run(), c.result) << c.what;
        EXPECT_GE(clock.nowMs() - start, c.minMs) << c.what;
        EXPECT_EQ(net.requests.size(), 1u) << c.what;
        EXPECT_EQ(std::count_if(files.log.begin(), files.log.end(),
                                [](const std::string& e) { return e.rfind("replace", 0) == 0; }),
                  c.renames)
            << c.what;
        if (*c.result)
            expectUntouchedAfterFailure(c.what);
        else
            EXPECT_EQ(files.files.at(kLocal), fakes::fileBytes(300000)) << c.what;
    }
    EXPECT_TRUE(download::mayClearSoon(32));
    EXPECT_TRUE(download::mayClearSoon(33));
    EXPECT_TRUE(download::mayClearSoon(5));
    for (std::uint32_t stays : {112u, 39u, 206u, 3u, 123u, 2u, 0u})
        EXPECT_FALSE(download::mayClearSoon(stays)) << stays;
}

// The caller's check runs on the complete, closed partial file before it takes the final name,
// the caption saying so; a check that takes longer than the stall time is no stall, one that
// outlasts its own bound is given up (the partial file goes once it ends).
TEST_F(DownloadTest, AcceptHookDecidesBeforeTheRename) {
    struct Case {
        const char* verdict;  // "" accepts
        int windowLooks;      // how long the check takes (33 ms each)
        const char* result;
    };
    engine.setCheckSeconds(5);
    for (const Case& c :
         {Case{"", 0, ""}, Case{"SignErr", 0, "SignErr"}, Case{"RootErr", 0, "RootErr"},
          Case{"VirusErr", 0, "VirusErr"}, Case{"", 140, ""}, Case{"", 160, "SignTimeoutErr"}}) {
        SCOPED_TRACE(c.windowLooks);
        files.files[kLocal] = kOld;
        net.requests.clear();
        shown.clear();
        serve({Answer::whole(5000)});
        std::vector<std::string> checked;
        std::string captionDuringCheck;
        const std::uint32_t start = clock.nowMs();
        const std::string result = run(":", true, [&](const std::string& path) {
            checked.push_back(path);
            EXPECT_EQ(files.files.at(path), fakes::fileBytes(5000));
            EXPECT_EQ(files.openCount(), 0);
            EXPECT_EQ(files.files.at(kLocal), kOld);
            for (int i = 0; i < c.windowLooks + 1; ++i)
                lockstep.awaitStep();
            captionDuringCheck = cap.text();
            return std::string(c.verdict);
        });
        EXPECT_LT(clock.nowMs() - start, 5000u + 200u);
        threads.joinAll();
        EXPECT_EQ(checked, std::vector<std::string>{kPartial});
        EXPECT_EQ(net.requests.size(), 1u);
        EXPECT_EQ(result, c.result);
        EXPECT_TRUE(shows("Dang kiem tra Sandel.exe ..."));
        if (*c.result) {
            expectUntouchedAfterFailure(c.result);
            EXPECT_EQ(cap.text(), "Downloading ... 98%: 5Kb / 5Kb");  // the progress again
        } else {
            EXPECT_EQ(captionDuringCheck, "Dang kiem tra Sandel.exe ...");
            EXPECT_EQ(files.files.at(kLocal), fakes::fileBytes(5000));
        }
    }
}

// A small file into memory (a package's signature): the same requests, rules and retries, its
// bytes kept, nothing written to the disk, and a file longer than the bound refused as such.
TEST_F(DownloadTest, IntoMemoryKeepsTheBytesAndWritesNothing) {
    Answer missing;
    missing.status = "404";
    struct Case {
        const char* label;
        std::vector<Answer> answers;
        const char* result;
        bool tooLarge;
        std::int64_t kept;  // the bytes kept on success
        std::size_t requests;
    };
    for (const Case& c : {
             Case{"whole", {Answer::whole(5000)}, "", false, 5000, 1},
             Case{"atItsBound", {Answer::whole(8192, -1, 1000)}, "", false, 8192, 1},
             Case{"cutThenAgain",
                  {Answer::whole(5000, 3000), Answer::whole(5000)},
                  "",
                  false,
                  5000,
                  2},
             Case{"beyondItsBound", {Answer::whole(8193, -1, 1000)}, "DiskErr", true, 0, 1},
             Case{"missing", {missing}, "FileErr", false, 0, 1},
         }) {
        SCOPED_TRACE(c.label);
        serve(c.answers);
        net.requests.clear();
        files.log.clear();
        const download::MemoryDownload got =
            engine.downloadToMemory("/Sandel/Norvik.rar.p7s", 8192, ":");
        threads.joinAll();
        EXPECT_EQ(got.result, c.result);
        EXPECT_EQ(got.tooLarge, c.tooLarge);
        EXPECT_EQ(got.bytes, c.kept ? fakes::fileBytes(c.kept) : "");
        EXPECT_EQ(net.requests.size(), c.requests);
        EXPECT_EQ(net.liveHandles(), 0);
        EXPECT_TRUE(files.log.empty());
        EXPECT_EQ(files.files.at(kLocal), kOld);
    }
    EXPECT_EQ(net.requests.back().url, "https://Update.Example.com/Sandel/Norvik.rar.p7s");
}

// Exit during a transfer, whatever its thread is doing: the call returns at once (waiting only
// while the thread holds the file for a write), the thread writes and renames nothing more, and
// nothing of the partial file stays once that thread has ended, also when the caller's check held
// the file open at the exit.
TEST_F(DownloadTest, AbandonedDownloadRemovesItsPartialAndStops) {
    Answer blocked = Answer::whole(40960);
    blocked.reads = {4096, Answer::kStall};
    const Answer running = Answer::whole(40960, -1, 4096);
    Answer draining = Answer::whole(8192);  // a proxy's page for its login, its end late
    draining.status = "407";
    draining.reads = {4096, Answer::kLateData};
    enum class At { Running, Reading, Writing, PausingBetweenRenames, Checking };
    struct Case {
        const char* what;
        Answer answer;
        At at;
        std::uint32_t waitMs;  // how long the exit waits for the thread
        bool partial = true;   // a partial file stands when the exit comes
    };
    const Case cases[] = {
        {"running", running, At::Running, 0},
        {"blocked reading", blocked, At::Reading, 0},
        {"writing", running, At::Writing, 250},
        {"pausing between renames", running, At::PausingBetweenRenames, 0},
        {"checking", running, At::Checking, 0},
        {"reading a proxy's 407", draining, At::Reading, 0, false},
    };
    const std::thread::id window = std::this_thread::get_id();
    for (const Case& c : cases) {
        serve({c.answer});
        files.faults.clear();
        if (c.at == At::PausingBetweenRenames)
            files.faults["replace"] = {32, 0, 3};
        if (c.at == At::Checking)
            files.faults["remove"] = {32, 0, 1};  // the check holds the file open
        std::atomic<bool> there{false};           // the thread stands where the exit comes
        const auto stay = [&](At at) {
            if (c.at != at)
                return;
            there = true;
            lockstep.awaitStep();
            lockstep.awaitStep();
        };
        files.writes = 0;
        files.beforeWrite = [&](int n) {
            if (n == 2)
                stay(At::Writing);
        };
        clock.onSleep = [&] {
            if (std::this_thread::get_id() != window)
                stay(At::PausingBetweenRenames);
        };
        const download::AcceptFile check = [&](const std::string&) {
            stay(At::Checking);
            return std::string();
        };
        int pumps = 0, waitsAtAbandon = -1, writesAtAbandon = -1;
        std::uint32_t waitedMs = 0;
        engine.setPump([&] {
            const bool now =
                c.at == At::Running || c.at == At::Reading ? ++pumps == 3 : there.load();
            if (waitsAtAbandon < 0 && now) {
                EXPECT_EQ(files.files.count(kPartial), c.partial ? 1u : 0u) << c.what;
                const std::uint32_t before = clock.nowMs();
                engine.abandonActiveDownloads();
                waitedMs = clock.nowMs() - before;
                waitsAtAbandon = threads.waits;
                writesAtAbandon = files.writes;
            }
        });
        EXPECT_EQ(run(":", true, check), "NetErr") << c.what;
        EXPECT_EQ(threads.waits, waitsAtAbandon) << c.what;
        EXPECT_EQ(waitedMs, c.waitMs) << c.what;
        threads.joinAll();  // the thread wakes, finishes what it was doing, and stops
        EXPECT_EQ(files.writes, writesAtAbandon) << c.what;
        EXPECT_EQ(net.liveHandles(), 0) << c.what;
        expectUntouchedAfterFailure(c.what);
        engine.abandonActiveDownloads();  // nothing left registered
    }
    clock.onSleep = nullptr;
}

// A call given up while its thread is inside a slow disk write (here: the stall's retry cannot
// start) waits for the write with the window answering, closes the partial file, then removes it.
TEST_F(DownloadTest, GivenUpDuringASlowWriteClosesThenRemovesThePartial) {
    serve({Answer::whole(40960, -1, 4096)});
    threads.failStartAt = 2;
    std::atomic<int> pumps{0};
    int pumpsDuringWrite = 0;
    engine.setPump([&] { ++pumps; });
    files.beforeWrite = [&](int n) {
        if (n != 1)
            return;
        const int before = pumps;
        for (int i = 0; i < 200; ++i)  // longer than the stall time and the retry's pause
            lockstep.awaitStep();
        pumpsDuringWrite = pumps - before;
    };
    EXPECT_EQ(run(), "NetErr");
    EXPECT_GE(pumpsDuringWrite, 190);
    const auto at = [&](const std::string& entry) {
        return std::find(files.log.begin(), files.log.end(), entry) - files.log.begin();
    };
    EXPECT_LT(at("close " + kPartial), at("remove " + kPartial));
    expectUntouchedAfterFailure();
}

// An attempt given up in a stalled read whose data arrive after a newer attempt took over the
// partial file writes none of them.
TEST_F(DownloadTest, LateDataOfAGivenUpAttemptAreNotWritten) {
    const std::int64_t size = 20 * 4096;
    Answer first = Answer::whole(size, -1, 4096);
    first.header(download::kQueryAcceptRanges, "bytes").header(download::kQueryEtag, "\"e\"");
    first.reads = {4096, Answer::kLateData};
    Answer rest;
    rest.status = "206";
    rest.from = 4096;
    rest.header(download::kQueryContentLength, std::to_string(size - 4096))
        .header(download::kQueryEtag, "\"e\"")
        .header(download::kQueryContentRange,
                "bytes 4096-" + std::to_string(size - 1) + "/" + std::to_string(size))
        .body(size - 4096, 4096);
    serve({first, rest});
    bool unblocked = false;
    engine.setPump([&] {
        if (!unblocked && threads.started == 2 && files.length(kPartial) > 4 * 4096) {
            lockstep.unblock();  // the first attempt's read returns now
            unblocked = true;
        }
    });
    EXPECT_EQ(run(), "");
    EXPECT_TRUE(unblocked);
    EXPECT_EQ(files.files.at(kLocal), fakes::fileBytes(size));
    EXPECT_EQ(files.writes, 1 + (size - 4096) / 4096);
}

TEST_F(DownloadTest, ExceptionFromThePumpStillCleansUp) {
    struct Quit {};
    serve({Answer::whole(40960, -1, 4096)});
    int pumps = 0;
    engine.setPump([&] {
        if (++pumps == 3)
            throw Quit{};
    });
    EXPECT_THROW(run(), Quit);
    expectUntouchedAfterFailure();
    engine.abandonActiveDownloads();  // nothing left registered
}

// Whole chunks only for a link that fills them at once; otherwise what has arrived.
TEST(ReadPacer, WholeChunksOnlyForAFastLink) {
    struct Read {
        std::uint32_t bytes, tookMs, pauseMs;
        bool wholeAfter;
    };
    struct Case {
        const char* what;
        std::vector<Read> reads;
    };
    const Case cases[] = {
        {"fast from the start", {{32768, 1, 0, false}, {32768, 1, 0, true}, {65536, 20, 0, true}}},
        {"slow", {{512, 300, 0, false}, {512, 300, 0, false}, {8192, 0, 150, false}}},
        {"a burst on a slow link",
         {{512, 300, 0, false}, {65536, 0, 0, true}, {65536, 150, 0, false}}},
        {"fast, then slowing",
         {{65536, 10, 0, true}, {65536, 100, 0, true}, {65536, 101, 0, false}}},
        {"fast again", {{65536, 150, 0, false}, {32768, 50, 0, false}, {32768, 1, 0, true}}},
    };
    for (const Case& c : cases) {
        std::uint32_t now = 4000;
        download::ReadPacer pacer(now);
        EXPECT_FALSE(pacer.wholeChunks());
        for (const Read& r : c.reads) {
            pacer.afterRead(r.bytes, now, now + r.tookMs);
            now += r.tookMs + r.pauseMs;
            EXPECT_EQ(pacer.wholeChunks(), r.wholeAfter) << c.what << " at " << now;
        }
    }
}

TEST(VersionName, Table) {
    struct Case {
        std::uint32_t major, minor, platform;
        const char* name;
    };
    for (const Case& c : {Case{5, 0, 2, "Windows 2000"}, Case{5, 1, 2, "Windows 2000"},
                          Case{5, 2, 2, "Windows 2000"}, Case{6, 1, 2, "Unknown Windows Version"},
                          Case{10, 0, 2, "Unknown Windows Version"}, Case{4, 10, 1, "Windows 98"},
                          Case{4, 90, 1, "Windows 98"}, Case{4, 0, 1, "Windows 95"},
                          Case{4, 0, 2, "Windows NT 4.0"}, Case{3, 51, 2, "Windows NT 3.x"},
                          Case{3, 10, 0, "Windows 3.x"}, Case{0, 0, 0, "Unknown Windows Version"},
                          Case{2, 0, 2, "Unknown Windows Version"}})
        EXPECT_EQ(download::windowsVersionName(c.major, c.minor, c.platform), c.name)
            << c.major << "." << c.minor << " p" << c.platform;
}

}  // namespace
