// The scanner's driver: reads a file chunk by chunk, lets the chosen kernel
// read each chunk, hands the numbers on, and keeps what is needed to say
// where the reading stopped and which token stopped it.
#include "scan/numberScanner.h"

#include <algorithm>
#include <ios>
#include <memory>
#include <new>

#include "scan/kernel.h"
#include "scan/machine.h"
#include "scan/readAhead.h"
#include "scan/readSizes.h"

namespace scan {

// What a batch's lines are counted from: its chunk and the reader's state
// before it.
struct ChunkOrigin {
    const char* text;
    const char* textEnd;
    ScanState start;
    bool lastChunk;  // the chunk ended the file
};

namespace {

// Slack before and after the chunk, so that the kernels may read a little
// past either end of it without bounds checks.
constexpr std::size_t kFrontPad = 64;
constexpr std::size_t kBackPad = 256;
// What the byte machine reads on, in bytes, where unusual tokens lie close
// together (see readWindows).
constexpr std::size_t kDenseRun = 256;
// The index of token bounds that the load writes for a window.
constexpr std::size_t kBounds = kWindow + 80;

// The chunk's text starts on a cache line: read() copies into an aligned
// buffer about twice as fast as into one 16 bytes off.
constexpr std::align_val_t kTextAlignment{64};
static_assert(kFrontPad % 64 == 0, "the padding keeps the text on a cache line");

struct AlignedDelete {
    void operator()(char* p) const { ::operator delete[](p, kTextAlignment); }
};

// The memory one chunk needs: its text with padding, room for its numbers,
// and the index of token bounds the load's windows write and read back.
struct ChunkBuffers {
    explicit ChunkBuffers(std::size_t bytes)
        // Left uninitialised: only the pages a file reaches are ever touched,
        // and touching a fresh page is costly.
        : size(bytes),
          storage(
              static_cast<char*>(::operator new[](kFrontPad + bytes + kBackPad, kTextAlignment))),
          // At most one number per two bytes, plus one finished at the end.
          values(new std::int32_t[bytes / 2 + 2]),
          bounds(new std::uint16_t[kBounds]) {
        std::fill(storage.get(), text(), ' ');
    }
    char* text() const { return storage.get() + kFrontPad; }

    std::size_t size;
    std::unique_ptr<char[], AlignedDelete> storage;
    std::unique_ptr<std::int32_t[]> values;
    std::unique_ptr<std::uint16_t[]> bounds;
};

// The first bytes of a token, as far as the next white space: enough to show
// it, one byte more to know that it was longer.
struct TokenText {
    char bytes[kTokenShown + 1];
    std::size_t length = 0;

