// The progress line of long reads.
#include "frontend/readingProgress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string_view>
#include <utility>

std::optional<std::uint64_t> bytesLeft(std::streambuf& in) {
    const std::streamoff here = in.pubseekoff(0, std::ios::cur, std::ios::in);
    const std::streamoff end = in.pubseekoff(0, std::ios::end, std::ios::in);
    if (here < 0 || end < 0 || in.pubseekpos(here, std::ios::in) != here) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(std::max(end - here, std::streamoff{0}));
}

namespace {

// Whether a person is typing at a terminal that also shows standard error.
// Then the Enter that answered the last prompt has put the cursor at the
// start of a line, where a line can be drawn and erased again without a
// trace. A script's input leaves the cursor after the prompt: no line then.
bool personAtTerminal() {
    return isatty(STDIN_FILENO) == 1 && isatty(STDERR_FILENO) == 1;
}

// The width of the terminal on standard error, or 0 when it cannot be told.
std::size_t terminalColumns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) {
        return 0;
    }
    return size.ws_col;
}

// The style of the terminal on standard error, as it is now: its width can
// change between two redraws.
LineStyle currentStyle() {
    LineStyle style;
    if (const std::size_t columns = terminalColumns(); columns > 0) {
        style.columns = columns;
    }
    style.escapes = takesEscapes(std::getenv("TERM"));
    return style;
}

constexpr auto kQuiet = std::chrono::seconds(1);          // before the first line
constexpr auto kRedraw = std::chrono::milliseconds(100);  // between two lines
// Erases from the cursor to the end of the screen: the line, and any rows a
// narrower terminal wrapped it onto.
constexpr const char kEraseBelow[] = "\x1b[J";

}  // namespace

bool takesEscapes(const char* term) {
    // Every terminal in use knows ECMA-48's cursor and erase sequences, but
    // for the one that says it knows nothing. ninja's line printer takes an
    // unset TERM as that one and an empty one as smart; needle takes an
    // empty TERM as unset too, since neither names a terminal.
    return term != nullptr && *term != '\0' && std::string_view(term) != "dumb";
}

// How many columns a line may take: one short of the width, since a line
// that reaches the last column leaves the cursor waiting to wrap on some
// terminals.
static std::size_t columnsForLine(const LineStyle& style) {
    return style.columns > 1 ? style.columns - 1 : 1;
}

// The way back to the first row of a line of `shown` columns, with the
// cursor at its end. A terminal made narrower than the line since it was
// drawn re-wraps it over several rows, as most do, keeping the cursor at its
// end: the rows above the cursor's are the line's too.
static std::string toLineStart(std::size_t shown, const LineStyle& style) {
    const std::size_t rowsAbove = shown > 0 ? (shown - 1) / style.columns : 0;
    return rowsAbove == 0 ? "\r" : "\r\x1b[" + std::to_string(rowsAbove) + "A";
}

std::string redrawnLine(const std::string& text, std::size_t& shown, const LineStyle& style) {
    const std::size_t fits = columnsForLine(style);
    const std::string line = text.substr(0, fits);
    std::string bytes;
    if (style.escapes) {
        bytes = toLineStart(shown, style) + kEraseBelow + line;
    } else {
        bytes = "\r" + line;
        if (shown > line.size()) {
            bytes += std::string(std::min(shown, fits) - line.size(), ' ');
        }
    }
    shown = line.size();
    return bytes;
}

std::string erasedLine(std::size_t shown, const LineStyle& style) {
    if (style.escapes) {
        return toLineStart(shown, style) + kEraseBelow;
    }
    return "\r" + std::string(std::min(shown, columnsForLine(style)), ' ') + "\r";
}

std::string progressText(const std::string& fileName, std::uint64_t read, std::uint64_t total) {
    const bool giga = (total > read ? total : read) >= 1'000'000'000;
    const double unit = giga ? 1e9 : 1e6;
    char amount[96];
    if (total > 0 && read <= total) {
        std::snprintf(amount, sizeof amount, "%.1f of %.1f %s (%d%%)",
                      static_cast<double>(read) / unit, static_cast<double>(total) / unit,
                      giga ? "GB" : "MB", static_cast<int>(read * 100 / total));
    } else {
        std::snprintf(amount, sizeof amount, "%.1f %s", static_cast<double>(read) / unit,
                      giga ? "GB" : "MB");
    }
    return "Reading " + fileName + ": " + amount;
}

ReadingProgress::ReadingProgress(std::string fileName, std::streambuf& file)
    : fileName_(std::move(fileName)),
      file_(file),
      atTerminal_(personAtTerminal()),
      total_(atTerminal_ ? bytesLeft(file).value_or(0) : 0),
      started_(std::chrono::steady_clock::now()) {}

ReadingProgress::~ReadingProgress() {
    erase();
}

void ReadingProgress::erase() {
    if (shown_) {
        // The terminal as it is now, which may be narrower than at the last
        // redraw.
        std::cerr << erasedLine(shownColumns_, currentStyle()) << std::flush;
        shown_ = false;
        shownColumns_ = 0;
    }
}

std::streamsize ReadingProgress::xsgetn(char* s, std::streamsize n) {
    const std::streamsize got = file_.sgetn(s, n);
    if (got > 0) {
        advanceTo(read_ + static_cast<std::uint64_t>(got));
    }
    return got;
}

std::streambuf::pos_type ReadingProgress::seekpos(pos_type at, std::ios_base::openmode which) {
    const pos_type now = file_.pubseekpos(at, which);
    if (now >= 0) {
        read_ = static_cast<std::uint64_t>(static_cast<std::streamoff>(now));
    }
    return now;
}

void ReadingProgress::advanceTo(std::uint64_t read) {
    if (!atTerminal_) {
        return;
    }
    read_ = read;
    const auto now = std::chrono::steady_clock::now();
    if (now - started_ > kQuiet && (!shown_ || now - drawn_ >= kRedraw)) {
        std::cerr << redrawnLine(progressText(fileName_, read_, total_), shownColumns_,
                                 currentStyle())
                  << std::flush;
        shown_ = true;
        drawn_ = now;
    }
}
