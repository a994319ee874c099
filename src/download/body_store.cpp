// The body of an attempt: read at the link's pace, stored in the partial file under the call's
// lock, and the complete file checked and put under its final name.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "download/attempt.h"
#include "download/failure_results.h"
#include "download/http_rules.h"

namespace download {

// Under the lock: the file goes on at `offset` when resumed, else starts empty.
std::optional<End> Attempt::prepareFile(bool resumed, std::int64_t offset, std::int64_t total) {
    norvik::LockGuard guard(call_.lock);
    if (!mine())
        return End{Ending::Failed, results::kNetErr};
    if (resumed) {
        if (call_.bytesOnDisk != offset || !call_.file)
            return End{Ending::Restart, results::kNetErr};
    } else if (call_.file) {
        const Status truncated = s_.files.truncate(call_.file, 0);
        if (!truncated.ok())
            return End{Ending::Failed, resultForFileError(truncated.error)};
        call_.bytesOnDisk = 0;
    } else {
        const Result<FileHandle> created = s_.files.create(call_.partialPath);
        if (!created.ok())
            return End{Ending::Failed, resultForFileError(created.error)};
        call_.file = created.value;
        call_.bytesOnDisk = 0;
    }
    a_.total.store(total);
    a_.fileBytes.store(call_.bytesOnDisk);
    return std::nullopt;
}

// One read of what the link brings (see ReadPacer) into `buffer`: `got` bytes, 0 at the end
// of the data; or how the attempt ends. Every byte tells the stall clock that the link lives;
// only the file's own are progress.
std::optional<End> Attempt::readChunk(const NetOwner& request, std::vector<char>& buffer,
                                      std::uint32_t& got, bool ofTheFile) {
    std::uint32_t want = kChunkSize;
    if (!pacer_->wholeChunks()) {
        const Result<std::uint32_t> available = s_.net.queryDataAvailable(request.get());
        if (!available.ok())
            return End{Ending::Cut, results::kNetErr};
        if (available.value > 0 && available.value < kChunkSize)
            want = available.value;
    }
    const std::uint32_t start = s_.clock.nowMs();
    const Result<std::uint32_t> read = s_.net.readFile(request.get(), buffer.data(), want);
    pacer_->afterRead(read.value, start, s_.clock.nowMs());
    if (!read.ok())
        return End{Ending::Cut, results::kNetErr};
    if (read.value > want)
        return End{Ending::Failed, results::kNetErr};
    a_.received.fetch_add(read.value);
    if (ofTheFile)
        a_.fileReceived.fetch_add(read.value);
    got = read.value;
    return std::nullopt;
}

// Reads until a byte decides, the body ends or kPageSniffBytes are in hand.
std::optional<End> Attempt::readHead(const NetOwner& request, Head& head, bool ofTheFile) {
    std::vector<char> buffer(kChunkSize);
    PageSniff sniff;
    while (sniff.undecided(head.bytes) && head.bytes.size() < kPageSniffBytes) {
        std::uint32_t got = 0;
        if (const std::optional<End> failed = readChunk(request, buffer, got, ofTheFile))
            return failed;
        if (got == 0) {
            head.ended = true;
            break;
        }
        head.bytes.append(buffer.data(), got);
    }
    return std::nullopt;
}

// Under the lock: appends received bytes to the partial file.
std::optional<End> Attempt::store(const char* data, std::size_t size, std::int64_t total) {
    if (size == 0)
        return std::nullopt;
    norvik::LockGuard guard(call_.lock);
    if (!mine())
        return End{Ending::Failed, results::kNetErr};
    if (call_.bytesOnDisk + static_cast<std::int64_t>(size) > total)
        return End{Ending::Failed, results::kNetErr};  // more than announced: not the file
    const Status written = s_.files.write(call_.file, data, size);
    if (!written.ok())
        return End{Ending::Failed, resultForFileError(written.error)};
    call_.bytesOnDisk += static_cast<std::int64_t>(size);
    a_.fileBytes.store(call_.bytesOnDisk);
    return std::nullopt;
}

// The rest of the body into the partial file, up to the end of the data; its first `skip`
// bytes are already in the file.
std::optional<End> Attempt::readBody(const NetOwner& request, std::int64_t total,
                                     std::int64_t skip) {
    std::vector<char> buffer(kChunkSize);
    for (;;) {
        std::uint32_t got = 0;
        if (const std::optional<End> failed = readChunk(request, buffer, got, true))
            return failed;
        if (got == 0)
            return std::nullopt;
        const std::uint32_t skipped = static_cast<std::uint32_t>(std::min<std::int64_t>(skip, got));
        skip -= skipped;
        if (const std::optional<End> failed = store(buffer.data() + skipped, got - skipped, total))
            return failed;
    }
}

// The whole file on the disk, checked, then under its final name.
End Attempt::finish(std::int64_t total) {
    {
        norvik::LockGuard guard(call_.lock);
        if (!mine())
            return {Ending::Failed, results::kNetErr};
        if (call_.bytesOnDisk < total)
            return {Ending::Cut, results::kNetErr};  // the connection ended early
        const Status flushed = s_.files.flush(call_.file);
        const Status closed = s_.files.close(std::exchange(call_.file, 0));
        if (!flushed.ok() || !closed.ok())
            return {Ending::Failed,
                    resultForFileError(flushed.ok() ? closed.error : flushed.error)};
        a_.complete.store(true);
    }
    if (call_.accept) {
        const std::string refused = call_.accept(call_.partialPath);
        if (!refused.empty())
            return {Ending::Failed, refused};
    }

    // The lock is held for each try of the rename alone, so that giving up never waits for
    // the pauses between them.
    const std::uint32_t start = s_.clock.nowMs();
    for (;;) {
        Status renamed;
        {
            norvik::LockGuard guard(call_.lock);
            if (!mine()) {
                // Given up while the check held the file, which could not be removed then.
                if (call_.partialLeft.load())
                    s_.files.remove(call_.partialPath);
                return {Ending::Failed, results::kNetErr};
            }
            renamed = s_.files.replace(call_.partialPath, call_.finalPath);
        }
        if (renamed.ok())
            return {Ending::Done, results::kResultOk};
        // A target another program holds open may be let go within moments.
        if (!mayClearSoon(renamed.error) || s_.clock.nowMs() - start >= kRenameRetryMs)
            return {Ending::Failed, resultForFileError(renamed.error)};
        s_.clock.sleepMs(kRenamePauseMs);
    }
}

}  // namespace download
