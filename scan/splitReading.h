// The split reading: one regular file read by several threads at once, in
// pieces taken in file order and joined in file order. This is the split
// engine's one public header; the count and the load are built on it.
//
// The file is cut into pieces of SplitFile::pieceSize bytes. Each piece
// settles its own ends from the bytes it reads itself: it starts just after
// the first white space at or after its nominal start, and reads on to the
// first white space at or after its nominal end, that byte included. There
// the one-thread reader is between tokens too, so each piece reads as the
// whole file would there; only its line numbers start again at 1. At its
// turn a piece joins what the pieces before it made, if it was read whole
// and starts where the piece before it ended (the bytes at the seam did not
// change between the two readings). The first piece that cannot join (a
// stop, a read error, a file that shrank, memory, a seam that changed) ends
// the split reading, and the one-thread reading goes on through the stream
// from that piece's start; the last piece is always read that way, to the
// file's end as it is then. So every stop, its line and token, and a file
// that grew are the one-thread reading's by construction.
//
// The pieces are read at once, not in file order: a piece can read its bytes
// before a change that the piece before it reads after. So once they are
// read, the caller says whether the file changed since before the first was
// (SplitFile::unchanged); where it did, what they read is thrown away and
// the stream reads the whole file. Every answer is then one that a reading
// in file order could give.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <streambuf>
#include <vector>

#include "scan/numberScanner.h"

namespace scan {

// A regular file that several threads read at once.
struct SplitFile {
    // Open on the file; read with pread, never moved nor closed here. The
    // reading through the stream reads ahead in it (see scan/readAhead.h).
    int fd = -1;
    std::uint64_t size = 0;  // its size when the search began, which is cut into pieces
    unsigned threads = 1;    // the most threads; with one, the stream reads the whole file
    // The load's: a thread keeps a piece's numbers in its cache until the
    // piece's turn (pieces of 1 MiB made a load 10% slower, of 2 MiB 25%).
    // The count's are larger (countPieceSize).
    std::uint64_t pieceSize = std::uint64_t{256} << 10;
    // Called on the calling thread about ten times a second while the
    // threads read, with the bytes that all of them have read so far.
    std::function<void(std::uint64_t)> whileWaiting;
    // Called once the pieces are read: whether the file is as it was before
    // any was read. None: taken as unchanged.
    std::function<bool()> unchanged;
    // For tests: how many of the threads, the first ones, fail to start, as
    // where the system has no thread to give.
    unsigned refusedThreads = 0;
};

// What a split reading does with the pieces: how a piece is read, how it
// joins at its turn, and what is done with it once joined. Each thread has
// slotsPerThread() slots of the work's, numbered from thread * slotsPerThread(),
// and reads each of its pieces into a free one; it places its pieces that
// have joined before it takes another, and waits while none is free.
class PieceWork {
  public:
    virtual ~PieceWork() = default;
    // How many pieces a thread holds at once: one where it must place its
    // piece before it goes on, two where it may read the next one meanwhile.
    virtual unsigned slotsPerThread() const = 0;
    // Before the threads start: room for `count` slots.
    virtual void makeSlots(unsigned count) = 0;
    // On a thread: reads piece `index` (counted in file order from 0) from
    // `piece` into `slot`, as the one-thread reading reads those bytes, its
    // lines counted from 1 at the piece's start. A throw counts as memory
    // run out.
    virtual ScanEnd read(std::streambuf& piece, std::uint64_t index, unsigned slot) = 0;
    // At the piece's turn, one piece at a time, in file order, for a piece
    // read whole: whether it joins; `linesBefore` are the newlines before it.
    virtual bool join(unsigned slot, std::uint64_t linesBefore) = 0;
    // On the thread that read it, once it has joined, alongside the other
    // threads: the load copies its numbers into their place.
    virtual void place(unsigned /*slot*/) {}
    // Once the threads have ended, before the rest is read through the
    // stream; without `keep`, what the pieces joined is thrown away, and the
    // stream reads the file from its start.
    virtual void finish(bool keep) = 0;
};

// Reads `in`, open on the regular `file` and at its start, with `work`:
// the pieces but the last on file.threads threads, then the rest through
// `in` with `readRest`, given the line it starts on and the file's byte
// where `in` is set (the byte after the last piece joined). Returns
// readRest's end.
ScanEnd readSplit(
    std::streambuf& in, const SplitFile& file, PieceWork& work,
    const std::function<ScanEnd(std::streambuf&, std::uint64_t line, std::uint64_t at)>& readRest);

// The size of a count's pieces, for a file of `size` bytes read by up to
// `threads` threads: larger than the load's, as a count keeps nothing of a
// piece but its tally, and each piece costs a few microseconds to start and
// settle; at most 2 MiB, as larger ones gained no more, and no larger than a
// sixteenth of a thread's share, so that the threads end close together and
// the last piece, which one thread reads on its own, stays small. A multiple
// of the scanner's chunk, from the load's 256 KiB up.
std::uint64_t countPieceSize(std::uint64_t size, unsigned threads);

// The count's work: each piece counted by countNumbers, the tallies added
// at each piece's turn.
class CountWork : public PieceWork {
  public:
    explicit CountWork(std::int32_t target, const ScanKernel& kernel = bestKernel())
        : target_(target), kernel_(kernel) {}

    // A piece's tally waits for its turn while its thread reads the next.
    unsigned slotsPerThread() const override { return 2; }
    void makeSlots(unsigned count) override { tallies_.assign(count, {}); }
    ScanEnd read(std::streambuf& piece, std::uint64_t index, unsigned slot) override;
    bool join(unsigned slot, std::uint64_t linesBefore) override;
    void finish(bool keep) override { total_ = keep ? total_ : NumberCount{}; }

    // Counts as countNumbers(in, ...) does, reading `in`, open on the
    // regular `file` and at its start, split over file.threads threads. A
    // file that shrank ends where a piece first finds its end.
    NumberCount countAll(std::streambuf& in, const SplitFile& file);

  private:
    std::int32_t target_;
    const ScanKernel& kernel_;
    std::vector<NumberCount> tallies_;
    NumberCount total_;
};

}  // namespace scan
