// One whole upgrade (the three files, the tool behind a redirect, the system package cut twice,
// started again from zero and resumed, the tool's signature checked; in one variant behind a
// proxy that wants a login) through the real download
// engine and the window's logic, run once clean to count every fallible seam call, then once per
// call with just that call failing (or stalling). Each run must end without a crash, a leak or a
// hang, with every result named, nothing under a final name that is not whole, no partial file
// left (unless its removal was refused) and the tool started only when it and the customer's
// package arrived and its checks passed. tests/README.md has the figures.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "app/frm_main.h"
#include "app/tool_launch.h"
#include "app/upgrade_layout.h"
#include "app_fakes.h"
#include "download/download_engine.h"
#include "download/failure_results.h"
#include "download_fakes.h"
#include "results/results.h"
#include "ui/frm_main_def.h"

namespace {

using download::Result;
using fakes::Answer;

// How a failing call of a seam affects the upgrade: by design nothing changes, or the download
// it belongs to ends with `name` unless that download tries again after it and succeeds.
enum class Effect { Harmless, Named };
struct SeamRow {
    const char* seam;
    std::uint32_t code;  // the representative Windows error
    Effect effect;
    const char* name;  // the download's result, or for the tool's start the box it shows
};
// Every fallible seam call of a clean upgrade. (A removal happens only on the way out of a
// failure: the variant removalsRefused refuses every one.)
const SeamRow kSeams[] = {
    {"net.cache", 2, Effect::Harmless, ""},           // dropping the cache entry is a courtesy
    {"net.option", 12018, Effect::Harmless, ""},      // timeouts Wine ignores anyway
    {"net.open", 12029, Effect::Named, "NetErr"},     // InternetOpen
    {"net.connect", 12029, Effect::Named, "NetErr"},  // InternetConnect
    {"net.request", 12029, Effect::Named, "NetErr"},  // HttpOpenRequest
    {"net.send", 12029, Effect::Named, "NetErr"},     // HttpSendRequest
    {"net.query.status", 12150, Effect::Named, "NetErr"},
    {"net.query.type", 12150, Effect::Harmless, ""},  // a missing type: judged by the bytes
    {"net.query.location", 12150, Effect::Named, "NetErr"},
    {"net.query.length", 12150, Effect::Named, "NetErr"},
    {"net.query.encoding", 12150, Effect::Harmless, ""},  // a missing header: no coding
    {"net.query.transfer", 12150, Effect::Harmless, ""},
    {"net.query.ranges", 12150, Effect::Harmless, ""},  // no resuming: the file starts again
    {"net.query.etag", 12150, Effect::Harmless, ""},
    {"net.query.lastmod", 12150, Effect::Harmless, ""},
    {"net.query.date", 12150, Effect::Harmless, ""},  // no Date: the date is no validator
    {"net.query.range", 12150, Effect::Named, "NetErr"},
    {"net.available", 12030, Effect::Named, "NetErr"},
    {"net.read", 12030, Effect::Named, "NetErr"},
    {"files.create", 5, Effect::Named, "DiskErr"},
    {"files.write", 112, Effect::Named, "DiskErr"},
    {"files.truncate", 112, Effect::Named, "DiskErr"},
    {"files.flush", 112, Effect::Named, "DiskErr"},
    {"files.close", 112, Effect::Named, "DiskErr"},
    {"files.replace", 5, Effect::Named, "DiskErr"},
    {"threads.start", 8, Effect::Named, "NetErr"},
    {"threads.check", 8, Effect::Named, "SignTimeoutErr"},  // the held tool's check
    {"sign.download", 0x800B0100, Effect::Named, "SignErr"},
    {"tool.hold", 5, Effect::Named, "CannotStart"},
    {"sign.held", 0x800B0100, Effect::Named, "SignErr"},
    {"tool.start", 5, Effect::Named, "CannotStart"},
};
const SeamRow& rowOf(const std::string& seam) {
    for (const SeamRow& r : kSeams)
        if (seam == r.seam)
            return r;
    throw std::logic_error("no row for " + seam);
}

// The other codes that the engine or the start tells apart, each run at every call of the
// seams it applies to, with the name each must give ("" for a tool that starts after all). A
// final failure is never tried again.
struct CodeRow {
    const char* seamPrefix;
    std::uint32_t code;
    const char* name;
    bool final;
};
const CodeRow kOtherCodes[] = {
    {"files.", 112, "DiskErr", true},        // disk full
    {"files.", 5, "DiskErr", false},         // access denied: a rename is tried again
    {"files.", 32, "DiskErr", false},        // sharing violation: a rename is tried again
    {"files.", 225, "VirusErr", true},       // blocked by an antivirus program
    {"files.", 226, "VirusErr", true},       // removed by an antivirus program
    {"files.create", 206, "DiskErr", true},  // path too long
    {"files.create", 3, "DiskErr", true},    // no such folder
    {"files.create", 123, "DiskErr", true},  // invalid name
    {"files.write", 39, "DiskErr", true},    // handle disk full
    {"net.send", 12002, "NetErr", false},    // timeout
    {"net.send", 12007, "NetErr", false},    // name not resolved
    // A refused certificate or secure channel, also after some progress.
    {"net.send", 12037, "CertExpiredErr", true},  // out of date, the clock after the build
    {"net.send", 12038, "SecureErr", true},       // certificate for another host
    {"net.send", 12045, "SecureErr", true},       // unknown issuer
    {"net.send", 12055, "SecureErr", true},       // certificate errors
    {"net.send", 12056, "SecureErr", true},       // no revocation data
    // Revocation status unknown: sent once more on the same attempt without that check.
    {"net.send", 12057, "", false},
    {"net.send", 12157, "SecureErr", true},           // no secure channel
    {"net.send", 12169, "SecureErr", true},           // invalid certificate
    {"net.send", 12170, "SecureErr", true},           // revoked
    {"net.read", 12002, "NetErr", false},             // timeout
    {"net.available", 12002, "NetErr", false},        // timeout
    {"sign.download", 225, "VirusErr", true},         // the check cannot open the file: blocked
    {"sign.download", 0x800700E2, "VirusErr", true},  // the check's file removed: 226 as HRESULT
    {"sign.download", 32, "", false},                 // a scanner reads it: opened again
    {"sign.download", 2, "VirusErr", true},           // gone right after our write: quarantined
    {"sign.download", 5, "VirusErr", true},           // locked away right after our write
    {"tool.hold", 32, "CannotStart", false},          // a scanner holds the new tool: tried again
    {"tool.hold", 225, "VirusErr", true},             // blocked
    {"sign.held", 225, "VirusErr", true},             // blocked
    {"sign.held", 0x800700E2, "VirusErr", true},      // removed
    {"tool.start", 32, "CannotStart", false},         // tried again
    {"tool.start", 226, "VirusErr", true},            // removed
    {"tool.start", 740, "", false},  // elevation asked for: started through the shell
};

// Which call fails, counted over every seam (or only those starting with `prefix`).
struct Injection {
    int at = 0;  // 1-based; 0: none
    std::string prefix;
    const CodeRow* other = nullptr;  // a row of the other codes; none: the seam's own code
    bool stall = false;              // a read that never returns instead of failing
    bool refuseRemoves = false;      // besides, every removal of a file is refused (access denied)
    // Behind a proxy that wants a login, given once in the dialog; a stalled read brings its data
    // after the give-up (a proxy's page then read to its end).
    bool proxyLogin = false;
};

class Injector {
  public:
    explicit Injector(Injection i) : inj_(std::move(i)) {}
    // Counts a call; the error code it fails with, or 0.
    std::uint32_t fault(const std::string& seam) {
        std::lock_guard<std::mutex> lock(m_);
        calls.push_back({seam, download.load()});
        if (inj_.refuseRemoves && seam == "files.remove")
            return 5;
        if (seam.rfind(inj_.prefix, 0) != 0 || ++counted_ != inj_.at)
            return 0;
        hit = seam;
        hitDownload = download.load();
        hitIndex = calls.size() - 1;
        return inj_.other ? inj_.other->code : rowOf(seam).code;
    }
    bool stalls() const { return inj_.stall; }
    bool proxyLogin() const { return inj_.proxyLogin; }
    // True when the failed step was tried again: another attempt of its download, or the same
    // rename, hold or start.
    bool retriedAfterHit() const {
        const bool inPlace = hit == "files.replace" || hit == "tool.hold" || hit == "tool.start" ||
                             hit == "sign.download";
        for (std::size_t i = hitIndex + 1; i < calls.size(); ++i)
            if (calls[i].download == hitDownload &&
                (calls[i].seam == "threads.start" || (inPlace && calls[i].seam == hit)))
                return true;
        return false;
    }

