#pragma once
// Fakes of the window's seams for the main window's logic: the runtime (boxes, DoEvents, the
// program's end), the folder checks and the tool's checks, hold and start. Each records what it
// was asked in one shared log.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/services.h"
#include "app/tool_trust.h"
#include "common/windows_codes.h"
#include "form/runtime.h"

namespace appfakes {

using form::MsgIcon;

// Thrown by the fake runtime's endProgram so that the handlers unwind like the ended process.
struct ProgramEnded {};

struct Box {
    std::string text, title;
    MsgIcon icon;
};

class FakeRuntime : public form::Runtime {
  public:
    explicit FakeRuntime(std::vector<std::string>& log) : log_(log) {}
    void doEvents() override {
        log_.push_back("doEvents");
        ++doEventsCount;
        if (onDoEvents)
            onDoEvents(doEventsCount);
    }
    void msgBox(const std::string& text, const std::string& title, MsgIcon icon) override {
        log_.push_back("box " + text);
        boxes.push_back({text, title, icon});
    }
    void endProgram(int exitCode) override {
        log_.push_back("end " + std::to_string(exitCode));
        throw ProgramEnded{};
    }

    std::vector<Box> boxes;
    int doEventsCount = 0;
    std::function<void(int)> onDoEvents;

  private:
    std::vector<std::string>& log_;
};

struct Entry {
    bool folder = false, hidden = false, system = false;
    std::string content;
};

class FakeFiles : public app::FileSystem {
  public:
    explicit FakeFiles(std::vector<std::string>& log) : log_(log) {}
    bool isPlainFile(const std::string& path) override {
        log_.push_back("plain? " + path);
        auto it = entries.find(path);
        return it != entries.end() && !it->second.folder && !it->second.hidden &&
               !it->second.system;
    }
    bool exists(const std::string& path) override {
        log_.push_back("exists? " + path);
        return entries.count(path) != 0;
    }
    bool deleteFile(const std::string& path) override {
        log_.push_back("delete " + path);
        if (!entries.count(path) || entries[path].folder)
            return false;
        entries.erase(path);
        return true;
    }
    bool canReplace(const std::string& path) override {
        log_.push_back("replaceable? " + path);
        return !unreplaceable.count(path);
    }
    bool createFolder(const std::string& path) override {
        log_.push_back("mkdir " + path);
        if (refuseFolders || entries.count(path))
            return false;
        entries[path] = Entry{true, false, false, {}};
        return true;
    }

    bool removeFolder(const std::string& path) override {
        log_.push_back("rmdir " + path);
        return entries.erase(path) > 0;
    }

    std::map<std::string, Entry> entries;
    std::set<std::string> unreplaceable;
    bool refuseFolders = false;

  private:
    std::vector<std::string>& log_;
};

const std::string kPublisher = "Norvik Software JSC";
const app::SignatureCheck kSignedByUs{app::kTrustValid, kPublisher};

// Thrown by a scripted check that never returns: the fake threads keep it from finishing.
struct CheckNeverReturns {};

// Scripted starts and Authenticode checks: of the downloaded file, and of the held file before
// the start; a check with retrieval allowed is logged with " fetching".
class FakeLauncher : public app::ProcessLauncher, public app::SignatureVerifier {
  public:
    explicit FakeLauncher(std::vector<std::string>& log) : log_(log) {}
    app::SignatureCheck checkFile(const std::string& path, bool fetching) override {
        log_.push_back("verify " + path + (fetching ? " fetching" : ""));
        if (fetching && fetchNeverReturns)
            throw CheckNeverReturns{};
        if (check)
            return check(path, false, fetching);
        const std::uint32_t error = openErrors.empty() ? 0 : openErrors.front();
        if (openErrors.size() > 1)  // the last one stays
            openErrors.erase(openErrors.begin());
        if (error == 0)
            return fetching ? downloadedFetching.value_or(downloaded) : downloaded;
        app::SignatureCheck notOpened;
        notOpened.openError = error;
        return notOpened;
    }

    class Held : public app::HeldProgram {
      public:
        Held(FakeLauncher& l, const std::string& path) : l_(l), path_(path) {}
        ~Held() override { l_.log_.push_back("release"); }
        app::SignatureCheck signature(bool fetching) override {
            l_.log_.push_back(fetching ? "verify held fetching" : "verify held");
            if (fetching && l_.fetchNeverReturns)
                throw CheckNeverReturns{};
            if (l_.check)
                return l_.check(path_, true, fetching);
            return fetching ? l_.atStartFetching.value_or(l_.atStart) : l_.atStart;
        }

