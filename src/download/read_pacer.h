#pragma once
// The size of each read. A read waits until its whole size has arrived (or the data ends), so a
// large read on a slow link would hide the progress for long and look like a stall. A link that
// fills whole chunks quickly gets them; any other reads only what has already arrived, as told by
// asking first (which itself waits for the first byte).
#include <cstdint>

namespace download {

class ReadPacer {
  public:
    // A link bringing at least this many bytes a second gets whole chunks (one in 100 ms).
    static constexpr std::int64_t kFastBytesPerSecond = 10 * 64 * 1024;
    // A whole-chunk read taking longer than this goes back to reading what has arrived.
    static constexpr std::uint32_t kSlowReadMs = 100;
    // The rate is judged over at least this long, or as soon as a whole chunk's worth has
    // arrived faster: the pieces of what has arrived are small (Wine hands out at most 8 KiB at a
    // time), and reading a fast link that way for the whole judging time costs several times the
    // CPU of whole chunks.
    static constexpr std::uint32_t kJudgeMs = 100;
    static constexpr std::int64_t kJudgeBytes = kFastBytesPerSecond * kJudgeMs / 1000;

    explicit ReadPacer(std::uint32_t nowMs) : since_(nowMs) {}

    // True: read a whole chunk at once; false: ask what has arrived and read that.
    bool wholeChunks() const { return wholeChunks_; }

    // After a read of `bytes` that started at `startMs` and ended at `endMs`.
    void afterRead(std::uint32_t bytes, std::uint32_t startMs, std::uint32_t endMs) {
        if (wholeChunks_) {
            if (endMs - startMs > kSlowReadMs)
                restart(false, endMs);
            return;
        }
        bytes_ += bytes;
        const std::uint32_t elapsed = endMs - since_;
        if (elapsed >= kJudgeMs || bytes_ >= kJudgeBytes)
            restart(bytes_ * 1000 >= kFastBytesPerSecond * elapsed, endMs);
    }

  private:
    void restart(bool whole, std::uint32_t nowMs) {
        wholeChunks_ = whole;
        since_ = nowMs;
        bytes_ = 0;
    }
    bool wholeChunks_ = false;
    std::uint32_t since_;
    std::int64_t bytes_ = 0;
};

}  // namespace download
