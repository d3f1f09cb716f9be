// The load of a regular file split over threads.
//
// Pieces are taken in file order, one at a time, by whichever thread is
// free. A thread reads its piece into its own buffer (a few hundred
// kilobytes, still in its cache), then waits for the piece's turn: when
// every piece before it is stored, it knows where its numbers go in the
// list, takes that place and passes the turn on before it copies them
// there. The copying, where the list's new pages are supplied, runs on every
// thread at once; only the bookkeeping of a turn is done one piece at a time.
#include "search/splitLoad.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "scan/splitReading.h"
#include "search/pageSupply.h"
#include "search/sortedList.h"

namespace {

// What a thread found in one piece, before its turn to store it.
struct PieceRead {
    bool whole = false;             // read to its end, every number kept
    std::uint64_t lines = 0;        // its newlines
    std::uint64_t firstLine = 0;    // the line, within the piece, of its first number
    std::uint64_t descentLine = 0;  // of the first number in it smaller than the one before
};

// Reads piece `p`, [starts[p], starts[p + 1]), into `numbers`.
PieceRead readPiece(const scan::SplitFile& file, const std::vector<std::uint64_t>& starts,
                    unsigned p, const scan::ScanKernel& kernel, scan::SplitShared& shared,
                    std::vector<std::int32_t>& numbers) noexcept {
    PieceRead read;
    numbers.clear();
    try {
        scan::RangeBuf range(file.fd, starts[p], starts[p + 1], false, p, shared);
        const scan::ScanEnd end = scan::scanNumbers(
            range,
            [&numbers, &read](const scan::NumberBatch& batch) {
                const std::size_t before = numbers.size();
                numbers.insert(numbers.end(), batch.values, batch.values + batch.count);
                if (before == 0 && batch.count > 0) {
                    read.firstLine = batch.lineOf(0);
                }
                if (read.descentLine == 0 && batch.count > 0) {
                    const std::int32_t* batchStart = numbers.data() + before;
                    const std::int32_t* stop = numbers.data() + numbers.size();
                    const std::int32_t* descent =
                        firstDescent(before == 0 ? batchStart : batchStart - 1, stop);
                    if (descent != stop) {
                        read.descentLine =
                            batch.lineOf(static_cast<std::size_t>(descent - batchStart));
                    }
                }
                return batch.count;
            },
            kernel);
        read.whole = end.stop == scan::ScanStop::endOfFile && !range.shortened();
        read.lines = end.line - 1;
    } catch (...) {
        // Memory ran out: the one-thread load reads this piece again.
    }
    return read;
}

// The pieces' turns to be stored, and what those stored add up to.
struct Turns {
    std::mutex lock;
    std::condition_variable passed;
    unsigned turn = 0;      // the piece whose turn it is
    bool stopped = false;   // a piece was not stored whole: none after it is
    std::int32_t last = 0;  // the last number stored, when there is one
    SplitLoadEnd end;
};

}  // namespace

SplitLoadEnd loadPieces(const scan::SplitFile& file, std::int32_t* room, std::size_t roomSize,
                        const scan::ScanKernel& kernel) {
    const std::uint64_t parts = std::max<std::uint64_t>(file.size / file.pieceSize, 1);
    const std::vector<std::uint64_t> starts = scan::rangeStarts(
        file.fd, file.size, static_cast<unsigned>(std::min<std::uint64_t>(parts, 1u << 30)));
    const auto pieces = static_cast<unsigned>(starts.size() - 1);  // the last is read on one thread
    scan::SplitShared shared(pieces);
    std::atomic<unsigned> nextPiece{0};
    Turns turns;
    const auto loadSomePieces = [&](unsigned) noexcept {
        std::vector<std::int32_t> numbers;
        for (unsigned p = nextPiece++; p < pieces; p = nextPiece++) {
            const PieceRead read = readPiece(file, starts, p, kernel, shared, numbers);
            std::unique_lock<std::mutex> hold(turns.lock);
            turns.passed.wait(hold, [&] { return turns.turn == p; });
            SplitLoadEnd& end = turns.end;
            const bool store =
                !turns.stopped && read.whole && numbers.size() <= roomSize - end.stored;
            const std::size_t at = end.stored;
            if (store) {
                if (end.descentLine == 0 && at > 0 && !numbers.empty() && numbers[0] < turns.last) {
                    end.descentLine = end.linesBefore + read.firstLine;
                } else if (end.descentLine == 0 && read.descentLine != 0) {
                    end.descentLine = end.linesBefore + read.descentLine;
                }
                end.stored += numbers.size();
                end.linesBefore += read.lines;
                end.resumeAt = starts[p + 1];
                turns.last = numbers.empty() ? turns.last : numbers.back();
            } else if (!turns.stopped) {
                turns.stopped = true;
                shared.stopAt(p);  // the pieces after it end early
            }
            ++turns.turn;
            turns.passed.notify_all();
            hold.unlock();
            if (store) {
                supplyPagesNow(room + at, numbers.size() * sizeof(std::int32_t));
                std::copy(numbers.begin(), numbers.end(), room + at);
            }
        }
    };
    scan::runOnThreads(std::min(file.threads, std::max(pieces, 1u)), loadSomePieces,
                       file.whileWaiting, shared.bytesRead);
    turns.end.pieces = pieces;
    return turns.end;
}