    struct Call {
        std::string seam;
        int download;
    };
    std::vector<Call> calls;
    // The download under way (0 tool, 1 system package, 2 customer package), -1 between them.
    std::atomic<int> download{-1};
    std::string hit;
    int hitDownload = -1;
    std::size_t hitIndex = 0;

  private:
    Injection inj_;
    std::mutex m_;
    int counted_ = 0;
};

const char* queryName(std::uint32_t level) {
    static const std::map<std::uint32_t, const char*> names = {
        {download::kQueryContentType, "net.query.type"},
        {download::kQueryStatusCode, "net.query.status"},
        {download::kQueryLocation, "net.query.location"},
        {download::kQueryContentLength, "net.query.length"},
        {download::kQueryContentEncoding, "net.query.encoding"},
        {download::kQueryTransferEncoding, "net.query.transfer"},
        {download::kQueryAcceptRanges, "net.query.ranges"},
        {download::kQueryEtag, "net.query.etag"},
        {download::kQueryLastModified, "net.query.lastmod"},
        {download::kQueryDate, "net.query.date"},
        {download::kQueryContentRange, "net.query.range"}};
    const auto it = names.find(level);
    return it == names.end() ? "net.query.other" : it->second;
}

// The seam's call, unless the injector fails it.
template <typename Call>
auto unlessFailed(Injector& inj, const char* seam, Call call) -> decltype(call()) {
    if (const std::uint32_t e = inj.fault(seam))
        return download::failure<decltype(call().value)>(e);
    return call();
}

// The download server: the tool behind a redirect, the system package cut short twice and
// resumable, the customer's package. Bodies come in reads of 4096 bytes; with `smallReads` each
// body starts with reads of 1, 2, 3 and 7 bytes, which puts every later read and cut off that
// grid.
struct Server {
    bool smallReads;
    bool proxyLogin;  // every request without the login meets the proxy's 407 and its page
    static constexpr std::int64_t kChunk = 4096;
    // A resumed answer starts this many bytes before where the file stands: more than the first
    // small reads bring, so that skipping it spans several of them.
    static constexpr std::int64_t kOverlap = 10;
    std::int64_t toolSize = 10 * kChunk, systemSize = 15 * kChunk, packageSize = 8 * kChunk;
    int systemRequests = 0;

