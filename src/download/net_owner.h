#pragma once
// Owns one WinINet handle of the seam: closes it when the owner goes, or hands it on.
#include <utility>

#include "download/internet_api.h"

namespace download {

class NetOwner {
  public:
    NetOwner() = default;
    NetOwner(InternetApi& net, NetHandle handle) : net_(&net), handle_(handle) {}
    ~NetOwner() { reset(0); }
    NetOwner(NetOwner&& other) noexcept
        : net_(other.net_), handle_(std::exchange(other.handle_, 0)) {}
    NetOwner& operator=(NetOwner&& other) noexcept {
        if (this != &other) {
            reset(0);
            net_ = other.net_;
            handle_ = std::exchange(other.handle_, 0);
        }
        return *this;
    }
    NetOwner(const NetOwner&) = delete;
    NetOwner& operator=(const NetOwner&) = delete;

    NetHandle get() const { return handle_; }
    void reset(NetHandle handle) {
        if (handle_)
            net_->closeHandle(handle_);
        handle_ = handle;
    }

  private:
    InternetApi* net_ = nullptr;
    NetHandle handle_ = 0;
};

}  // namespace download
