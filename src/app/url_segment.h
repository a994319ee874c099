#pragma once
// Putting free text into a URL as exactly one path segment.
#include <string>

namespace app {

// Percent-encodes the UTF-8 bytes of `text` so that it stays one path segment: the unreserved
// characters (letters, digits, "-", ".", "_", "~") are kept, every other byte becomes %XX with
// upper-case hex digits. A space gives "%20", "/" gives "%2F", "%" gives "%25".
std::string percentEncodeSegment(const std::string& text);

// True when `text` cannot name a folder of its own under a parent on the server: empty, "." or
// "..". Servers resolve such segments (also when percent-encoded) to the parent or grandparent.
bool isDotOrEmptySegment(const std::string& text);

}  // namespace app
