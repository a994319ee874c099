// The server's answers as one attempt of a download reads them: status lines and headers
// (lengths, types, codings, Location, Accept-Ranges, validators, Content-Range) and bodies cut
// anywhere, through a chain of redirects, fresh or resuming a partial file. Whatever they say, the
// attempt ends with a named result, follows at most five redirects and never from https to http,
// closes every handle, and puts a file under its final name only when it is the whole file.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <string>

#include "download/http_rules.h"
#include "download/transfer.h"
#include "download_fakes.h"
#include "fuzz_check.h"

namespace {

const std::string kFinal = "C:\\N\\Sandel.exe";
const std::string kPartial = kFinal + ".part";

std::string headerText(FuzzedDataProvider& in, const std::string& likely) {
    return in.ConsumeBool() ? likely : in.ConsumeRandomLengthString(24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    fakes::Lockstep lockstep;
    lockstep.releaseAll();  // one thread: reads never wait for the window
    fakes::FakeClock clock;
    fakes::FakeNet net(lockstep, clock);
    fakes::FakeFiles files;
    fakes::FakeThreads threads(clock, lockstep);
    files.files[kFinal] = "old";

    auto call = std::make_shared<download::CallShared>(files);
    const bool https = in.ConsumeBool();
    call->url = std::string(https ? "https" : "http") + "://h.vn/Sandel/Sandel.exe";
    call->probeUrl = "http://h.vn/Sandel/Sandel.exe";
    call->partialPath = kPartial;
    call->finalPath = kFinal;
    call->stallMs = 4000;
    const bool acceptIt = in.ConsumeBool();
    call->accept = [&](const std::string& path) {
        return path == kPartial && acceptIt ? results::kResultOk : results::kSignErr;
    };
    call->owner.store(1);

    download::AttemptPlan plan;
    std::int64_t offset = 0;
    if (in.ConsumeBool()) {  // resuming a partial file
        plan.validator = {true, "\"v1\""};
        plan.total = in.ConsumeIntegralInRange<std::int64_t>(1, 5000);
        offset = in.ConsumeIntegralInRange<std::int64_t>(0, plan.total);
        call->file = files.create(kPartial).value;
        const std::string part = fakes::fileBytes(offset);
        files.write(call->file, part.data(), part.size());
        call->bytesOnDisk = offset;
    }

    net.answers.clear();
    const int count = in.ConsumeIntegralInRange(1, 7);
    for (int i = 0; i < count; ++i) {
        static const char* const kStatuses[] = {"200", "206", "302", "301", "307",
                                                "404", "407", "416", "500", "204"};
        fakes::Answer a;
        a.status = in.ConsumeBool() ? kStatuses[in.ConsumeIntegralInRange(0, 9)]
                                    : in.ConsumeRandomLengthString(8);
        const std::int64_t length = in.ConsumeIntegralInRange<std::int64_t>(0, 3000);
        const bool partial = download::parseContentLength(a.status) == 206;
        a.from = partial ? offset : 0;
        const std::int64_t whole = partial ? plan.total : length;
        using namespace download;
        for (const auto& [level, likely] :
             {std::pair{kQueryContentLength, std::to_string(length)},
              std::pair{kQueryContentType, std::string("text/html")},
              std::pair{kQueryContentEncoding, std::string("identity")},
              std::pair{kQueryTransferEncoding, std::string("chunked")},
              std::pair{kQueryLocation, std::string(in.ConsumeBool() ? "/b" : "http://h.vn/c")},
              std::pair{kQueryAcceptRanges, std::string("bytes")},
              std::pair{kQueryEtag, std::string("\"v1\"")},
              std::pair{kQueryContentRange, "bytes " + std::to_string(offset) + "-" +
                                                std::to_string(whole - 1) + "/" +
                                                std::to_string(whole)}})
            if (in.ConsumeBool())
                a.header(level, headerText(in, likely));
        a.body(length, in.ConsumeIntegralInRange<std::int64_t>(1, 70000));
        if (in.ConsumeBool())
            a.reads.insert(
                a.reads.begin() + in.ConsumeIntegralInRange<std::size_t>(0, a.reads.size()),
                in.ConsumeBool() ? fakes::Answer::kFail : 0);
        net.answers.push_back(a);
    }

    auto attempt = std::make_shared<download::AttemptState>(1);
    download::runAttempt(download::Seams{net, files, clock, threads}, call, attempt, plan);

    FUZZ_CHECK(attempt->ended.load());
    // A request the proxy refused is held for the login, with its handles: they close with it.
    FUZZ_CHECK((attempt->ending == download::Ending::ProxyLogin) ==
               (attempt->held.request.get() != 0));
    attempt->held = {};
    const std::string& result = attempt->result;
    const results::Row* named = results::find(result);
    FUZZ_CHECK(result.empty() || (named && (named->arises & (results::Download | results::Check))));
    const bool done = attempt->ending == download::Ending::Done;
    FUZZ_CHECK(done == result.empty());
    FUZZ_CHECK(net.requests.size() <= download::kMaxRedirects + 1u);
    // The fake forms each request's URL with "https://" exactly when it was sent secure.
    for (std::size_t i = 1; i < net.requests.size(); ++i)
        FUZZ_CHECK(net.requests[i - 1].url.rfind("https://", 0) != 0 ||
                   net.requests[i].url.rfind("https://", 0) == 0);
    FUZZ_CHECK(net.liveHandles() == 0);
    if (done) {
        const std::int64_t total = attempt->total.load();
        FUZZ_CHECK(acceptIt && files.files.at(kFinal) == fakes::fileBytes(total));
        FUZZ_CHECK(files.files.count(kPartial) == 0);
    } else {
        FUZZ_CHECK(files.files.at(kFinal) == "old");
        if (files.files.count(kPartial))
            FUZZ_CHECK(files.files.at(kPartial) == fakes::fileBytes(call->bytesOnDisk));
    }
    return 0;
}
