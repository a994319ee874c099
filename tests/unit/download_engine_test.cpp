// The download engine against scripted WinINet and file fakes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/download_engine.h"
#include "download/windows_version.h"
#include "download_fakes.h"

namespace {

using download::Engine;
using fakes::FakeFiles;
using fakes::FakeNet;

const std::string kLocal = "C:\\dir\\Sandel.exe";
const std::string kPartial = kLocal + ".part";
const std::string kOld = "the old file, longer than anything the tests download in one piece";

struct DownloadTest : ::testing::Test {
    FakeNet net;
    FakeFiles files;
    Engine engine{net, files};
    form::Form frm{fakes::progressForm(300), 15, 15};
    form::Control& cap = frm.control("ProgressCap");
    form::Control& bar = frm.control("ProgressBar");
    int pumps = 0;

    DownloadTest() {
        engine.setBaseUrl("https://Update.Example.com");
        engine.setPump([this] { ++pumps; });
        files.files[kLocal] = kOld;
    }
    std::string run(const std::string& proxy = "proxy.lan:8080", bool view = true) {
        return engine.downloadFile("/Sandel/Sandel.exe", kLocal, view ? &cap : nullptr,
                                   view ? &bar : nullptr, proxy);
    }
    // The state after any failure: old file intact, no partial, every handle closed.
    void expectUntouchedAfterFailure() {
        EXPECT_EQ(files.files.at(kLocal), kOld);
        EXPECT_EQ(files.files.count(kPartial), 0u);
        EXPECT_EQ(files.openCount(), 0);
        EXPECT_TRUE(net.live.empty());
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
    EXPECT_EQ(files.files.at(kLocal), kOld);
}

TEST_F(DownloadTest, ProxyModes) {
    struct Case {
        std::string proxy;
        bool viaProxy;
    };
    for (const Case& c : {Case{":", false}, Case{"proxy.lan:", false}, Case{"proxy.lan:8080", true},
                          Case{":8080", true}}) {
        net.opens.clear();
        net.contentLength = "3";
        net.body(3);
        net.reads = 0;
        ASSERT_EQ(run(c.proxy), "") << c.proxy;
        ASSERT_EQ(net.opens.size(), 1u);
        const fakes::OpenCall& o = net.opens[0];
        EXPECT_EQ(o.agent, "API-Download");
        EXPECT_EQ(o.flags, 0u);
        if (c.viaProxy) {
            EXPECT_EQ(o.accessType, 3u) << c.proxy;
            EXPECT_EQ(o.proxy, c.proxy);
            EXPECT_EQ(o.bypass, "<local>");
        } else {
            EXPECT_EQ(o.accessType, 0u) << c.proxy;
            EXPECT_FALSE(o.proxy.has_value());
            EXPECT_FALSE(o.bypass.has_value());
        }
    }
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

TEST_F(DownloadTest, DropsTheNormalisedCacheEntryButOpensTheUrlAsFormed) {
    engine.setBaseUrl("HTTP://Update.Example.com");
    net.contentLength = "0";
    run();
    ASSERT_EQ(net.deletedCacheUrls.size(), 1u);
    EXPECT_EQ(net.deletedCacheUrls[0], "http://Update.Example.com/Sandel/Sandel.exe");
    ASSERT_EQ(net.urlOpens.size(), 1u);
    EXPECT_EQ(net.urlOpens[0].first, "HTTP://Update.Example.com/Sandel/Sandel.exe");
}

TEST_F(DownloadTest, OpensWithoutWritingTheCache) {
    net.contentLength = "0";
    run();
    ASSERT_EQ(net.urlOpens.size(), 1u);
    EXPECT_EQ(net.urlOpens[0].second, 0x20000000u | 0x04000000u | 0x80000000u);
}

TEST(ContentLength, LeadingNumberOnly) {
    struct Case {
        const char* text;
        std::optional<std::int64_t> value;
    };
    for (const Case& c :
         {Case{"123", 123}, Case{"  123abc", 123}, Case{"\t42", 42}, Case{"", std::nullopt},
          Case{"abc", std::nullopt}, Case{"-5", std::nullopt}, Case{"  ", std::nullopt},
          Case{"5368709120", 5368709120LL}, Case{"99999999999999999999999", std::nullopt}})
        EXPECT_EQ(download::parseContentLength(c.text), c.value) << c.text;
}

TEST(Kilobytes, RoundHalfToEvenExactlyAlsoBeyond32Bits) {
    EXPECT_EQ(download::bytesToKilobytes(0), 0);
    EXPECT_EQ(download::bytesToKilobytes(511), 0);
    EXPECT_EQ(download::bytesToKilobytes(512), 0);
    EXPECT_EQ(download::bytesToKilobytes(513), 1);
    EXPECT_EQ(download::bytesToKilobytes(1536), 2);
    EXPECT_EQ(download::bytesToKilobytes(2560), 2);
    EXPECT_EQ(download::bytesToKilobytes(9840), 10);
    EXPECT_EQ(download::bytesToKilobytes(5368709120LL), 5242880);
    EXPECT_EQ(download::bytesToKilobytes((1LL << 53) + 1536), (1LL << 43) + 2);
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

TEST_F(DownloadTest, CaptionOfTheFirstChunkAndOfATinyOne) {
    net.contentLength = "3379200";
    std::vector<std::string> seen;
    engine.setPump([&] { seen.push_back(cap.text()); });
    net.chunks = {4096, 4096};
    net.reads = 0;
    EXPECT_EQ(run(), "NetErr");  // stops far short
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "Downloading ... 0%: 4Kb / 3,300Kb");
    EXPECT_EQ(seen[1], "Downloading ... 0%: 8Kb / 3,300Kb");

    seen.clear();
    net.chunks = {300};
    net.reads = 0;
    engine.setGroupSeparator(".");
    run();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "Downloading ... 0%: Kb / 3.300Kb");
}

TEST_F(DownloadTest, WholeTransferShowsPercentagesThenTheFinishedText) {
    net.contentLength = "3379200";
    net.body(3379200);
    std::vector<std::string> seen;
    engine.setPump([&] { seen.push_back(cap.text()); });
    ASSERT_EQ(run(), "");
    EXPECT_EQ(seen.size(), net.chunks.size());
    EXPECT_EQ(seen[305], "Downloading ... 37%: 1,224Kb / 3,300Kb");
    EXPECT_EQ(seen.back(), "Downloading ... 100%: 3,300Kb / 3,300Kb");
    EXPECT_EQ(cap.text(), "Finished 100%: 3300Kb / 3300Kb");
    EXPECT_EQ(bar.width(), 300);
    EXPECT_EQ(files.files.at(kLocal).size(), 3379200u);
}

TEST_F(DownloadTest, BarFollowsTheFractionAndNeverPassesTheCaption) {
    net.contentLength = "8192";
    std::vector<int> widths;
    engine.setPump([&] { widths.push_back(bar.width()); });
    net.chunks = {4096, 4096, 4096};  // more than announced
    EXPECT_EQ(run(), "");
    EXPECT_EQ(widths, (std::vector<int>{150, 300, 300}));
    EXPECT_EQ(bar.width(), 300);
}

// The width is caption × kilobytes done / announced, in that order: the fraction taken first
// turns an exact half into x.4999… or x.5000…1 and rounds it the wrong way.
TEST_F(DownloadTest, BarWidthAtExactHalvesRoundsToEven) {
    struct Case {
        int announcedKb, doneKb, width;
    };
    for (const Case& c : {Case{480, 44, 28}, Case{480, 308, 192}, Case{800, 28, 10},
                          Case{800, 164, 62}, Case{800, 444, 166}, Case{480, 240, 150}}) {
        net.contentLength = std::to_string(c.announcedKb * 1024);
        net.body(c.announcedKb * 1024);
        net.reads = 0;
        std::vector<int> widths;
        engine.setPump([&] { widths.push_back(bar.width()); });
        ASSERT_EQ(run(), "");
        ASSERT_GE(widths.size(), static_cast<std::size_t>(c.doneKb / 4));
        EXPECT_EQ(widths[static_cast<std::size_t>(c.doneKb / 4 - 1)], c.width)
            << c.doneKb << " of " << c.announcedKb << " Kb";
    }
}

TEST_F(DownloadTest, BarStartsAtOneWithTheStartCaption) {
    net.contentLength = "8192";
    net.chunks = {};
    EXPECT_EQ(run(), "NetErr");  // nothing came
    EXPECT_EQ(cap.text(), "Downloading ... 0%");
    EXPECT_EQ(bar.width(), 1);
    expectUntouchedAfterFailure();
}

TEST_F(DownloadTest, UnchangedProgressValuesAreNotSetAgain) {
    fakes::CountingHost host;
    frm.attachHost(&host, 0);
    net.contentLength = std::to_string(300 * 1024);
    net.chunks.assign(300 * 1024 / 256, 256);  // small reads: the figures change every 4th
    ASSERT_EQ(run(), "");
    // 1200 chunks; the text changes with the kilobyte figure (300) or the percentage (100), the
    // bar with its pixel width (300), plus the start and the finish.
    EXPECT_LE(host.textChanges, 2 + 300 + 100);
    EXPECT_LE(host.geometryChanges, 2 + 300 + 1);
}

TEST_F(DownloadTest, AnnouncedSizeOf512AndOf513Bytes) {
    net.contentLength = "512";
    net.body(512);
    ASSERT_EQ(run(), "");
    EXPECT_EQ(cap.text(), "Downloading ... 0%");  // 0 Kb announced: no progress, no finish
    EXPECT_EQ(bar.width(), 1);
    EXPECT_EQ(pumps, 1);

    net.contentLength = "513";
    net.body(513);
    net.reads = 0;
    ASSERT_EQ(run(), "");
    EXPECT_EQ(cap.text(), "Finished 100%: 1Kb / 1Kb");
    EXPECT_EQ(bar.width(), 300);
}

TEST_F(DownloadTest, UnknownSizeStillPumpsButShowsNoProgress) {
    for (const std::optional<std::string>& length :
         {std::optional<std::string>{}, std::optional<std::string>{"garbage"}}) {
        net.contentLength = length;
        net.body(3 * 4096 + 10);
        net.reads = 0;
        pumps = 0;
        ASSERT_EQ(run(), "");
        EXPECT_EQ(pumps, 4);
        EXPECT_EQ(cap.text(), "Downloading ... 0%");
        EXPECT_EQ(bar.width(), 1);
        EXPECT_EQ(files.files.at(kLocal).size(), 3u * 4096 + 10);
    }
}

TEST_F(DownloadTest, NoViewNoPump) {
    net.contentLength = "9000";
    net.body(9000);
    cap.setText("left alone");
    ASSERT_EQ(run("p:1", false), "");
    EXPECT_EQ(pumps, 0);
    EXPECT_EQ(cap.text(), "left alone");
    EXPECT_EQ(files.files.at(kLocal).size(), 9000u);
}

TEST_F(DownloadTest, LongerExistingFileIsReplacedExactly) {
    net.contentLength = "10";
    net.chunks = {10};
    ASSERT_EQ(run(), "");
    EXPECT_EQ(files.files.at(kLocal), std::string(10, 'x'));
    EXPECT_EQ(files.files.count(kPartial), 0u);
    EXPECT_TRUE(net.live.empty());
    // Written beside the final name, put on the disk, then moved over it in one step.
    EXPECT_EQ(files.log.front(), "create " + kPartial);
    ASSERT_GE(files.log.size(), 3u);
    EXPECT_EQ(files.log[files.log.size() - 3], "flush " + kPartial);
    EXPECT_EQ(files.log.back(), "replace " + kPartial + " " + kLocal);
}

TEST_F(DownloadTest, HttpStatusIsExamined) {
    struct Case {
        std::optional<std::string> status;
        const char* result;
    };
    for (const Case& c : {Case{"404", "FileErr"}, Case{"410", "FileErr"}, Case{"500", "NetErr"},
                          Case{"403", "NetErr"}, Case{"302", "NetErr"}, Case{"199", "NetErr"},
                          // No content, or a part of it: never the whole file.
                          Case{"204", "NetErr"}, Case{"205", "NetErr"}, Case{"206", "NetErr"},
                          Case{"", "NetErr"}, Case{std::nullopt, "NetErr"}}) {
        net.status = c.status;
        net.contentLength = "20";
        net.chunks = {20};  // the server's error page
        net.reads = 0;
        cap.setText("before");
        EXPECT_EQ(run(), c.result) << c.status.value_or("(none)");
        EXPECT_EQ(cap.text(), "before");
        expectUntouchedAfterFailure();
    }
    for (const char* ok : {"200", "201", "203", "299"}) {
        net.status = ok;
        net.reads = 0;
        EXPECT_EQ(run(), "") << ok;
    }
}

TEST_F(DownloadTest, CompletenessIsJudgedInBytes) {
    struct Case {
        std::int64_t announced, delivered;
        const char* result;
    };
    for (const Case& c :
         {Case{10240, 10240, ""}, Case{10240, 9840, "NetErr"}, Case{10240, 9640, "NetErr"},
          Case{10240, 10239, "NetErr"}, Case{0, 0, ""}, Case{100, 0, "NetErr"}, Case{10, 14, ""}}) {
        files.files[kLocal] = kOld;
        net.contentLength = std::to_string(c.announced);
        net.body(c.delivered);
        net.reads = 0;
        EXPECT_EQ(run(), c.result) << c.announced << " " << c.delivered;
        if (*c.result) {
            expectUntouchedAfterFailure();
        } else {
            EXPECT_EQ(files.files.at(kLocal).size(), static_cast<std::size_t>(c.delivered));
        }
    }
}

TEST_F(DownloadTest, FailingReadIsNetErrNotTheEnd) {
    net.contentLength = std::nullopt;  // nothing to compare with: only the read tells
    net.chunks = {4096, 4096};
    net.failAfterChunks = true;
    EXPECT_EQ(run(), "NetErr");
    expectUntouchedAfterFailure();
}

TEST_F(DownloadTest, EveryFailureLeavesTheOldFileAndNoPartial) {
    struct Case {
        const char* what;
        void (*arrange)(FakeNet&, FakeFiles&);
    };
    const Case cases[] = {
        {"no session", [](FakeNet& n, FakeFiles&) { n.sessionFails = true; }},
        {"no url", [](FakeNet& n, FakeFiles&) { n.urlFails = true; }},
        {"write fails", [](FakeNet&, FakeFiles& f) { f.failWriteOnCall = 1; }},
        {"close fails", [](FakeNet&, FakeFiles& f) { f.failClose = true; }},
        {"flush fails", [](FakeNet&, FakeFiles& f) { f.failFlush = true; }},
        {"rename fails", [](FakeNet&, FakeFiles& f) { f.failReplace = true; }},
        {"percentage overflows", [](FakeNet& n, FakeFiles&) { n.contentLength = "1024"; }},
    };
    for (const Case& c : cases) {
        FakeNet n;
        FakeFiles f;
        n.contentLength = std::to_string(400 * 4096);
        n.body(400 * 4096);
        c.arrange(n, f);
        f.files[kLocal] = kOld;
        Engine e(n, f);
        e.setBaseUrl("http://h");
        EXPECT_EQ(e.downloadFile("/f", kLocal, &cap, &bar, ":"), "NetErr") << c.what;
        EXPECT_EQ(f.files.at(kLocal), kOld) << c.what;
        EXPECT_EQ(f.files.count(kPartial), 0u) << c.what;
        EXPECT_EQ(f.openCount(), 0) << c.what;
        EXPECT_TRUE(n.live.empty()) << c.what;
        // Each handle closed once: the URL before the session.
        if (n.closed.size() == 2) {
            EXPECT_EQ(n.closed[0], FakeNet::kRequest) << c.what;
        }
        EXPECT_LE(n.closed.size(), 2u);
    }
}

TEST_F(DownloadTest, MissingFolderIsNetErrWithHandlesClosed) {
    net.contentLength = "10";
    net.chunks = {10};
    EXPECT_EQ(engine.downloadFile("/f", "C:\\nowhere\\f.bin", &cap, &bar, ":"), "NetErr");
    EXPECT_TRUE(net.live.empty());
    EXPECT_EQ(net.closed.size(), 2u);
    EXPECT_EQ(files.files.count("C:\\nowhere\\f.bin"), 0u);
}

// A file that already has the partial file's name is the user's: the download writes beside it
// under the next free name and neither overwrites nor deletes it, whatever the outcome.
TEST_F(DownloadTest, ExistingPartialNamesAreNeitherOverwrittenNorDeleted) {
    const std::string mine = "the user's own file of that name";
    struct Case {
        const char* what;
        int taken;  // ".part", ".part2", ... already present
        std::int64_t delivered;
        const char* result;
    };
    for (const Case& c : {Case{"success", 1, 10240, ""}, Case{"short", 1, 9000, "NetErr"},
                          Case{"success", 5, 10240, ""}, Case{"short", 5, 100, "NetErr"}}) {
        FakeNet n;
        FakeFiles f;
        f.files[kLocal] = kOld;
        std::vector<std::string> taken;
        for (int i = 1; i <= c.taken; ++i) {
            taken.push_back(kPartial + (i == 1 ? "" : std::to_string(i)));
            f.files[taken.back()] = mine + std::to_string(i);
        }
        const std::string used = kPartial + std::to_string(c.taken + 1);
        n.contentLength = "10240";
        n.body(c.delivered);
        Engine e(n, f);
        e.setBaseUrl("http://h");
        bool sawUsed = false;
        e.setPump([&] { sawUsed = sawUsed || f.files.count(used) == 1; });
        const std::string label = std::string(c.what) + " with " + std::to_string(c.taken);
        EXPECT_EQ(e.downloadFile("/f", kLocal, &cap, &bar, ":"), c.result) << label;
        EXPECT_TRUE(sawUsed) << label;
        for (int i = 1; i <= c.taken; ++i)
            EXPECT_EQ(f.files.at(taken[static_cast<std::size_t>(i - 1)]), mine + std::to_string(i))
                << label;
        EXPECT_EQ(f.files.count(used), 0u) << label;
        EXPECT_EQ(f.files.at(kLocal).size(), *c.result ? kOld.size() : 10240u) << label;
        for (const std::string& entry : f.log)
            for (const std::string& t : taken)
                EXPECT_NE(entry, "remove " + t) << label;
        EXPECT_EQ(f.openCount(), 0) << label;
        EXPECT_TRUE(n.live.empty()) << label;
    }
}

TEST_F(DownloadTest, EveryPartialNameTakenIsNetErrWithNothingTouched) {
    std::vector<std::string> taken{kPartial};
    for (int i = 2; i <= 9; ++i)
        taken.push_back(kPartial + std::to_string(i));
    for (const std::string& t : taken)
        files.files[t] = "mine: " + t;
    net.contentLength = "10";
    net.chunks = {10};
    EXPECT_EQ(run(), "NetErr");
    for (const std::string& t : taken)
        EXPECT_EQ(files.files.at(t), "mine: " + t);
    EXPECT_EQ(files.files.at(kLocal), kOld);
    EXPECT_EQ(files.files.size(), taken.size() + 1);  // no tenth name tried
    for (const std::string& entry : files.log)
        EXPECT_EQ(entry.rfind("create ", 0), 0u) << entry;  // nothing but refused creations
    EXPECT_EQ(net.reads, 0);
    EXPECT_TRUE(net.live.empty());
}

TEST_F(DownloadTest, AbandonedDownloadRemovesItsPartialAndStops) {
    net.contentLength = "40960";
    net.body(40960);
    engine.setPump([&] {
        if (++pumps == 3) {
            EXPECT_EQ(files.files.count(kPartial), 1u);
            engine.abandonActiveDownloads();
            EXPECT_EQ(files.files.count(kPartial), 0u);
            EXPECT_EQ(files.openCount(), 0);
            EXPECT_TRUE(net.live.empty());
        }
    });
    EXPECT_EQ(run(), "NetErr");
    EXPECT_EQ(net.reads, 3);
    EXPECT_EQ(net.closed.size(), 2u);  // not closed a second time
    expectUntouchedAfterFailure();
}

TEST_F(DownloadTest, ExceptionFromThePumpStillCleansUp) {
    struct Quit {};
    net.contentLength = "40960";
    net.body(40960);
    engine.setPump([] { throw Quit{}; });
    EXPECT_THROW(run(), Quit);
    expectUntouchedAfterFailure();
    engine.abandonActiveDownloads();  // nothing left registered
}

TEST_F(DownloadTest, MoreThan2GiBIsCountedIn64Bits) {
    files.countOnly = true;
    const std::int64_t size = (1LL << 31) + 4096 + 100;
    net.contentLength = std::to_string(size);
    net.body(size);
    engine.setPump([] {});
    ASSERT_EQ(run(), "");
    EXPECT_EQ(files.countedLengths.at(kLocal), size);
    EXPECT_EQ(cap.text(), "Finished 100%: 2097156Kb / 2097156Kb");
    EXPECT_EQ(bar.width(), 300);
}

TEST_F(DownloadTest, ShortOfAnAnnouncementBeyond4GiBIsNetErr) {
    net.contentLength = std::to_string((1LL << 32) + 100);  // 100 if cut to 32 bits
    net.chunks = {100};
    EXPECT_EQ(run(), "NetErr");
    expectUntouchedAfterFailure();
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
