#pragma once
// A download kept in memory (a small file such as a package's signature): the call's file
// operations on a bounded buffer instead of a partial file on the disk. Nothing is written.
#include <cstddef>
#include <string>
#include <utility>

#include "common/mutex.h"
#include "download/internet_api.h"

namespace download {

// What a download into memory gave.
struct MemoryDownload {
    // "" when `bytes` holds the whole file; else the download's result (see tooLarge).
    std::string result;
    // The file is longer than the bound it was asked with (the result is then the engine's
    // refusal of the write that would have passed it).
    bool tooLarge = false;
    std::string bytes;
};

// The storage of one download into memory, in place of the file seam: the "partial file" is a
// buffer of at most `maxBytes`, and taking the final name keeps it. Each operation takes the
// sink's own lock: a call that is given up removes its partial file without the call's lock
// when a transfer thread holds that.
class MemorySink : public FileApi {
  public:
    explicit MemorySink(std::size_t maxBytes) : maxBytes_(maxBytes) {}

    Result<FileHandle> create(const std::string&) override {
        norvik::LockGuard guard(lock_);
        partial_.clear();
        return success<FileHandle>(kBuffer);
    }
    Status write(FileHandle, const void* data, std::size_t size) override {
        norvik::LockGuard guard(lock_);
        if (size > maxBytes_ - partial_.size()) {
            tooLarge_ = true;
            return failure(norvik::kErrorFileTooLarge);
        }
        partial_.append(static_cast<const char*>(data), size);
        return success();
    }
    Status truncate(FileHandle, std::int64_t size) override {
        norvik::LockGuard guard(lock_);
        partial_.resize(static_cast<std::size_t>(size));
        return success();
    }
    Status flush(FileHandle) override { return success(); }
    Status close(FileHandle) override { return success(); }
    Status replace(const std::string&, const std::string&) override {
        norvik::LockGuard guard(lock_);
        kept_ = std::exchange(partial_, {});
        return success();
    }
    Status remove(const std::string&) override {
        norvik::LockGuard guard(lock_);
        partial_.clear();
        return success();
    }

    bool tooLarge() {
        norvik::LockGuard guard(lock_);
        return tooLarge_;
    }
    // The whole file once the download has succeeded.
    std::string kept() {
        norvik::LockGuard guard(lock_);
        return kept_;
    }

  private:
    static constexpr FileHandle kBuffer = 1;
    const std::size_t maxBytes_;
    norvik::Mutex lock_;
    std::string partial_;
    bool tooLarge_ = false;
    std::string kept_;
};

}  // namespace download
