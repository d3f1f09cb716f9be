// The split reading: the pieces, the threads that read them, and the turns
// at which they join in file order.
//
// Pieces are taken in file order by whichever thread has a free slot. A
// thread reads its piece into a slot of its own, then hands it in: under one
// lock, each piece at the turn whose predecessors have all been handed in
// joins, by whichever thread handed in the last of them, so that no thread
// waits for another to join. A thread places its pieces that have joined
// (the load copies their numbers into the list, outside the lock, alongside
// the other threads) before it takes another, and waits while all its slots
// are busy. So the pieces read and not yet joined are at most the slots,
// and a stop is never read far past; the work's memory is a few pieces'
// results a thread, whatever the file's size.
#include "scan/splitReading.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ios>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "scan/machine.h"

namespace scan {
namespace {

// pread, again when a signal interrupts it; throws where the read fails.
std::size_t readAt(int fd, char* to, std::size_t n, std::uint64_t at) {
    ssize_t got;
    do {
        got = ::pread(fd, to, n, static_cast<off_t>(at));
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        throw std::ios_base::failure("read error");
    }
    return static_cast<std::size_t>(got);
}

// How far past a piece's nominal end its end, or its start, is looked for: a
// token that long is a bad one, or zeros before a number, which the reading
// through the stream takes over.
constexpr std::uint64_t kSettleSearch = 64 * 1024;
// What is read past a piece's nominal end at a time while its end is looked
// for: a token and its white space, mostly.
constexpr std::uint64_t kLookPast = 64;

// What the pieces share: the first piece known not to join, after which
// none joins, and how much all of them have read.
struct PieceShared {
    std::atomic<std::uint64_t> firstStopped{UINT64_MAX};
    std::atomic<std::uint64_t> bytesRead{0};

    void stopAt(std::uint64_t piece) {
        std::uint64_t first = firstStopped.load();
        while (piece < first && !firstStopped.compare_exchange_weak(first, piece)) {
        }
    }
};

bool isSpaceByte(char c) {
    return isSpace(static_cast<unsigned char>(c));
}

// One piece of the file as a stream, its ends settled from its own bytes:
// from just after the first white space at or after `nominalStart` (the
// file's start for the first piece) through the first white space at or
// after `nominalEnd`. The bytes before its start, that white space
// included, are read with the rest and given as blanks, which the scanner
// skips: they cost no read of their own, and hold no line. It ends early
// once a piece before it is known not to join, since what it reads after
// that is thrown away.
class PieceBuf : public std::streambuf {
  public:
    PieceBuf(int fd, std::uint64_t nominalStart, std::uint64_t nominalEnd, std::uint64_t index,
             PieceShared& shared)
        : fd_(fd),
          at_(nominalStart),
          started_(nominalStart == 0),
          nominalEnd_(nominalEnd),
          index_(index),
          shared_(shared) {}

    // Whether both ends were found, within the file and near the nominal ones.
    bool settled() const { return ended_; }
    std::uint64_t start() const { return start_; }
    std::uint64_t end() const { return at_; }

  protected:
    std::streamsize xsgetn(char* s, std::streamsize n) override {
        if (ended_ || at_ >= nominalEnd_ + kSettleSearch ||
            shared_.firstStopped.load(std::memory_order_relaxed) < index_) {
            return 0;
        }
        // Up to the nominal end and a little past it, where the end is looked for.
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(
            static_cast<std::size_t>(n), std::max(nominalEnd_, at_) - at_ + kLookPast));
        const std::size_t got = readAt(fd_, s, want, at_);
        // The end is the first white space at or after the nominal end and
        // at or after the one before the start: a piece that starts past its
        // nominal end ends there too, and holds nothing.
        std::size_t endFrom = nominalEnd_ > at_ ? static_cast<std::size_t>(nominalEnd_ - at_) : 0;
        if (!started_) {
            const auto before = static_cast<std::size_t>(std::find_if(s, s + got, isSpaceByte) - s);
            std::fill(s, s + std::min(before + 1, got), ' ');
            started_ = before < got;
            start_ = at_ + before + 1;
            endFrom = std::max(endFrom, before);
        }
        const auto end = static_cast<std::size_t>(
            std::find_if(s + std::min(endFrom, got), s + got, isSpaceByte) - s);
        ended_ = started_ && end < got;
        const std::size_t kept = ended_ ? end + 1 : got;
        at_ += kept;
        shared_.bytesRead.fetch_add(kept, std::memory_order_relaxed);
        return static_cast<std::streamsize>(kept);
    }

