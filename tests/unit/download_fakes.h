#pragma once
// Scripted fakes of the download engine's seams: server answers played back through the WinINet
// calls, an in-memory file system that records what happened to each path, a fake clock, and
// transfer threads that move in lockstep with the window's waits (each wait lets one read
// happen), so that what the window shows is deterministic.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "download/internet_api.h"
#include "download/thread_api.h"
#include "download/transfer.h"
#include "form/form.h"
#include "progress_form.h"

namespace fakes {

// The byte at offset `i` of every served file: a resumed file is identical only when each part
// landed where it belongs.
inline char fileByte(std::int64_t i) {
    return static_cast<char>('a' + (i * 7 + i / 4093) % 26);
}
inline std::string fileBytes(std::int64_t size) {
    std::string s(static_cast<std::size_t>(size), '\0');
    for (std::int64_t i = 0; i < size; ++i)
        s[static_cast<std::size_t>(i)] = fileByte(i);
    return s;
}

// Lets the transfer threads go one read per window wait, and knows when they all stand still.
class Lockstep {
  public:
    ~Lockstep() { releaseAll(); }
    // Transfer thread: waits for the window's next wait (or the release).
    void awaitStep() {
        std::unique_lock<std::mutex> lock(m_);
        ++waiting_;
        cv_.notify_all();
        cv_.wait(lock, [&] { return used_ < granted_ || released_; });
        --waiting_;
        if (used_ < granted_)
            ++used_;
    }
    // Transfer thread: a call that does not return until unblock() or the end of the test.
    void blockForever() {
        std::unique_lock<std::mutex> lock(m_);
        ++blocked_;
        cv_.notify_all();
        const long generation = unblocked_;
        cv_.wait(lock, [&] { return released_ || unblocked_ != generation; });
        --blocked_;
    }
    // Window's thread: lets the blocked calls return (the next step waits for their threads to
    // come to rest again).
    void unblock() {
        std::lock_guard<std::mutex> lock(m_);
        ++unblocked_;
        cv_.notify_all();
    }
    // Window's thread: one step, then back when every transfer thread stands still again.
    void step() {
        std::unique_lock<std::mutex> lock(m_);
        granted_ = used_ + 1;
        cv_.notify_all();
        const bool still = cv_.wait_for(lock, std::chrono::seconds(20), [&] {
            return live_ == blocked_ + waiting_ && (waiting_ == 0 || used_ == granted_);
        });
        if (!still)
            throw std::runtime_error("transfer thread did not come to rest");
    }
    void threadStarted() {
        std::lock_guard<std::mutex> lock(m_);
        ++live_;
    }
    void threadEnded() {
        std::lock_guard<std::mutex> lock(m_);
        --live_;
        cv_.notify_all();
    }
    void releaseAll() {
        std::lock_guard<std::mutex> lock(m_);
        released_ = true;
        cv_.notify_all();
    }
    // After every thread has ended: steps are needed again.
    void reopen() {
        std::lock_guard<std::mutex> lock(m_);
        released_ = false;
        granted_ = used_ = 0;
    }

  private:
    std::mutex m_;
    std::condition_variable cv_;
    int live_ = 0, blocked_ = 0, waiting_ = 0;
    long granted_ = 0, used_ = 0, unblocked_ = 0;
    bool released_ = false;
};

// A millisecond clock that moves only when someone waits or sleeps.
class FakeClock : public download::Clock {
  public:
    std::atomic<std::uint32_t> now{1000};
    // Runs at the start of every sleep, on the sleeping thread.
    std::function<void()> onSleep;
    std::uint32_t nowMs() override { return now.load(); }
    void sleepMs(std::uint32_t ms) override {
        if (onSleep)
            onSleep();
        now += ms;
    }
    // The computer's date (FILETIME units): 2026-12-08 unless a test sets another.
    std::atomic<std::uint64_t> date{134411616000000000u};
    std::uint64_t systemTime() override { return date.load(); }
};

// Transfer threads are real threads in lockstep with the window's waits; all are joined when the
// test ends (after the blocked ones are released).
class FakeThreads : public download::Threads {
  public:
    FakeThreads(FakeClock& clock, Lockstep& lockstep) : clock_(clock), lockstep_(lockstep) {}
    ~FakeThreads() override { joinAll(); }
    // Releases the blocked threads and waits for all to end.
    void joinAll() {
        lockstep_.releaseAll();
        for (std::thread& t : threads_)
            t.join();
        threads_.clear();
        lockstep_.reopen();
    }
    int started = 0;
    int waits = 0;
    int failStartAt = 0;  // the n-th start fails (0: none)
    bool start(std::function<void()> body) override {
        if (++started == failStartAt)
            return false;
        lockstep_.threadStarted();
        threads_.emplace_back([this, body = std::move(body)] {
            body();
            lockstep_.threadEnded();
        });
        return true;
    }
    void waitForMessageOrWake(std::uint32_t ms) override {
        ++waits;
        clock_.now += ms;
        lockstep_.step();
    }
    void wake() override {}