    // `delivered` bytes of a body (then the connection ends).
    Answer& body(Answer& a, std::int64_t delivered) const {
        a.reads.clear();
        for (const std::int64_t small : {1, 2, 3, 7})
            if (smallReads && delivered > 0) {
                a.reads.push_back(std::min(small, delivered));
                delivered -= a.reads.back();
            }
        for (; delivered > 0; delivered -= a.reads.back())
            a.reads.push_back(std::min(kChunk, delivered));
        return a;
    }
    Answer whole(std::int64_t size, std::int64_t delivered = -1) const {
        Answer a;
        a.header(download::kQueryContentLength, std::to_string(size));
        return body(a, delivered < 0 ? size : delivered);
    }

    Answer answer(const std::string& url, const std::string& headers, const std::string& login) {
        if (proxyLogin && login.empty()) {
            Answer a;
            a.status = "407";
            return body(a, 3 * kChunk);
        }
        if (url == "https://h.test/Sandel/Sandel.exe") {
            Answer a;
            a.status = "302";
            return a.header(download::kQueryLocation, "../mirror/Sandel.exe");
        }
        if (url == "https://h.test/mirror/Sandel.exe")
            return whole(toolSize);
        if (url == "https://h.test/Sandel/KH001/Norvik.rar")
            return whole(packageSize);
        if (url != "https://h.test/Sandel/Norvik_sys.rar") {
            Answer missing;
            missing.status = "404";
            return missing;
        }
        // The first answer is cut after a third; the second ignores the range asked for, so the
        // file starts again from zero, and is cut after two thirds; then the rest is resumed.
        const std::size_t range = headers.find("Range: bytes=");
        if (++systemRequests <= 2 || range == std::string::npos) {
            const std::int64_t cut = systemRequests <= 2 ? 5 * systemRequests * kChunk : -1;
            Answer a = whole(systemSize, cut);
            return a.header(download::kQueryAcceptRanges, "bytes")
                .header(download::kQueryEtag, "\"s1\"");
        }
        const std::int64_t from =
            std::max<std::int64_t>(0, std::stoll(headers.substr(range + 13)) - kOverlap);
        Answer a;
        a.status = "206";
        a.from = from;
        a.header(download::kQueryContentLength, std::to_string(systemSize - from))
            .header(download::kQueryEtag, "\"s1\"")
            .header(download::kQueryContentRange, "bytes " + std::to_string(from) + "-" +
                                                      std::to_string(systemSize - 1) + "/" +
                                                      std::to_string(systemSize));
        return body(a, systemSize - from);
    }
};

class TortureNet : public fakes::FakeNet {
  public:
    TortureNet(fakes::Lockstep& l, fakes::FakeClock& c, Injector& i, Server& s)
        : FakeNet(l, c), lockstep_(l), inj_(i), server_(s) {}
    bool deleteUrlCacheEntry(const std::string& url) override {
        return !inj_.fault("net.cache") && FakeNet::deleteUrlCacheEntry(url);
    }
    Result<download::NetHandle> open(const std::string& agent, std::uint32_t type,
                                     const char* proxy, const char* bypass,
                                     std::uint32_t flags) override {
        return unlessFailed(inj_, "net.open",
                            [&] { return FakeNet::open(agent, type, proxy, bypass, flags); });
    }
    download::Status setOption(download::NetHandle h, std::uint32_t option,
                               std::uint32_t value) override {
        return unlessFailed(inj_, "net.option",
                            [&] { return FakeNet::setOption(h, option, value); });
    }
    Result<std::uint32_t> queryOption(download::NetHandle h, std::uint32_t option) override {
        return unlessFailed(inj_, "net.option", [&] { return FakeNet::queryOption(h, option); });
    }
    Result<download::NetHandle> connect(download::NetHandle session, const std::string& host,
                                        std::uint16_t port) override {
        return unlessFailed(inj_, "net.connect",
                            [&] { return FakeNet::connect(session, host, port); });
    }
    Result<download::NetHandle> openRequest(download::NetHandle connection,
                                            const std::string& object,
                                            std::uint32_t flags) override {
        return unlessFailed(inj_, "net.request",
                            [&] { return FakeNet::openRequest(connection, object, flags); });
    }
    download::Status sendRequest(download::NetHandle request, const std::string& headers) override {
        if (const std::uint32_t e = inj_.fault("net.send"))
            return download::failure(e);
        std::lock_guard<std::mutex> lock(m_);
        answers = {server_.answer(urlOf(request), headers, loginOf(request))};
        return FakeNet::sendRequest(request, headers);
    }
    Result<std::string> queryInfo(download::NetHandle request, std::uint32_t level) override {
        const Result<std::string> r = FakeNet::queryInfo(request, level);
        if (!r.ok())  // a header the answer does not have is no call that could fail otherwise
            return r;
        if (const std::uint32_t e = inj_.fault(queryName(level)))
            return download::failure<std::string>(e);
        return r;
    }
    Result<std::uint32_t> queryDataAvailable(download::NetHandle request) override {
        return unlessFailed(inj_, "net.available",
                            [&] { return FakeNet::queryDataAvailable(request); });
    }
    Result<std::uint32_t> readFile(download::NetHandle request, void* buffer,
                                   std::uint32_t toRead) override {
        if (const std::uint32_t e = inj_.fault("net.read")) {
            if (!inj_.stalls())
                return download::failure<std::uint32_t>(e);
            lockstep_.blockForever();
            if (inj_.proxyLogin())
                return FakeNet::readFile(request, buffer, toRead);
            return download::failure<std::uint32_t>(12002);
        }
        return FakeNet::readFile(request, buffer, toRead);
    }

