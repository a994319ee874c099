#pragma once
// One attempt at a download (transfer.h), a class whose parts live in a file per concern:
// transfer.cpp runs it and decides on the server's answer, request_path.cpp sends the request and
// follows its redirects, login_page_probe.cpp names a refused request (and asks for a login page
// over plain HTTP), proxy_login.cpp keeps a request a proxy refused for want of a login, and
// body_store.cpp reads the body into the partial file and gives it its final name.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "download/net_owner.h"
#include "download/read_pacer.h"
#include "download/transfer.h"

namespace download {

struct End {
    Ending ending;
    std::string result;
};

class Attempt {
  public:
    Attempt(const Seams& seams, CallShared& call, AttemptState& state, const AttemptPlan& plan)
        : s_(seams), call_(call), a_(state), plan_(plan) {}

    End run();

  private:
    // A refused certificate is final: never tried again, never with weaker checks.
    static End internetFailure(std::uint32_t error) { return ended(resultForInternetError(error)); }
    static End ended(const std::string& result) {
        return {results::worthRetry(result) ? Ending::Cut : Ending::Failed, result};
    }

    // The answer to the request for `url` after its redirects, followed here under our rules,
    // not by WinINet (`url` and `hop` follow them), or how the attempt ends.
    struct Answer {
        std::optional<End> end;
        std::uint32_t refusal = 0;  // the code the request could not be sent with
        int status = 0;
    };
    Answer ask(const NetOwner& session, NetOwner& connection, NetOwner& request, std::string& url,
               int& hop, const std::string& headers);
    std::optional<End> openRequest(const NetOwner& session, NetOwner& connection, NetOwner& request,
                                   const std::string& url);
    Status send(const NetOwner& request, const std::string& headers);
    std::optional<std::string> header(const NetOwner& request, std::uint32_t level);
    static std::optional<std::int64_t> number(const std::optional<std::string>& text);

    End refused(const NetOwner& session, const NetOwner& request, const std::string& url,
                std::uint32_t error);
    bool loginPageOverHttp(const NetOwner& session, const std::string& refusedResult);

    // The proxy refused the request for want of a login (407): its page is read, the request
    // kept for the window to ask the user.
    End holdForLogin(NetOwner& session, NetOwner& connection, NetOwner& request,
                     const std::string& url, int hop);
    std::optional<End> dropBody(const NetOwner& request);

    bool mine() const { return call_.owner.load() == a_.number; }

    // The first bytes of a body, read until they tell whether it is a web page.
    struct Head {
        std::string bytes;
        bool ended = false;  // the body ended within them
    };
    std::optional<End> prepareFile(bool resumed, std::int64_t offset, std::int64_t total);
    std::optional<End> readChunk(const NetOwner& request, std::vector<char>& buffer,
                                 std::uint32_t& got, bool ofTheFile);
    std::optional<End> readHead(const NetOwner& request, Head& head, bool ofTheFile);
    std::optional<End> store(const char* data, std::size_t size, std::int64_t total);
    std::optional<End> readBody(const NetOwner& request, std::int64_t total, std::int64_t skip);
    End finish(std::int64_t total);

    const Seams& s_;
    CallShared& call_;
    AttemptState& a_;
    const AttemptPlan& plan_;
    std::optional<ReadPacer> pacer_;  // from when the body is read
};

}  // namespace download