    // Appends [p, end) up to the first white space. Returns true once the
    // token is known: white space ended it, or enough of it is kept.
    bool append(const char* p, const char* end) {
        for (; p < end; ++p) {
            if (length == sizeof bytes || isSpace(static_cast<unsigned char>(*p))) {
                return true;
            }
            bytes[length++] = *p;
        }
        return length == sizeof bytes;
    }
};

// Fills in the bad token that stopped the reading in [text, textEnd): it
// began at state.tokenStart, or before this chunk (then `open` holds its
// first bytes). A token that runs on past the chunk is read on from `in`.
void describeBadToken(ScanEnd& end, const ScanState& state, const TokenText& open, const char* text,
                      const char* textEnd, std::streambuf& in) {
    TokenText token;
    const char* from = state.tokenStart;
    if (from == nullptr) {
        token = open;
        from = text;
    }
    bool known = token.append(from, textEnd);
    char more[kTokenShown + 1];
    while (!known) {
        std::streamsize got = 0;
        try {
            got = in.sgetn(more, static_cast<std::streamsize>(sizeof more - token.length));
        } catch (const std::ios_base::failure&) {
        }
        if (got <= 0) {
            break;  // the end of the file, or unreadable: show what there is
        }
        known = token.append(more, more + got);
    }
    end.tokenCut = token.length > kTokenShown;
    end.token.assign(token.bytes, std::min(token.length, kTokenShown));
}

// Reads the tokens of [p, end), a chunk of a file, appending the numbers
// it converts to `out`: a window of up to `span` bytes at a time by the
// kernel's `window` (which asks for the lines `ahead` of its own, see
// ReadAhead::after), up to the first token that the window cannot take,
// which the byte machine reads, with any that follow it before white space
// ("5-3", "12abc"); then the next window. A window ends at its last white
// space, and the next one starts there; a token longer than a window, or
// open at `end`, goes to the byte machine. A token open at `end` stays open
// in the state, and a bad token stops the reading, with its place in the
// state.
template <typename Window>
void readWindows(ScanState& s, const char* p, const char* end, std::int32_t*& out,
                 std::uint16_t* bounds, Window window, std::size_t span, std::ptrdiff_t ahead) {
    // Has the byte machine read on to the first white space at or past
    // `readOn`, or to `end`; false if it stopped at a bad token.
    const auto machineTo = [&](const char* readOn) {
        do {
            p = runMachine(s, p, end, out);
        } while (p < end && !s.failed && (p < readOn || !isSpace(static_cast<unsigned char>(*p))));
        return !s.failed;
    };
    if (s.phase != ScanState::betweenTokens) {
        // A token open since the chunk before, and the white space byte
        // after it, so that the first window starts after white space, as
        // after a window: the count reads a window right after a token the
        // machine read as one among unusual tokens.
        if (!machineTo(p)) {
            return;
        }
        if (p < end) {
            s.line += *p == '\n';
            ++p;
        }
    }
    while (p < end) {
        std::size_t size = std::min(span, static_cast<std::size_t>(end - p));
        while (size > 0 && !isSpace(static_cast<unsigned char>(p[size - 1]))) {
            --size;
        }
        std::uint64_t newlines = 0;
        const std::size_t stop = window(p, size, out, bounds, ahead, newlines);
        s.line += newlines;
        p += stop;
        if (stop == size && size != 0) {
            continue;  // the next window starts with the token cut by this one's end
        }
        // Where unusual tokens lie close together (the window stopped within
        // its first 16 bytes), a window for each costs more than the machine.
        const std::size_t machineRun = stop < 16 ? kDenseRun : 0;
        if (!machineTo(p + std::min(machineRun, static_cast<std::size_t>(end - p)))) {
            return;
        }
    }
}

// The chunk of this thread's last reading, kept for its next one: a thread
// that reads a file in many pieces, as a load split over threads does,
// would otherwise be given fresh buffers for each piece, and fresh pages
// are costly.
thread_local std::unique_ptr<ChunkBuffers> spareChunk;

// Keeps the reading's chunk as the spare when it ends.
struct KeptChunk {
    std::unique_ptr<ChunkBuffers> chunk;
    ~KeptChunk() {
        if (chunk != nullptr) {
            spareChunk = std::move(chunk);
        }
    }
};

// Reads `in` a chunk at a time, lets `window` read each chunk's tokens in
// windows of up to `span` bytes (see readWindows), reading ahead in `file`,
// and hands the numbers appended to `sink`.
template <typename Window>
ScanEnd readChunks(std::streambuf& in, const NumberSink& sink, Window window, std::size_t span,
                   std::uint64_t firstLine, StreamFile file) {
    KeptChunk kept;
    std::unique_ptr<ChunkBuffers>& chunk = kept.chunk;
    try {
        chunk =
            spareChunk != nullptr ? std::move(spareChunk) : std::make_unique<ChunkBuffers>(kChunk);
    } catch (const std::bad_alloc&) {
        return {ScanStop::outOfMemory, 1, {}, false};
    }
    ReadAhead readAhead(file);
    ScanState state;
    state.line = firstLine;
    TokenText open;  // the first bytes of a token still open at a chunk's end
    while (true) {
        char* const text = chunk->text();
        std::streamsize got = 0;
        try {
            got = in.sgetn(text, static_cast<std::streamsize>(chunk->size));
        } catch (const std::ios_base::failure&) {
            return {ScanStop::readError, state.line, {}, false};
        }
        const char* textEnd = text + got;
        std::fill(text + got, text + got + kBackPad, ' ');
        const std::ptrdiff_t ahead = readAhead.after(text, static_cast<std::size_t>(got));
        const ChunkOrigin origin{text, textEnd, state, got == 0};
        std::int32_t* const values = chunk->values.get();
        state.tokenStart = nullptr;
        std::int32_t* out = values;
        readWindows(state, text, textEnd, out, chunk->bounds.get(), window, span, ahead);
        bool badToken = state.failed;
        if (origin.lastChunk && !badToken) {
            finishAtEnd(state, out);
            badToken = state.failed;  // a lone sign at the very end
        }
        const auto count = static_cast<std::size_t>(out - values);
        if (count != 0) {
            const NumberBatch batch{values, count, &origin};
            const std::size_t stored = sink(batch);
            if (stored < count) {
                return {ScanStop::outOfMemory, batch.lineOf(stored), {}, false};
            }
        }
        if (badToken) {
            ScanEnd end{ScanStop::notANumber, state.tokenLine, {}, false};
            describeBadToken(end, state, open, text, textEnd, in);
            return end;
        }
        if (origin.lastChunk) {
            return {ScanStop::endOfFile, state.line, {}, false};
        }
        if (state.phase != ScanState::betweenTokens) {
            if (state.tokenStart != nullptr) {
                open.length = 0;
                open.append(state.tokenStart, textEnd);
            } else {
                open.append(text, textEnd);  // open since an earlier chunk
            }
        }
    }
}

// The target's canonical text: what std::to_string writes.
CountTarget canonicalText(std::int32_t target) {
    CountTarget canonical{};
    const std::string text = std::to_string(target);
    std::copy(text.begin(), text.end(), canonical.text);
    canonical.length = static_cast<unsigned>(text.size());
    return canonical;
}

}  // namespace

ScanEnd scanNumbers(std::streambuf& in, const NumberSink& sink, const ScanKernel& kernel,
                    std::uint64_t firstLine, StreamFile file) {
    return readChunks(in, sink, kernel.load, kWindow, firstLine, file);
}

void addCount(NumberCount& total, const NumberCount& more) {
    total.numbers += more.numbers;
    total.matches += more.matches;
}

NumberCount countNumbers(std::streambuf& in, std::int32_t target, const ScanKernel& kernel,
                         std::uint64_t firstLine, StreamFile file) {
    const CountTarget canonical = canonicalText(target);
    Tally tally{0, 0};
    // The kernel's windows count the numbers in canonical text themselves;
    // the byte machine appends the others, which are counted here.
    const ScanEnd end = readChunks(
        in,
        [&tally, target](const NumberBatch& batch) {
            tally.numbers += static_cast<std::int64_t>(batch.count);
            tally.matches += std::count(batch.values, batch.values + batch.count, target);
            return batch.count;
        },
        [&](const char* p, std::size_t size, std::int32_t*&, std::uint16_t*, std::ptrdiff_t ahead,
            std::uint64_t& newlines) {
            return kernel.count(p, size, canonical, ahead, tally, newlines);
        },
        kCountWindow, firstLine, file);
    return {tally.numbers, tally.matches, end};
}

std::uint64_t NumberBatch::lineOf(std::size_t index) const {
    ScanState s = origin->start;
    std::int32_t scratch[1];
    const char* p = origin->text;
    for (std::size_t seen = 0;;) {
        std::int32_t* out = scratch;
        p = runMachine(s, p, origin->textEnd, out);
        if (out == scratch && p == origin->textEnd && origin->lastChunk) {
            finishAtEnd(s, out);
        }
        if (out != scratch && seen++ == index) {
            return s.tokenLine;
        }
    }
}

}  // namespace scan