  private:
    fakes::Lockstep& lockstep_;
    Injector& inj_;
    Server& server_;
    std::mutex m_;
};

class TortureFiles : public fakes::FakeFiles {
  public:
    explicit TortureFiles(Injector& i) : inj_(i) {}
    Result<download::FileHandle> create(const std::string& path) override {
        return unlessFailed(inj_, "files.create", [&] { return FakeFiles::create(path); });
    }
    download::Status write(download::FileHandle f, const void* data, std::size_t size) override {
        return unlessFailed(inj_, "files.write", [&] { return FakeFiles::write(f, data, size); });
    }
    download::Status truncate(download::FileHandle f, std::int64_t size) override {
        return unlessFailed(inj_, "files.truncate", [&] { return FakeFiles::truncate(f, size); });
    }
    download::Status flush(download::FileHandle f) override {
        return unlessFailed(inj_, "files.flush", [&] { return FakeFiles::flush(f); });
    }
    download::Status close(download::FileHandle f) override {
        const download::Status closed = FakeFiles::close(f);  // a failed close still closes
        return unlessFailed(inj_, "files.close", [&] { return closed; });
    }
    download::Status replace(const std::string& from, const std::string& to) override {
        return unlessFailed(inj_, "files.replace", [&] { return FakeFiles::replace(from, to); });
    }
    download::Status remove(const std::string& path) override {
        return unlessFailed(inj_, "files.remove", [&] { return FakeFiles::remove(path); });
    }

