#pragma once
// A certificate check made first from what this computer holds (fast, no network, and none of
// Windows' own fetches, which would not go through the proxy typed in the window), and made once
// more with retrieval from the network allowed only when it was refused for its root alone: Vista
// and later keep only part of the trusted roots on disk and fetch the rest when a chain needs
// one, and Windows XP fetches it too where its root update is on. One bound covers both tries;
// the thread that waits for the check asks, when the bound passes, which try was under way.
//
// Any check may use it (the update tool's Authenticode check, a package's signature): it takes
// the check as a callable with a "retrieval allowed" flag and a test of its verdict.
#include <atomic>
#include <cstdint>
#include <string>

#include "download/thread_api.h"
#include "results/results.h"

namespace app {

class RootsFirst {
  public:
    // `boundMs`: how long both tries together may take, from the start of run().
    explicit RootsFirst(std::uint32_t boundMs) : boundMs_(boundMs) {}
    RootsFirst(const RootsFirst&) = delete;
    RootsFirst& operator=(const RootsFirst&) = delete;

    // On the checking thread: `check(false)`, then, when `refusedForRootOnly(verdict)` and the
    // bound has not passed yet (past it the waiter has given up), `check(true)`, whose verdict
    // stands. `clock` must outlive every thread that may still run a check.
    template <typename Check, typename RootOnly>
    auto run(download::Clock& clock, Check&& check, RootOnly&& refusedForRootOnly)
        -> decltype(check(false)) {
        retrieving_.store(false);
        const std::uint32_t since = clock.nowMs();
        auto verdict = check(false);
        if (!refusedForRootOnly(verdict) || clock.nowMs() - since >= boundMs_)
            return verdict;
        retrieving_.store(true);
        return check(true);
    }

    // On the waiting thread once the bound has passed: "RootErr" when the second try was under
    // way (the root still missing as far as anyone knows), otherwise "SignTimeoutErr".
    const std::string& resultAtBound() const {
        return retrieving_.load() ? results::kRootErr : results::kSignTimeoutErr;
    }
    // The check's own "SignTimeoutErr" (its bound passed) as resultAtBound() tells it; any other
    // result unchanged.
    std::string named(const std::string& result) const {
        return result == results::kSignTimeoutErr ? resultAtBound() : result;
    }

    std::uint32_t boundMs() const { return boundMs_; }

  private:
    const std::uint32_t boundMs_;
    std::atomic<bool> retrieving_{false};
};

}  // namespace app
