#pragma once
// Case folding of the ASCII letters only, for the protocol texts the program compares (schemes,
// header values): the same result in every locale.

namespace norvik {

constexpr char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace norvik