  private:
    FakeClock& clock_;
    Lockstep& lockstep_;
    std::vector<std::thread> threads_;
};

struct OpenCall {
    std::string agent;
    std::uint32_t accessType = 0;
    std::optional<std::string> proxy, bypass;
    std::uint32_t flags = 0;
};

// One answer of the server, for one HttpSendRequestA.
struct Answer {
    bool refused = false;                           // HttpSendRequestA fails
    std::uint32_t refusedWith = 12029;              // ERROR_INTERNET_CANNOT_CONNECT
    bool silent = false;                            // HttpSendRequestA never returns
    bool channelSetUp = false;                      // refused after the secure channel stood
    std::optional<std::uint64_t> certificateStart;  // of the refused request's certificate
    std::string status = "200";
    std::map<std::uint32_t, std::string> headers;
    std::int64_t from = 0;                      // the file offset of the first body byte
    std::vector<std::int64_t> reads;            // sizes of successive reads; kStall, kFail as below
    static constexpr std::int64_t kStall = -1;  // the read never returns
    static constexpr std::int64_t kFail = -2;   // the read fails
    // The read does not return until Lockstep::unblock(), then brings 4096 bytes.
    static constexpr std::int64_t kLateData = -3;
    std::string content;  // when set, the body's bytes (else the file's, from fileByte)

    // HttpSendRequestA fails with `error`.
    static Answer refusal(std::uint32_t error, bool channelSetUp = false,
                          std::optional<std::uint64_t> certificateStart = std::nullopt) {
        Answer a;
        a.refused = true;
        a.refusedWith = error;
        a.channelSetUp = channelSetUp;
        a.certificateStart = certificateStart;
        return a;
    }
    // A 200 answer with Content-Length `size`, delivering `delivered` bytes in reads of `chunk`.
    static Answer whole(std::int64_t size, std::int64_t delivered = -1,
                        std::int64_t chunk = 65536) {
        Answer a;
        a.headers[download::kQueryContentLength] = std::to_string(size);
        a.body(delivered < 0 ? size : delivered, chunk);
        return a;
    }
    Answer& body(std::int64_t bytes, std::int64_t chunk = 65536) {
        reads.clear();
        for (; bytes >= chunk; bytes -= chunk)
            reads.push_back(chunk);
        if (bytes > 0)
            reads.push_back(bytes);
        return *this;
    }
    // A body of exactly `text`, announced by its length, in one read.
    Answer& bodyText(const std::string& text) {
        content = text;
        headers[download::kQueryContentLength] = std::to_string(text.size());
        return body(static_cast<std::int64_t>(text.size()));
    }
    Answer& header(std::uint32_t level, const std::string& text) {
        headers[level] = text;
        return *this;
    }
};

// One HttpSendRequestA, with the connection and request it was sent on.
struct Request {
    std::string url;  // formed again from the connection's host and port and the request's object
    std::string host;
    std::uint16_t port = 0;
    std::string headers;
    std::uint32_t flags = 0;          // of HttpOpenRequestA
    std::uint32_t securityFlags = 0;  // INTERNET_OPTION_SECURITY_FLAGS when it was sent
    std::uint32_t atMs = 0;           // the fake clock when it was sent
    download::NetHandle handle = 0;   // the request handle
    std::string login;                // "user:password" the proxy would get, "" for none
};

class FakeNet : public download::InternetApi {
  public:
    FakeNet(Lockstep& lockstep, FakeClock& clock) : lockstep_(lockstep), clock_(clock) {}
    // The scripted answers, one per request; the last one repeats.
    std::deque<Answer> answers{Answer{}};
    bool sessionFails = false;
    bool fill = true;  // false: the bytes read are left as they are (huge transfers)