  private:
    int fd_;
    std::uint64_t at_;  // the next byte to read
    bool started_;
    std::uint64_t start_ = 0;
    std::uint64_t nominalEnd_;
    std::uint64_t index_;
    PieceShared& shared_;
    bool ended_ = false;
};

// What a thread found of its piece, handed in at its turn.
struct PieceEnds {
    bool whole = false;  // read to its settled end with nothing stopping it
    std::uint64_t start = 0, end = 0;
    std::uint64_t lines = 0;  // its newlines
};

// The pieces' slots and turns, and what the pieces joined add up to.
class Turns {
  public:
    Turns(const SplitFile& file, PieceWork& work, std::uint64_t pieces, unsigned threads)
        : file_(file),
          work_(work),
          pieces_(pieces),
          perThread_(work.slotsPerThread()),
          slots_(std::size_t{threads} * perThread_) {
        work.makeSlots(static_cast<unsigned>(slots_.size()));
    }

    // Takes pieces on every thread and returns once all have ended;
    // meanwhile calls whileWaiting, when given, about ten times a second with
    // the bytes read. A thread that cannot be started (or, for tests, is
    // refused) has its slots used by the calling thread, after the others.
    void run(const std::function<void(std::uint64_t)>& whileWaiting) {
        const auto count = static_cast<unsigned>(slots_.size() / perThread_);
        std::vector<std::thread> threads;
        // Room first: a vector that failed to grow with threads running
        // would end the program.
        threads.reserve(count);
        for (unsigned t = 0; t < count; ++t) {
            try {
                if (t < file_.refusedThreads) {
                    throw std::system_error(
                        std::make_error_code(std::errc::resource_unavailable_try_again));
                }
                const auto part = static_cast<unsigned>(threads.size());
                threads.emplace_back([this, part] { takePieces(part); });
            } catch (const std::system_error&) {
                // No thread to be had: its part is taken here, after the others.
            }
        }
        std::unique_lock<std::mutex> hold(lock_);
        while (ended_ < threads.size()) {
            allEnded_.wait_for(hold, std::chrono::milliseconds(100));
            if (whileWaiting) {
                hold.unlock();
                whileWaiting(shared.bytesRead.load());
                hold.lock();
            }
        }
        hold.unlock();
        for (std::thread& thread : threads) {
            thread.join();
        }
        for (auto part = static_cast<unsigned>(threads.size()); part < count; ++part) {
            takePieces(part);
        }
    }

    PieceShared shared;
    std::uint64_t resumeAt = 0;     // the byte after the last piece joined
    std::uint64_t linesBefore = 0;  // the newlines before it

  private:
    enum State { free, reading, handedIn, joinedToPlace };
    struct Slot {
        State state = free;
        std::uint64_t piece = 0;
        PieceEnds ends;
    };

