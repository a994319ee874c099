#include "app/proxy_entries.h"

namespace app {

namespace {

bool isPortNumber(const std::string& text) {
    if (text.empty())
        return false;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
        if (value > 65535)
            return false;
    }
    return value >= 1;
}

}  // namespace

bool proxyEntriesValid(const std::string& host, const std::string& port) {
    if (port.empty())
        return true;
    return !host.empty() && isPortNumber(port);
}

}  // namespace app