    // The credentials dialog's answers in turn (then Cancel), and what it did: the clock moves
    // by `dialogMs` while it is up; credentials given are put on the request.
    std::deque<std::uint32_t> loginAnswers;
    static constexpr const char* kUser = "norvik";
    static constexpr const char* kPassword = "proxy-secret";
    std::uint32_t dialogMs = 0;
    int loginDialogs = 0;

    // What happened.
    std::vector<std::string> deletedCacheUrls;
    std::vector<OpenCall> opens;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> options;
    std::vector<Request> requests;
    int certificateQueries = 0;

    bool deleteUrlCacheEntry(const std::string& url) override {
        deletedCacheUrls.push_back(url);
        return false;
    }
    download::Result<download::NetHandle> open(const std::string& agent, std::uint32_t accessType,
                                               const char* proxy, const char* bypass,
                                               std::uint32_t flags) override {
        std::lock_guard<std::mutex> lock(m_);
        OpenCall c{agent, accessType, {}, {}, flags};
        if (proxy)
            c.proxy = proxy;
        if (bypass)
            c.bypass = bypass;
        opens.push_back(c);
        if (sessionFails)
            return download::failure<download::NetHandle>(12029);
        return download::success(newHandle());
    }
    download::Status setOption(download::NetHandle handle, std::uint32_t option,
                               std::uint32_t value) override {
        std::lock_guard<std::mutex> lock(m_);
        options.emplace_back(option, value);
        if (option == download::kOptionSecurityFlags) {
            if (!opened_.count(handle))
                return download::failure(12018);  // ERROR_INTERNET_INCORRECT_HANDLE_TYPE
            opened_[handle].securityFlags = value;
        }
        return download::success();
    }
    download::Result<std::uint32_t> queryOption(download::NetHandle handle,
                                                std::uint32_t option) override {
        std::lock_guard<std::mutex> lock(m_);
        if (option != download::kOptionSecurityFlags || !opened_.count(handle))
            return download::failure<std::uint32_t>(12018);
        return download::success(opened_[handle].securityFlags);
    }
    download::Result<std::string> queryStringOption(download::NetHandle handle,
                                                    std::uint32_t option) override {
        std::lock_guard<std::mutex> lock(m_);
        const auto it = logins_.find(handle);
        if (it == logins_.end() ||
            (option != download::kOptionProxyUsername && option != download::kOptionProxyPassword))
            return download::failure<std::string>(12018);
        return download::success(option == download::kOptionProxyUsername ? it->second.first
                                                                          : it->second.second);
    }
    download::Status setStringOption(download::NetHandle handle, std::uint32_t option,
                                     const std::string& value) override {
        std::lock_guard<std::mutex> lock(m_);
        if (!opened_.count(handle))
            return download::failure(12018);
        auto& login = logins_[handle];
        (option == download::kOptionProxyUsername ? login.first : login.second) = value;
        return download::success();
    }
    download::Result<download::NetHandle> connect(download::NetHandle session,
                                                  const std::string& host,
                                                  std::uint16_t port) override {
        std::lock_guard<std::mutex> lock(m_);
        if (!live_.count(session))
            return download::failure<download::NetHandle>(6);
        const download::NetHandle h = newHandle();
        servers_[h] = {host, port};
        return download::success(h);
    }
    download::Result<download::NetHandle> openRequest(download::NetHandle connection,
                                                      const std::string& object,
                                                      std::uint32_t flags) override {
        std::lock_guard<std::mutex> lock(m_);
        if (!live_.count(connection) || !servers_.count(connection))
            return download::failure<download::NetHandle>(6);
        const auto& [host, port] = servers_[connection];
        const bool secure = (flags & download::kFlagSecure) != 0;
        const bool defaultPort = port == (secure ? 443 : 80);
        Request r;
        r.url = std::string(secure ? "https://" : "http://") + host +
                (defaultPort ? "" : ":" + std::to_string(port)) + object;
        r.host = host;
        r.port = port;
        r.flags = flags;
        const download::NetHandle h = newHandle();
        opened_[h] = r;
        return download::success(h);
    }
    download::Status sendRequest(download::NetHandle request, const std::string& headers) override {
        Answer answer;
        {
            std::lock_guard<std::mutex> lock(m_);
            if (!live_.count(request) || !opened_.count(request))
                return download::failure(6);
            Request r = opened_[request];
            r.headers = headers;
            r.atMs = clock_.nowMs();
            r.handle = request;
            const auto login = logins_.find(request);
            if (login != logins_.end())
                r.login = login->second.first + ":" + login->second.second;
            // Sent again only once the previous answer's body has been read.
            const auto previous = requestAnswers_.find(request);
            if (previous != requestAnswers_.end() &&
                previous->second.next < previous->second.answer.reads.size())
                return download::failure(12019);  // ERROR_INTERNET_INCORRECT_HANDLE_STATE
            requests.push_back(r);
            requestAnswers_.erase(request);
            answer = answers.front();
            if (answers.size() > 1)
                answers.pop_front();
        }
        if (answer.silent) {
            lockstep_.blockForever();
            return download::failure(12002);
        }
        if (answer.refused) {
            std::lock_guard<std::mutex> lock(m_);
            if (answer.channelSetUp && opened_.count(request))
                opened_[request].securityFlags |= download::kSecurityFlagSecure;
            if (answer.certificateStart)
                certificateStarts_[request] = *answer.certificateStart;
            return download::failure(answer.refusedWith);
        }
        std::lock_guard<std::mutex> lock(m_);
        requestAnswers_[request] = Served{answer};
        return download::success();
    }
    download::Result<std::uint64_t> certificateStart(download::NetHandle request) override {
        std::lock_guard<std::mutex> lock(m_);
        ++certificateQueries;
        const auto it = certificateStarts_.find(request);
        if (it == certificateStarts_.end())
            return download::failure<std::uint64_t>(12018);
        return download::success(it->second);
    }
    download::Result<std::string> queryInfo(download::NetHandle request,
                                            std::uint32_t level) override {
        std::lock_guard<std::mutex> lock(m_);
        const auto it = requestAnswers_.find(request);
        if (it == requestAnswers_.end())
            return download::failure<std::string>(6);
        const Answer& a = it->second.answer;
        if (level == download::kQueryStatusCode)
            return download::success(a.status);
        const auto h = a.headers.find(level);
        if (h == a.headers.end())
            return download::failure<std::string>(12150);  // ERROR_HTTP_HEADER_NOT_FOUND
        return download::success(h->second);
    }
    // The size of the next scripted read (a stall or a failure shows in the read itself).
    download::Result<std::uint32_t> queryDataAvailable(download::NetHandle request) override {
        std::lock_guard<std::mutex> lock(m_);
        const auto it = requestAnswers_.find(request);
        if (it == requestAnswers_.end())
            return download::failure<std::uint32_t>(6);
        const Served& s = it->second;
        if (s.next >= s.answer.reads.size())
            return download::success<std::uint32_t>(0);
        const std::int64_t size = s.answer.reads[s.next];
        return download::success(
            static_cast<std::uint32_t>(size > 0 ? size : std::int64_t{download::kChunkSize}));
    }
    download::Result<std::uint32_t> readFile(download::NetHandle request, void* buffer,
                                             std::uint32_t toRead) override {
        lockstep_.awaitStep();
        std::int64_t size = 0, at = 0;
        std::string content;
        {
            std::lock_guard<std::mutex> lock(m_);
            auto it = requestAnswers_.find(request);
            if (it == requestAnswers_.end() || toRead > download::kChunkSize)
                return download::failure<std::uint32_t>(6);
            Served& s = it->second;
            if (s.next >= s.answer.reads.size())
                return download::success<std::uint32_t>(0);
            size = s.answer.reads[s.next++];
            if (size > toRead)
                return download::failure<std::uint32_t>(87);  // asked for less than arrived
            at = s.answer.from + s.offset;
            if (size > 0)
                s.offset += size;
            content = s.answer.content;
        }
        if (size == Answer::kStall) {
            lockstep_.blockForever();
            return download::failure<std::uint32_t>(12002);
        }
        if (size == Answer::kFail)
            return download::failure<std::uint32_t>(12030);
        if (size == Answer::kLateData) {
            lockstep_.blockForever();
            size = 4096;
        }
        char* out = static_cast<char*>(buffer);
        for (std::int64_t i = 0; fill && i < size; ++i)
            out[i] = content.empty() ? fileByte(at + i)
                                     : content[static_cast<std::size_t>(at + i) % content.size()];
        return download::success(static_cast<std::uint32_t>(size));
    }
    std::uint32_t loginDialog(download::NetHandle request) override {
        std::lock_guard<std::mutex> lock(m_);
        ++loginDialogs;
        clock_.now += dialogMs;
        if (!live_.count(request) || loginAnswers.empty())
            return 1223;  // ERROR_CANCELLED
        const std::uint32_t answer = loginAnswers.front();
        loginAnswers.pop_front();
        if (answer == download::kErrorForceRetry)
            logins_[request] = {kUser, kPassword};
        return answer;
    }
    void closeHandle(download::NetHandle handle) override {
        std::lock_guard<std::mutex> lock(m_);
        live_.erase(handle);
        requestAnswers_.erase(handle);
        servers_.erase(handle);
        opened_.erase(handle);
        certificateStarts_.erase(handle);
        logins_.erase(handle);
    }
    // The URL a request handle asks for ("" for none).
    std::string urlOf(download::NetHandle request) {
        std::lock_guard<std::mutex> lock(m_);
        return opened_.count(request) ? opened_[request].url : std::string();
    }
    // The proxy's login a request carries, "user:password" ("" for none).
    std::string loginOf(download::NetHandle request) {
        std::lock_guard<std::mutex> lock(m_);
        const auto it = logins_.find(request);
        return it == logins_.end() ? "" : it->second.first + ":" + it->second.second;
    }
    int liveHandles() {
        std::lock_guard<std::mutex> lock(m_);
        return static_cast<int>(live_.size());
    }

