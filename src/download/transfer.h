#pragma once
// One attempt at a download, run on its own transfer thread: the blocking WinINet calls, the
// decisions on the server's answer, and the writes into the partial file. It publishes what it
// has done through atomics and never touches the window.
//
// The partial file is the call's, not the attempt's: a later attempt resumes it. Whoever uses the
// file holds the call's lock and first checks that it is still the owner, so that an attempt the
// window's thread has given up on (set `owner` elsewhere) never writes, creates or renames again,
// even when its blocked call returns minutes later. The window's thread only sets atomics and
// takes the lock with tryLock.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/mutex.h"
#include "download/failure_results.h"
#include "download/http_rules.h"
#include "download/internet_api.h"
#include "download/net_owner.h"
#include "download/proxy_credentials.h"
#include "download/thread_api.h"
#include "results/results.h"

namespace download {

// The caller's check of a complete download runs with the partial file complete, flushed and
// closed, before it takes the final name; the window waits for it at most the engine's check bound
// (SignTimeoutErr past it). It may still run after the program began to end, so it
// uses nothing that ends before the process.
using results::AcceptFile;

inline constexpr const char* kAgent = "API-Download";
inline constexpr const char* kBypassList = "<local>";
// Bytes asked for by each read.
inline constexpr std::uint32_t kChunkSize = 64 * 1024;

// How the session reaches the server for a proxy text "address:port".
struct ProxyChoice {
    bool useProxy = false;  // false: the system's Internet settings
    std::string server;     // the proxy server text when useProxy
};

// The seams a transfer works through; they outlive every transfer thread.
struct Seams {
    InternetApi& net;
    FileApi& files;
    Clock& clock;
    Threads& threads;
};

// What one download call shares between the window's thread and its transfer threads. The last
// of them to let go of it closes the file if nobody has.
struct CallShared {
    explicit CallShared(FileApi& fileApi) : files(fileApi) {}
    ~CallShared() {
        if (file)
            files.close(file);
    }
    CallShared(const CallShared&) = delete;
    CallShared& operator=(const CallShared&) = delete;

    // Fixed before the first transfer thread starts.
    std::string url;
    // After a refused certificate a login portal is told by its answer over plain HTTP to the
    // configured server (never a redirect's target) for a path that carries no customer code,
    // so that whoever offered the certificate learns nothing of the user's. "": not asked.
    std::string probeUrl;
    ProxyChoice proxy;
    std::string partialPath;
    std::string finalPath;
    AcceptFile accept;
    std::uint32_t stallMs = 0;
    SecureContext secure;  // its date is read when a request is refused

    // The attempt that may use the partial file: kNobody between attempts, kGivenUp once the call
    // has given them all up (whoever then holds the lock closes the file).
    static constexpr int kNobody = 0;
    static constexpr int kGivenUp = -1;
    std::atomic<int> owner{kNobody};
    // The program is ending: the window's thread leaves the call at once.
    std::atomic<bool> abandoned{false};
    // Giving up could not remove the partial file (the caller's check held it): the attempt in
    // that check removes it when the check ends.
    std::atomic<bool> partialLeft{false};

    FileApi& files;
    norvik::Mutex lock;  // guards the two fields below and every use of the file
    FileHandle file = 0;
    std::int64_t bytesOnDisk = 0;
};

// How an attempt ended.
enum class Ending {
    Done,     // the file is complete, accepted and under its final name
    Failed,   // a failure that another attempt would not mend (`result` names it)
    Cut,      // the network failed or the body ended early: worth resuming
    Restart,  // the resumed answer does not continue the file: start again from zero
    // The proxy wants a login (407): the window asks the user, and the next attempt sends the
    // held request again with the credentials given.
    ProxyLogin,
};

// A request the proxy refused for want of a login with its own handles, its URL and how many
// redirects led there. Whoever holds it last closes the handles (the request's first).
struct HeldRequest {
    NetOwner session, connection, request;
    std::string url;
    int hop = 0;
};

// What an attempt publishes; the window's thread reads it.
struct AttemptState {
    explicit AttemptState(int n) : number(n) {}
    const int number;
    // Body bytes received from the network by this attempt (the stall clock watches it).
    std::atomic<std::int64_t> received{0};
    // Of them, the file's own: not a proxy's page nor the answer to the login-page question.
    // Only these are progress.
    std::atomic<std::int64_t> fileReceived{0};
    // Once the answer is accepted: the whole file's length, then the bytes in the partial file.
    std::atomic<std::int64_t> total{-1};
    std::atomic<std::int64_t> fileBytes{-1};
    // The whole body is on the disk: no more network, so the stall clock stops (the caller's
    // check may take a while).
    std::atomic<bool> complete{false};
    // Written before `total` when the answer started the file from zero: what a resumed request
    // sends as If-Range ("" when the server offers no resuming).
    bool freshStart = false;
    Validator validator;
    // While the attempt asks a server whose certificate was refused for a login page over plain
    // HTTP: the refusal's result, which also stands when that question gets no answer in time.
    // `refusedResult` is written before `probing`.
    std::string refusedResult;
    std::atomic<bool> probing{false};
    // Written before `ended`.
    Ending ending = Ending::Failed;
    // With Ending::ProxyLogin. Its handles close with this state when nobody takes them: an
    // attempt given up while it read the proxy's page still fills it.
    HeldRequest held;
    std::string result;
    std::atomic<bool> ended{false};
};

// What the window's thread tells an attempt: resume the file when `validator` is not empty.
struct AttemptPlan {
    Validator validator;
    std::int64_t total = 0;
    std::shared_ptr<HeldRequest> held;  // a request to send again (the attempt takes its handles)
    // The proxy's login the user gave earlier in this upgrade, for every request the attempt
    // opens.
    std::shared_ptr<const ProxyCredentials> login;
};

// The body of a transfer thread.
void runAttempt(Seams seams, std::shared_ptr<CallShared> call,
                std::shared_ptr<AttemptState> attempt, AttemptPlan plan);

}  // namespace download