  private:
    Injector& inj_;
};

// `seam` names the threads' start: the transfers' or the held tool's check.
class TortureThreads : public fakes::FakeThreads {
  public:
    TortureThreads(fakes::FakeClock& c, fakes::Lockstep& l, Injector& i, const char* seam)
        : FakeThreads(c, l), inj_(i), seam_(seam) {}
    bool start(std::function<void()> body) override {
        return !inj_.fault(seam_) && FakeThreads::start(std::move(body));
    }

  private:
    Injector& inj_;
    const char* seam_;
};

const std::string kFolder = "C:\\Norvik";
const std::string kTool = kFolder + "\\Sandel.exe";
const std::string kTemp = kFolder + "\\NorvikSandelTemp";
const std::string kLocal[] = {kTool, kTemp + "\\Norvik_sys.rar", kTemp + "\\Norvik.rar"};
// The window's side: the app test's fakes, whose checks of the tool answer by its bytes on the
// download fakes' disk, from which the app also removes a tool that changed after its check.
struct AppSide {
    struct Folders : appfakes::FakeFiles {
        Folders(std::vector<std::string>& log, fakes::FakeFiles& d) : FakeFiles(log), disk(d) {}
        bool deleteFile(const std::string& path) override {
            FakeFiles::deleteFile(path);
            return disk.files.erase(path) > 0;
        }
        fakes::FakeFiles& disk;
    };

    AppSide(Injector& inj, fakes::FakeFiles& disk, std::int64_t toolSize) : files(log, disk) {
        files.entries[kFolder + "\\Norvik.dll"] = {};
        files.entries[kFolder + "\\Report\\Info.xml"] = {};
        launcher.refuse = [&inj](const char* call) {
            return inj.fault(std::string("tool.") + call);
        };
        // The signature is valid exactly for the whole tool; a failing check reports its code as
        // a refusal (an HRESULT) or as the file not opening.
        launcher.check = [&inj, &disk, toolSize](const std::string& path, bool held, bool) {
            app::SignatureCheck c;
            if (const std::uint32_t e = inj.fault(held ? "sign.held" : "sign.download")) {
                (e >= 0x80000000u ? c.status : c.openError) = e;
                return c;
            }
            const auto it = disk.files.find(path);
            return it != disk.files.end() && it->second == fakes::fileBytes(toolSize)
                       ? appfakes::kSignedByUs
                       : c;
        };
    }