  private:
    struct Served {
        Answer answer;
        std::size_t next = 0;
        std::int64_t offset = 0;
    };
    download::NetHandle newHandle() {
        const download::NetHandle h = next_++;
        live_.insert(h);
        return h;
    }
    Lockstep& lockstep_;
    FakeClock& clock_;
    std::mutex m_;
    download::NetHandle next_ = 0x100;
    std::set<download::NetHandle> live_;
    std::map<download::NetHandle, Served> requestAnswers_;
    std::map<download::NetHandle, std::pair<std::string, std::uint16_t>> servers_;
    std::map<download::NetHandle, Request> opened_;
    std::map<download::NetHandle, std::uint64_t> certificateStarts_;
    std::map<download::NetHandle, std::pair<std::string, std::string>> logins_;
};

// Files kept in memory. `countOnly` keeps lengths instead of bytes (for huge transfers).
class FakeFiles : public download::FileApi {
  public:
    // A failure of an operation ("create", "write", "truncate", "flush", "close", "replace",
    // "remove"):
    // its Windows error code, after `after` successful calls, for `times` calls (-1: always).
    struct Fault {
        std::uint32_t error = 0;
        int after = 0;
        int times = -1;
    };
    std::map<std::string, Fault> faults;
    std::map<std::string, std::string> files;
    bool countOnly = false;
    std::vector<std::string> log;

