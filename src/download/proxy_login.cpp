// A request the proxy refused for want of a login (407): its page read and dropped, its handles
// kept for the window, which asks the user and has it sent again.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "download/attempt.h"

namespace download {

namespace {

// The most of a proxy's refusal that is read to send the request again.
constexpr std::int64_t kMaxDroppedBody = 1 << 20;

}  // namespace

End Attempt::holdForLogin(NetOwner& session, NetOwner& connection, NetOwner& request,
                          const std::string& url, int hop) {
    // The window asks the user for the proxy's login; the request can be sent again on
    // its handle once the proxy's answer has been read.
    if (const std::optional<End> failed = dropBody(request))
        return *failed;
    a_.held = HeldRequest{std::move(session), std::move(connection), std::move(request), url, hop};
    return {Ending::ProxyLogin, results::kProxyAuthErr};
}

// Reads a body that is not the file (a proxy's page) to its end, up to kMaxDroppedBody.
std::optional<End> Attempt::dropBody(const NetOwner& request) {
    pacer_.emplace(s_.clock.nowMs());
    std::vector<char> buffer(kChunkSize);
    for (std::int64_t dropped = 0;;) {
        std::uint32_t got = 0;
        if (const std::optional<End> failed = readChunk(request, buffer, got, false))
            return failed;
        if (got == 0)
            return std::nullopt;
        dropped += got;
        if (dropped > kMaxDroppedBody)
            return End{Ending::Failed, results::kProxyAuthErr};
    }
}

}  // namespace download
