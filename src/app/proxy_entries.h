#pragma once
// The proxy boxes as the user filled them in, checked before an upgrade uses them.
#include <string>

namespace app {

// True when the proxy entries can be used: both empty or a host without a port (the system's
// Internet settings then apply), or a host with a port that is a whole number from 1 to 65535.
bool proxyEntriesValid(const std::string& host, const std::string& port);

}  // namespace app