      private:
        FakeLauncher& l_;
        const std::string path_;
    };

    app::HoldResult hold(const std::string& path) override {
        log_.push_back("hold " + path);
        if (const std::uint32_t e = refuse ? refuse("hold") : 0)
            return {nullptr, e};
        if (busyHolds > 0) {
            --busyHolds;
            return {nullptr, norvik::kErrorSharingViolation};
        }
        if (holdError)
            return {nullptr, holdError};
        return {std::make_unique<Held>(*this, path), 0};
    }
    std::uint32_t start(const std::string& path) override {
        log_.push_back("start " + path);
        if (const std::uint32_t e = refuse ? refuse("start") : 0)
            return e;
        if (busyStarts > 0) {
            --busyStarts;
            return norvik::kErrorSharingViolation;
        }
        return startError;
    }
    std::uint32_t startElevated(const std::string& path, const std::string& folder) override {
        log_.push_back("runas " + path + " in " + folder);
        return elevatedError;
    }
    std::string workingFolder() override { return ownFolder; }

    std::uint32_t holdError = 0;
    app::SignatureCheck downloaded = kSignedByUs, atStart = kSignedByUs;
    // What a check with retrieval allowed finds; none: the same as the cache-only one.
    std::optional<app::SignatureCheck> downloadedFetching, atStartFetching;
    bool fetchNeverReturns = false;
    // What opening the downloaded file for its check meets, try after try (the last one stays);
    // none: it opens.
    std::vector<std::uint32_t> openErrors;
    std::uint32_t startError = 0;
    // The first this many holds or starts meet a scanner reading the file (a sharing violation).
    int busyHolds = 0, busyStarts = 0;
    std::uint32_t elevatedError = 0;
    std::string ownFolder = "C:\\Users\\u\\Downloads";
    // When set: the answer of every check (`held`: the held tool's; `fetching`: retrieval
    // allowed) in place of the scripted ones, and the code that fails a "hold" or "start" (0:
    // none) before the scripted ones.
    std::function<app::SignatureCheck(const std::string& path, bool held, bool fetching)> check;
    std::function<std::uint32_t(const char* call)> refuse;

  private:
    std::vector<std::string>& log_;
};

// Scripted checks of packages against their signatures, by the partial file's path: each check
// takes the next of its path's answers (the last one stays); none scripted: signed by us.
class FakePackageVerifier : public app::PackageVerifier {
  public:
    explicit FakePackageVerifier(std::vector<std::string>& log) : log_(log) {}
    app::SignatureCheck check(const std::string& path, const std::string& signature,
                              bool fetchRoots) override {
        log_.push_back("verify package " + path + " with " + signature +
                       (fetchRoots ? " fetching roots" : " from the cache"));
        if (fetchRoots && fetchNeverReturns)
            throw CheckNeverReturns{};
        std::vector<app::SignatureCheck>& answers = checks[path];
        if (answers.empty())
            return kSignedByUs;
        const app::SignatureCheck answer = answers.front();
        if (answers.size() > 1)
            answers.erase(answers.begin());
        return answer;
    }

    std::map<std::string, std::vector<app::SignatureCheck>> checks;
    bool fetchNeverReturns = false;

  private:
    std::vector<std::string>& log_;
};

// Scripted drive letters: their kinds by root ("X:\\", Other when not listed), the network
// names of paths and drives (none when not listed), and the token's elevation.
class FakeDrives : public app::DriveNames {
  public:
    Kind kindOf(const std::string& root) override {
        const auto it = kinds.find(root);
        return it == kinds.end() ? Kind::Other : it->second;
    }
    std::string universalName(const std::string& path) override {
        const auto it = universal.find(path);
        return it == universal.end() ? std::string() : it->second;
    }
    std::string connectionOf(const std::string& drive) override {
        const auto it = connections.find(drive);
        return it == connections.end() ? std::string() : it->second;
    }
    bool runsElevated() override { return elevated; }

    std::map<std::string, Kind> kinds;
    std::map<std::string, std::string> universal, connections;
    bool elevated = false;
};

}  // namespace appfakes
