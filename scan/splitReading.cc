// The split reading: the pieces, the threads that read them, and the turns
// at which they join in file order.
//
// Pieces are taken in file order by whichever thread is free. A thread reads
// its piece into a slot of the work's, then hands it in: under one lock, each
// piece at the turn whose predecessors have all been handed in joins, by
// whichever thread handed in the last of them, so a thread that only adds
// (the count) never waits for another. Work that places its numbers (the
// load) has the thread that read a piece wait for the piece's turn, then
// place it outside the lock, alongside the others. A slot is taken again
// only once its piece is over, so a thread that runs ahead is held within
// a few pieces of the turn, and a stop is never read far past; the work's
// memory is a few pieces' results, whatever the file's size.
#include "scan/splitReading.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ios>
#include <mutex>
#include <new>
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

// What the pieces share: the first piece known not to join, and how much
// all of them have read.
struct PieceShared {
    std::atomic<std::uint64_t> firstStopped{UINT64_MAX};
    std::atomic<std::uint64_t> bytesRead{0};

    void stopAt(std::uint64_t piece) {
        std::uint64_t first = firstStopped.load();
        while (piece < first && !firstStopped.compare_exchange_weak(first, piece)) {
        }
    }
};

// One piece of the file as a stream, its ends settled from its own bytes:
// from just after the first white space at or after `nominalStart` (the
// file's start for the first piece) through the first white space at or
// after `nominalEnd`. The bytes before its start, that white space
// included, are read from the file with the rest and given as blanks, which
// the scanner skips: no read of their own, and no line. It ends early once a
// piece before it is known not to join, since what it reads after that is
// thrown away.
class PieceBuf : public std::streambuf {
  public:
    PieceBuf(int fd, std::uint64_t nominalStart, std::uint64_t nominalEnd, std::uint64_t index,
             PieceShared& shared)
        : fd_(fd),
          at_(nominalStart),
          start_(nominalStart == 0 ? 0 : UINT64_MAX),
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
        std::size_t kept = got;
        std::uint64_t k = nominalEnd_ > at_ ? nominalEnd_ - at_ : 0;
        if (start_ == UINT64_MAX) {
            const auto blanks = static_cast<std::size_t>(std::find_if(s, s + got, isSpaceByte) - s);
            std::fill(s, s + std::min(blanks + 1, got), ' ');
            // The end lies past the blanks: past this read, while the start is to come.
            k = std::max<std::uint64_t>(k, blanks);
            if (blanks < got) {
                start_ = at_ + blanks + 1;
                // A start past the nominal end is the end too: the piece is empty.
                ended_ = start_ > nominalEnd_;
                kept = ended_ ? blanks + 1 : got;
            }
        }
        for (; k < got && !ended_; ++k) {
            ended_ = isSpaceByte(s[k]);
            kept = ended_ ? static_cast<std::size_t>(k) + 1 : got;
        }
        at_ += kept;
        shared_.bytesRead.fetch_add(kept, std::memory_order_relaxed);
        return static_cast<std::streamsize>(kept);
    }

  private:
    static bool isSpaceByte(char c) { return isSpace(static_cast<unsigned char>(c)); }

    int fd_;
    std::uint64_t at_;     // the next byte to read
    std::uint64_t start_;  // UINT64_MAX until found
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
    Turns(const SplitFile& file, PieceWork& work, std::uint64_t pieces, unsigned slots)
        : file_(file), work_(work), pieces_(pieces), slots_(slots) {}

    // Takes pieces on `count` threads and returns once all have ended;
    // meanwhile calls whileWaiting, when given, about ten times a second with
    // the bytes read. A thread that cannot be started (or, for tests, is
    // refused) takes its pieces on the calling thread, after the others.
    void run(unsigned count, unsigned refused,
             const std::function<void(std::uint64_t)>& whileWaiting) {
        std::vector<std::thread> threads;
        // Room first: a vector that failed to grow with threads running
        // would end the program.
        threads.reserve(count);
        for (unsigned i = 0; i < count; ++i) {
            try {
                if (i < refused) {
                    throw std::system_error(
                        std::make_error_code(std::errc::resource_unavailable_try_again));
                }
                threads.emplace_back([this] { takePieces(); });
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
        started = static_cast<unsigned>(threads.size());
        for (std::thread& thread : threads) {
            thread.join();
        }
        for (std::size_t i = threads.size(); i < count; ++i) {
            takePieces();
        }
    }

    PieceShared shared;
    unsigned started = 0;           // threads started
    std::uint64_t resumeAt = 0;     // the byte after the last piece joined
    std::uint64_t linesBefore = 0;  // the newlines before it
    std::uint64_t joined = 0;

  private:
    enum State { free, reading, handedIn, joinedToPlace };
    struct Slot {
        State state = free;
        PieceEnds ends;
    };

    // A thread's part: takes pieces until none is left or one did not join.
    void takePieces() noexcept {
        std::unique_lock<std::mutex> hold(lock_);
        while (true) {
            changed_.wait(hold, [&] { return over() || slots_[slotOf(next_)].state == free; });
            if (over()) {
                ++ended_;
                allEnded_.notify_one();
                return;
            }
            const std::uint64_t piece = next_++;
            Slot& slot = slots_[slotOf(piece)];
            slot.state = reading;
            hold.unlock();
            const PieceEnds ends = readPiece(piece);
            hold.lock();
            slot.ends = ends;
            slot.state = handedIn;
            joinWhatIsReady();
            changed_.notify_all();
            if (work_.places()) {
                changed_.wait(hold, [&] { return slot.state != handedIn; });
                if (slot.state == joinedToPlace) {
                    hold.unlock();
                    work_.place(slotOf(piece));
                    hold.lock();
                    slot.state = free;
                    changed_.notify_all();
                }
            }
        }
    }

    unsigned slotOf(std::uint64_t piece) const {
        return static_cast<unsigned>(piece % slots_.size());
    }
    // No piece left to take that could join.
    bool over() const { return stopped_ || next_ >= pieces_ || shared.firstStopped.load() < next_; }

    PieceEnds readPiece(std::uint64_t piece) noexcept {
        PieceEnds ends;
        try {
            const std::uint64_t size = std::max<std::uint64_t>(file_.pieceSize, 1);
            PieceBuf in(file_.fd, piece * size, (piece + 1) * size, piece, shared);
            if (piece == file_.outOfMemoryPiece) {
                throw std::bad_alloc();
            }
            const ScanEnd end = work_.read(in, piece, slotOf(piece));
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
    void joinWhatIsReady() {
        for (; turn_ < pieces_ && slots_[slotOf(turn_)].state == handedIn; ++turn_) {
            Slot& slot = slots_[slotOf(turn_)];
            const bool joins = !stopped_ && slot.ends.whole && slot.ends.start == resumeAt &&
                               work_.join(slotOf(turn_), linesBefore);
            if (joins) {
                linesBefore += slot.ends.lines;
                resumeAt = slot.ends.end;
                ++joined;
            } else if (!stopped_) {
                stopped_ = true;
                shared.stopAt(turn_);
            }
            slot.state = joins && work_.places() ? joinedToPlace : free;
        }
    }

    const SplitFile& file_;
    PieceWork& work_;
    const std::uint64_t pieces_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::condition_variable allEnded_;
    std::size_t ended_ = 0;  // threads whose part is over
    std::vector<Slot> slots_;
    std::uint64_t next_ = 0;  // the next piece to take
    std::uint64_t turn_ = 0;  // the next piece to join
    bool stopped_ = false;    // a piece did not join: none after it does
};

}  // namespace

ScanEnd readSplit(std::streambuf& in, const SplitFile& file, PieceWork& work,
                  const std::function<ScanEnd(std::streambuf&, std::uint64_t)>& readRest) {
    if (file.fd < 0) {
        return readRest(in, 0);
    }
    const std::uint64_t size = std::max<std::uint64_t>(file.pieceSize, 1);
    // Every piece but the last, which holds the file's end as it is then.
    const std::uint64_t pieces = file.size <= size ? 0 : (file.size - 1) / size;
    const auto threads =
        static_cast<unsigned>(std::min<std::uint64_t>(std::max(file.threads, 1u), pieces));
    // Work that places holds a piece until it is placed, one a thread; work
    // that does not goes on to its next piece meanwhile, so each thread has
    // one more handed in, waiting for its turn.
    const unsigned slots = (work.places() ? 1 : 2) * std::max(threads, 1u);
    work.makeSlots(slots);
    Turns turns(file, work, pieces, slots);
    turns.run(threads, file.refusedThreads, file.whileWaiting);
    const bool keep = !file.unchanged || file.unchanged();
    if (!keep) {
        turns.resumeAt = turns.linesBefore = turns.joined = 0;
    }
    work.finish(keep);
    if (file.report != nullptr) {
        *file.report = {static_cast<unsigned>(pieces),       turns.started,
                        static_cast<unsigned>(turns.joined), turns.resumeAt,
                        turns.shared.bytesRead.load(),       !keep};
    }
    if (in.pubseekpos(static_cast<std::streamoff>(turns.resumeAt), std::ios::in) < 0) {
        return {ScanStop::readError, turns.linesBefore + 1, {}, false};
    }
    ScanEnd end = readRest(in, turns.linesBefore);
    end.line += turns.linesBefore;
    return end;
}

}  // namespace scan
