// A progress line on standard error while a number file takes long to read,
// shown only at a terminal.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <streambuf>
#include <string>

// What is left of `in` from where it stands, in bytes; nothing where it
// cannot be told (a pipe).
std::optional<std::uint64_t> bytesLeft(std::streambuf& in);

// The progress line for `read` bytes of `fileName`, of `total` bytes when the
// size is known (total > 0): "Reading numbers.txt: 3.1 of 9.8 GB (32%)". A
// file that has grown past its size shows only what was read, as a pipe does.
std::string progressText(const std::string& fileName, std::uint64_t read, std::uint64_t total);

// What the terminal that shows the line can take.
struct LineStyle {
    std::size_t columns = 80;  // its width: a longer line would wrap, and leave a row behind
    bool escapes = true;       // whether it knows "cursor up" and "erase below"
};

// Whether a terminal of type `term` (the TERM variable, or null) takes the
// escape sequences that move the cursor up and erase: any but "dumb", and
// an unset or empty TERM.
bool takesEscapes(const char* term);

// The bytes that put `text`, cut to fit the terminal, where a line of
// `shown` columns stood, leaving the cursor at its end; `shown` becomes what
// is shown now. A terminal narrowed since that line was drawn may have
// wrapped it over several rows: with escapes, all of them are erased.
// Without, spaces cover what is left of the old line on its last row.
std::string redrawnLine(const std::string& text, std::size_t& shown, const LineStyle& style);
// The bytes that take a line of `shown` columns away again, leaving the
// cursor at the start of its row.
std::string erasedLine(std::size_t shown, const LineStyle& style);

// Reads a file through stream() and, when standard input and error are a
// terminal and the reading has gone on for more than a second, keeps one line
// there saying how far it got, redrawn at most ten times a second, cut to the
// terminal's width as it is at each redraw. erase() takes it away;
// call it before writing anything else to standard output or error. Piped
// output never sees the line: without a terminal nothing is ever drawn.
class ReadingProgress : private std::streambuf {
  public:
    ReadingProgress(std::string fileName, std::streambuf& file);
    ~ReadingProgress() override;
    ReadingProgress(const ReadingProgress&) = delete;
    ReadingProgress& operator=(const ReadingProgress&) = delete;

    // The file, read through this object.
    std::streambuf& stream() { return *this; }
    // For a file read elsewhere, by several threads at once: `read` bytes of
    // it are read now.
    void advanceTo(std::uint64_t read);
    void erase();

  private:
    // The scanner reads whole chunks, so the clock is looked at once a chunk.
    std::streamsize xsgetn(char* s, std::streamsize n) override;
    // A reading that goes on from another place of a file read from its
    // start: what was read is then all before it.
    pos_type seekpos(pos_type at, std::ios_base::openmode which) override;

    std::string fileName_;
    std::streambuf& file_;
    bool atTerminal_;
    std::uint64_t read_ = 0;
    std::uint64_t total_ = 0;  // 0 when unknown, as for a pipe
    std::chrono::steady_clock::time_point started_, drawn_;
    bool shown_ = false;
    std::size_t shownColumns_ = 0;  // of the line on screen
};
