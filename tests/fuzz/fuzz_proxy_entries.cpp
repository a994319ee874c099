// The proxy boxes: entries accepted only as no proxy, a host alone, or a host with a port from 1
// to 65535; an accepted host and port reach WinINet as that proxy, anything else as none.
#include <cstdint>
#include <string>

#include "app/proxy_entries.h"
#include "download/download_engine.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = text.find('\n');
    const std::string host = text.substr(0, cut);
    const std::string port = cut == std::string::npos ? "" : text.substr(cut + 1);

    if (!app::proxyEntriesValid(host, port))
        return 0;
    if (!port.empty()) {
        FUZZ_CHECK(!host.empty());
        FUZZ_CHECK(port.find_first_not_of("0123456789") == std::string::npos);
        const std::size_t lead = port.find_first_not_of('0');
        FUZZ_CHECK(lead != std::string::npos && port.size() - lead <= 5);
        const long value = std::stol(port.substr(lead));
        FUZZ_CHECK(value >= 1 && value <= 65535);
    }
    // What the download is given: the two boxes joined by ":".
    const download::ProxyChoice choice = download::chooseProxy(host + ":" + port);
    FUZZ_CHECK(choice.useProxy == !port.empty());
    if (choice.useProxy)
        FUZZ_CHECK(choice.server == host + ":" + port);
    return 0;
}