    download::Result<download::FileHandle> create(const std::string& path) override {
        std::lock_guard<std::mutex> lock(m_);
        log.push_back("create " + path);
        if (const std::uint32_t e = fault("create"))
            return download::failure<download::FileHandle>(e);
        files[path].clear();
        lengths_[path] = 0;
        open_[next_] = Open{path, 0};
        return download::success(next_++);
    }
    // Runs at the start of the n-th write (1, 2, ...), before it has any effect.
    std::function<void(int)> beforeWrite;
    std::atomic<int> writes{0};

    download::Status write(download::FileHandle file, const void* data, std::size_t size) override {
        const int n = ++writes;
        if (beforeWrite)
            beforeWrite(n);
        std::lock_guard<std::mutex> lock(m_);
        if (!open_.count(file))
            return download::failure(6);
        if (const std::uint32_t e = fault("write"))
            return download::failure(e);
        Open& o = open_[file];
        if (!countOnly) {
            std::string& content = files[o.path];
            content.resize(static_cast<std::size_t>(o.position));
            content.append(static_cast<const char*>(data), size);
        }
        o.position += static_cast<std::int64_t>(size);
        lengths_[o.path] = o.position;
        return download::success();
    }
    download::Status truncate(download::FileHandle file, std::int64_t size) override {
        std::lock_guard<std::mutex> lock(m_);
        if (!open_.count(file))
            return download::failure(6);
        log.push_back("truncate " + open_[file].path + " " + std::to_string(size));
        if (const std::uint32_t e = fault("truncate"))
            return download::failure(e);
        Open& o = open_[file];
        files[o.path].resize(static_cast<std::size_t>(size));
        o.position = size;
        lengths_[o.path] = size;
        return download::success();
    }
    download::Status flush(download::FileHandle file) override {
        std::lock_guard<std::mutex> lock(m_);
        if (!open_.count(file))
            return download::failure(6);
        log.push_back("flush " + open_[file].path);
        if (const std::uint32_t e = fault("flush"))
            return download::failure(e);
        return download::success();
    }
    download::Status close(download::FileHandle file) override {
        std::lock_guard<std::mutex> lock(m_);
        if (!open_.count(file))
            return download::failure(6);
        const std::string path = open_[file].path;
        log.push_back("close " + path);
        open_.erase(file);
        if (deletePending_.count(path) && !isOpen(path)) {
            deletePending_.erase(path);
            files.erase(path);
        }
        if (const std::uint32_t e = fault("close"))
            return download::failure(e);
        return download::success();
    }
    download::Status replace(const std::string& from, const std::string& to) override {
        std::lock_guard<std::mutex> lock(m_);
        log.push_back("replace " + from + " " + to);
        if (const std::uint32_t e = fault("replace"))
            return download::failure(e);
        if (!files.count(from))
            return download::failure(2);
        files[to] = files[from];
        lengths_[to] = lengths_[from];
        files.erase(from);
        return download::success();
    }
    download::Status remove(const std::string& path) override {
        std::lock_guard<std::mutex> lock(m_);
        log.push_back("remove " + path);
        if (const std::uint32_t e = fault("remove"))
            return download::failure(e);
        if (!files.count(path))
            return download::failure(2);
        // Opened with delete sharing: gone once the last handle closes.
        if (isOpen(path))
            deletePending_.insert(path);
        else
            files.erase(path);
        return download::success();
    }
    int openCount() {
        std::lock_guard<std::mutex> lock(m_);
        return static_cast<int>(open_.size());
    }
    std::int64_t length(const std::string& path) {
        std::lock_guard<std::mutex> lock(m_);
        return lengths_.count(path) ? lengths_[path] : -1;
    }

  private:
    struct Open {
        std::string path;
        std::int64_t position = 0;
    };
    bool isOpen(const std::string& path) const {
        return std::any_of(open_.begin(), open_.end(),
                           [&](const auto& o) { return o.second.path == path; });
    }
    std::set<std::string> deletePending_;
    std::uint32_t fault(const std::string& op) {
        const auto it = faults.find(op);
        if (it == faults.end())
            return 0;
        Fault& f = it->second;
        if (f.after > 0) {
            --f.after;
            return 0;
        }
        if (f.times == 0)
            return 0;
        if (f.times > 0)
            --f.times;
        return f.error;
    }
    std::mutex m_;
    std::map<download::FileHandle, Open> open_;
    std::map<std::string, std::int64_t> lengths_;
    download::FileHandle next_ = 1;
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