    // The window's calls; the launcher's own (made on the transfer and check threads too).
    std::vector<std::string> log, launches;
    appfakes::FakeRuntime runtime{log};
    Folders files;
    appfakes::FakeLauncher launcher{launches};
};

// What one upgrade did.
struct Outcome {
    std::vector<std::string> results;  // of each download, in order
    bool started = false;
    std::vector<std::string> boxes;
    std::vector<Injector::Call> calls;
    std::string hit;
    int hitDownload = -1;
    bool retried = false;
    std::uint32_t fakeMs = 0;
};

// The files of the three final names, and whatever else lies beside them.
using Disk = std::map<std::string, std::string>;
Disk oldFiles() {
    Disk disk;
    for (const std::string& local : kLocal)
        disk[local] = "old " + local;
    return disk;
}

// One whole upgrade on `disk` (in small reads when `smallReads`), failing as `injection` says;
// checks what must hold after any run and returns what happened.
Outcome upgrade(bool smallReads, const Injection& injection, const std::string& label, Disk& disk) {
    SCOPED_TRACE(label);
    Injector inj(injection);
    Server server{smallReads, injection.proxyLogin};
    fakes::Lockstep lockstep;
    fakes::FakeClock clock;
    TortureNet net(lockstep, clock, inj, server);
    TortureFiles files(inj);
    if (injection.proxyLogin)
        net.loginAnswers = {download::kErrorForceRetry};
    Outcome out;
    {
        TortureThreads threads(clock, lockstep, inj, "threads.start");
        TortureThreads checkThreads(clock, lockstep, inj, "threads.check");
        download::Engine engine(net, files, clock, threads);
        engine.setBaseUrl("https://h.test");
        engine.setLoginProbePath(app::kRemoteTool);
        engine.setStallSeconds(4);
        AppSide side(inj, files, server.toolSize);
        files.files = disk;

        app::Services svc;
        svc.runtime = &side.runtime;
        svc.files = &side.files;
        svc.launcher = &side.launcher;
        svc.signatures = &side.launcher;
        svc.clock = &clock;
        svc.threads = &checkThreads;
        svc.toolPublisher = appfakes::kPublisher;
        svc.downloadFile = [&](const std::string& remote, const std::string& local,
                               form::Control* cap, form::Control* bar, const std::string& proxy,
                               const app::AcceptFile& accept) {
            inj.download = static_cast<int>(out.results.size());
            out.results.push_back(engine.downloadFile(remote, local, cap, bar, proxy, accept));
            inj.download = -1;
            return out.results.back();
        };
        svc.abandonDownloads = [&] { engine.abandonActiveDownloads(); };
        svc.endUpgrade = [&] { engine.endUpgrade(); };
        form::Form frm(ui::frmMainDefinition(), 15, 15);
        app::FrmMain main(frm, svc);
        frm.control("cmdUpd").fireClick();
        frm.control("txtRK").setText("KH001");
        frm.control("txtFolder").setText(kFolder);
        const std::uint32_t start = clock.nowMs();
        try {
            frm.control("cmdOK").fireClick();
        } catch (const appfakes::ProgramEnded&) {
        }
        out.fakeMs = clock.nowMs() - start;
        // The program ends only after starting the tool, and says so.
        out.started = side.log.back() == "end 0";
        if (!out.started) {  // idle on the upgrade screen
            EXPECT_TRUE(frm.control("cmdOK").visible());
        }
        for (const appfakes::Box& box : side.runtime.boxes) {
            EXPECT_EQ(box.title, "THONG BAO");
            EXPECT_EQ(box.icon, form::MsgIcon::Information);
            out.boxes.push_back(box.text);
        }
        threads.joinAll();  // stalled reads return now; their threads end
        checkThreads.joinAll();
        EXPECT_FALSE(main.bDownloading);
    }
    out.calls = inj.calls;
    out.hit = inj.hit;
    out.hitDownload = inj.hitDownload;
    out.retried = !inj.hit.empty() && inj.retriedAfterHit();

    // Every download named its result, a failed tool or customer's package ended the upgrade,
    // and a final name holds the whole file or what it held.
    const std::int64_t sizes[] = {server.toolSize, server.systemSize, server.packageSize};
    for (std::size_t d = 0; d < out.results.size(); ++d) {
        const std::string& r = out.results[d];
        EXPECT_TRUE(r.empty() || d == 1 || d + 1 == out.results.size()) << "download " << d;
        const results::Row* named = results::find(r);
        EXPECT_TRUE(r.empty() || (named && (named->arises & (results::Download | results::Check))))
            << "download " << d << ": " << r;
        if (!files.files.count(kLocal[d])) {  // a tool that changed after its check is removed
            EXPECT_EQ(d, 0u);
            EXPECT_EQ(out.boxes, std::vector<std::string>{results::boxText(results::kSignErr)});
            continue;
        }
        EXPECT_EQ(files.files.at(kLocal[d]),
                  r.empty() ? fakes::fileBytes(sizes[d]) : disk[kLocal[d]])
            << "download " << d << ": " << r;
    }
    // A partial file stays only when its removal was refused (the next upgrade replaces it).
    for (const auto& [path, content] : files.files) {
        if (!injection.refuseRemoves) {
            EXPECT_EQ(path.find(".part"), std::string::npos) << path;
        }
    }
    disk = files.files;
    EXPECT_EQ(files.openCount(), 0);
    EXPECT_EQ(net.liveHandles(), 0);
    EXPECT_LE(net.loginDialogs, injection.proxyLogin ? 1 : 0);  // once per upgrade
    EXPECT_LT(out.fakeMs, 120000u);                             // bounded waits only
    // The tool starts only when it and the customer's package arrived whole and it passed both
    // checks; otherwise exactly one box tells why.
    if (out.started) {
        EXPECT_EQ(out.results.size(), 3u);
        EXPECT_EQ(out.results[0], "");
        EXPECT_EQ(out.results[2], "");
        EXPECT_TRUE(out.boxes.empty());
    } else {
        EXPECT_EQ(out.boxes.size(), 1u);
    }
    return out;
}

// The same on the old files.
Outcome upgrade(bool smallReads, const Injection& injection, const std::string& label) {
    Disk disk = oldFiles();
    return upgrade(smallReads, injection, label, disk);
}

// The box the window shows for a row's name.
std::string boxFor(const std::string& name) {
    if (name == "CannotStart")
        return app::msgCannotStartTool(kTool);
    EXPECT_NE(results::find(name), nullptr) << name;
    return results::boxText(name);
}

// Checks a run that failed one call against the seam's row; `name` is the result it must give,
// and a `final` failure is never tried again.
void expectNamed(const Outcome& out, const Outcome& clean, const std::string& name, bool final,
                 const std::string& label) {
    SCOPED_TRACE(label + " (" + out.hit + ")");
    const SeamRow& row = rowOf(out.hit);
    if (row.effect == Effect::Harmless) {
        EXPECT_EQ(out.results, clean.results);
        EXPECT_TRUE(out.started);
        return;
    }
    EXPECT_FALSE(final && out.retried) << "a final failure tried again";
    const int d = out.hitDownload;
    if (d < 0) {  // the tool's start
        if (out.started) {
            EXPECT_TRUE(out.retried || name.empty()) << "a failure nobody noticed";
            return;
        }
        ASSERT_EQ(out.boxes.size(), 1u);
        EXPECT_EQ(out.boxes[0], boxFor(name));
        return;
    }
    const std::string& result = out.results.at(static_cast<std::size_t>(d));
    if (result.empty()) {
        EXPECT_TRUE(out.retried || name.empty()) << "a failure nobody noticed";
        return;
    }
    EXPECT_EQ(result, name);
    if (d != 1) {  // the system package's result is not shown
        ASSERT_EQ(out.boxes.size(), 1u);
        EXPECT_EQ(out.boxes[0], boxFor(name));
    }
}

int countOf(const Outcome& o, const std::string& prefix) {
    int n = 0;
    for (const Injector::Call& c : o.calls)
        n += c.seam.rfind(prefix, 0) == 0;
    return n;
}

struct Variant {
    const char* name;
    bool smallReads;          // each body starts with reads of a few bytes
    bool otherCodes;          // the second table: the other codes of each seam
    bool stallEveryRead;      // each read in turn never returns instead of failing
    bool refuseRemoves;       // the representative table with every removal refused, each run
                              // followed by a clean upgrade that must leave no partial file
    bool proxyLogin = false;  // behind a proxy that wants a login (see Injection)
};

void PrintTo(const Variant& v, std::ostream* os) {
    *os << v.name;
}

class Torture : public testing::TestWithParam<Variant> {};

TEST_P(Torture, EveryFallibleCallFailedInTurn) {
    const Variant& v = GetParam();
    const Outcome clean =
        upgrade(v.smallReads, {0, "", nullptr, false, false, v.proxyLogin}, "clean");
    ASSERT_TRUE(clean.started);
    ASSERT_EQ(clean.results, (std::vector<std::string>{"", "", ""}));

    std::vector<Injection> runs;
    if (v.stallEveryRead) {
        for (int at = 1; at <= countOf(clean, "net.read"); ++at)
            runs.push_back({at, "net.read", nullptr, true, false, v.proxyLogin});
    } else if (v.otherCodes) {
        for (const CodeRow& c : kOtherCodes)
            for (int at = 1; at <= countOf(clean, c.seamPrefix); ++at)
                runs.push_back({at, c.seamPrefix, &c});
    } else {
        for (int at = 1; at <= static_cast<int>(clean.calls.size()); ++at)
            runs.push_back({at, "", nullptr, false, v.refuseRemoves});
    }
    std::map<std::string, int> perSeam;
    int leftovers = 0;  // refused removals
    for (const Injection& inj : runs) {
        const std::string label = std::string(v.name) + " " + inj.prefix + "#" +
                                  std::to_string(inj.at) + " code " +
                                  std::to_string(inj.other ? inj.other->code : 0);
        Disk disk = oldFiles();
        const Outcome out = upgrade(v.smallReads, inj, label, disk);
        ASSERT_FALSE(out.hit.empty()) << label;
        // A stall is a cut like any other: resumed or named as the failing read.
        if (inj.other)
            expectNamed(out, clean, inj.other->name, inj.other->final, label);
        else
            expectNamed(out, clean, rowOf(out.hit).name, false, label);
        if (inj.refuseRemoves) {  // what could not be removed, the next upgrade replaces
            const Outcome next = upgrade(v.smallReads, {}, label + ", then a clean upgrade", disk);
            EXPECT_TRUE(next.started) << label;
            leftovers += countOf(out, "files.remove");
        }
        ++perSeam[out.hit];
        if (HasFatalFailure() || testing::Test::HasFailure())
            break;  // the first failing run tells enough
    }
    std::string seams;
    for (const auto& [seam, n] : perSeam)
        seams += " " + seam + "=" + std::to_string(n);
    std::printf("[ torture  ] %s: %zu injection points in a clean upgrade, %zu runs:%s\n", v.name,
                clean.calls.size(), runs.size(), seams.c_str());
    if (v.refuseRemoves)
        std::printf("[ torture  ] %s: %d removals refused, each run followed by a clean one\n",
                    v.name, leftovers);
}

INSTANTIATE_TEST_SUITE_P(
    Upgrade, Torture,
    testing::Values(Variant{"representative", false, false, false, false},
                    Variant{"otherCodes", false, true, false, false},
                    Variant{"smallReads", true, false, false, false},
                    Variant{"stallEveryRead", false, false, true, false},
                    Variant{"removalsRefused", false, false, false, true},
                    Variant{"stallBehindProxyLogin", false, false, true, false, true}),
    [](const testing::TestParamInfo<Variant>& i) { return std::string(i.param.name); });

}  // namespace
