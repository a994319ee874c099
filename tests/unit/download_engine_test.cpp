// The download engine against scripted WinINet and file fakes, a fake clock and transfer threads
// in lockstep with the window's waits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/download_engine.h"
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

    DownloadTest() {
        engine.setBaseUrl("https://Update.Example.com");
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
        const std::string result =
            engine.downloadFile("/Sandel/Sandel.exe", kLocal, view ? &cap : nullptr,
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

TEST_F(DownloadTest, WholeTransferShowsPercentagesThenTheFinishedText) {
    serve({Answer::whole(3379200, -1, 4096)});
    ASSERT_EQ(run(), "");
    EXPECT_TRUE(shows("Downloading ... 0%: 4Kb / 3,300Kb"));
    EXPECT_TRUE(shows("Downloading ... 37%: 1,224Kb / 3,300Kb"));
    EXPECT_TRUE(shows("Downloading ... 100%: 3,300Kb / 3,300Kb"));
    EXPECT_EQ(cap.text(), "Finished 100%: 3300Kb / 3300Kb");
    EXPECT_EQ(bar.width(), 300);
    EXPECT_EQ(files.files.at(kLocal), fakes::fileBytes(3379200));
    EXPECT_EQ(files.files.count(kPartial), 0u);
    EXPECT_EQ(net.liveHandles(), 0);
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