    // Thread `thread`'s part: places its pieces that have joined, takes the
    // next piece into a free slot of its own, and ends once no piece is left
    // that could join and none of its own waits for its turn.
    void takePieces(unsigned thread) noexcept {
        const unsigned first = thread * perThread_, last = first + perThread_;
        std::unique_lock<std::mutex> hold(lock_);
        while (true) {
            unsigned freeSlot = last, toPlace = last;
            bool waiting = false;
            for (unsigned i = first; i < last; ++i) {
                freeSlot = slots_[i].state == free ? i : freeSlot;
                toPlace = slots_[i].state == joinedToPlace ? i : toPlace;
                waiting |= slots_[i].state == handedIn;
            }
            if (toPlace != last) {
                hold.unlock();
                work_.place(toPlace);
                hold.lock();
                slots_[toPlace].state = free;
            } else if (over() && !waiting) {
                ++ended_;
                allEnded_.notify_one();
                return;
            } else if (freeSlot == last || over()) {
                changed_.wait(hold);
            } else {
                Slot& slot = slots_[freeSlot];
                slot.piece = next_++;
                slot.state = reading;
                hold.unlock();
                const PieceEnds ends = readPiece(slot.piece, freeSlot);
                hold.lock();
                slot.ends = ends;
                slot.state = handedIn;
                joinWhatIsReady();
                changed_.notify_all();
            }
        }
    }

    // No piece left to take that could join.
    bool over() const { return next_ >= pieces_ || shared.firstStopped.load() < next_; }

    PieceEnds readPiece(std::uint64_t piece, unsigned slot) noexcept {
        PieceEnds ends;
        try {
            PieceBuf in(file_.fd, piece * file_.pieceSize, (piece + 1) * file_.pieceSize, piece,
                        shared);
            const ScanEnd end = work_.read(in, piece, slot);
            ends = {end.stop == ScanStop::endOfFile && in.settled(), in.start(), in.end(),
                    end.line - 1};
        } catch (...) {
            // Memory ran out, or a read failed: the stream reads it again.
        }
        if (!ends.whole) {
            shared.stopAt(piece);  // the pieces after it end early
        }
        return ends;
    }

    // Joins, in file order, every piece at the turn that has been handed in.
    // Once one does not join, none after it does: their slots are freed.
    void joinWhatIsReady() {
        while (turn_ < pieces_) {
            const auto at = std::find_if(slots_.begin(), slots_.end(), [this](const Slot& slot) {
                return slot.state == handedIn && slot.piece == turn_;
            });
            if (at == slots_.end()) {
                return;
            }
            const auto slot = static_cast<unsigned>(at - slots_.begin());
            const bool joins = shared.firstStopped.load() >= turn_ && at->ends.whole &&
                               at->ends.start == resumeAt && work_.join(slot, linesBefore);
            if (joins) {
                linesBefore += at->ends.lines;
                resumeAt = at->ends.end;
            } else {
                shared.stopAt(turn_);
            }
            at->state = joins ? joinedToPlace : free;
            ++turn_;
        }
    }

    const SplitFile& file_;
    PieceWork& work_;
    const std::uint64_t pieces_;
    const unsigned perThread_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::condition_variable allEnded_;
    std::size_t ended_ = 0;  // threads whose part is over
    std::vector<Slot> slots_;
    std::uint64_t next_ = 0;  // the next piece to take
    std::uint64_t turn_ = 0;  // the next piece to join
};

}  // namespace

ScanEnd readSplit(
    std::streambuf& in, const SplitFile& file, PieceWork& work,
    const std::function<ScanEnd(std::streambuf&, std::uint64_t line, std::uint64_t at)>& readRest) {
    if (file.fd < 0 || file.threads < 2 || file.pieceSize == 0) {
        return readRest(in, 1, 0);
    }
    // Every piece but the last, which holds the file's end as it is then.
    const std::uint64_t pieces = file.size <= file.pieceSize ? 0 : (file.size - 1) / file.pieceSize;
    const auto threads = static_cast<unsigned>(std::min<std::uint64_t>(file.threads, pieces));
    Turns turns(file, work, pieces, threads);
    turns.run(file.whileWaiting);
    const bool keep = !file.unchanged || file.unchanged();
    if (!keep) {
        turns.resumeAt = turns.linesBefore = 0;
    }
    work.finish(keep);
    if (in.pubseekpos(static_cast<std::streamoff>(turns.resumeAt), std::ios::in) < 0) {
        return {ScanStop::readError, turns.linesBefore + 1, {}, false};
    }
    return readRest(in, turns.linesBefore + 1, turns.resumeAt);
}

}  // namespace scan
