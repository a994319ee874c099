#pragma once
// What the user gave the system's credentials dialog for a proxy's login. It serves every later
// request of the same upgrade and lives in memory only: never written anywhere, its bytes
// overwritten when the last holder lets go of it.
#include <cstddef>
#include <string>
#include <utility>

namespace download {

class ProxyCredentials {
  public:
    ProxyCredentials(std::string user, std::string password)
        : user_(std::move(user)), password_(std::move(password)) {}
    ~ProxyCredentials() {
        wipe(user_);
        wipe(password_);
    }
    ProxyCredentials(const ProxyCredentials&) = delete;
    ProxyCredentials& operator=(const ProxyCredentials&) = delete;

    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }

    // Overwrites every byte the string holds, its spare capacity included.
    static void wipe(std::string& text) {
        text.resize(text.capacity());
        volatile char* bytes = text.data();
        for (std::size_t i = 0; i < text.size(); ++i)
            bytes[i] = 0;
        text.clear();
    }

  private:
    std::string user_, password_;
};

}  // namespace download
