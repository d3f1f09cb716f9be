// The progress line of long reads.
#include "frontend/readingProgress.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <utility>

namespace {

// Whether a person is typing at a terminal that also shows standard error.
// Then the Enter that answered the last prompt has put the cursor at the
// start of a line, where a line can be drawn and erased again without a
// trace. A script's input leaves the cursor after the prompt: no line then.
bool personAtTerminal() {
    return isatty(STDIN_FILENO) == 1 && isatty(STDERR_FILENO) == 1;
}

// The size of what is left of `file` from where it stands, or 0 when it
// cannot be told (a pipe).
std::uint64_t sizeLeft(std::streambuf& file) {
    const std::streamoff here = file.pubseekoff(0, std::ios::cur, std::ios::in);
    const std::streamoff end = file.pubseekoff(0, std::ios::end, std::ios::in);
    if (here < 0 || end < 0 || file.pubseekpos(here, std::ios::in) != here || end <= here) {
        return 0;
    }
    return static_cast<std::uint64_t>(end - here);
}

constexpr auto kQuiet = std::chrono::seconds(1);          // before the first line
constexpr auto kRedraw = std::chrono::milliseconds(100);  // between two lines
constexpr const char kEraseLine[] = "\r\x1b[K";

}  // namespace

std::string progressText(const std::string& fileName, std::uint64_t read, std::uint64_t total) {
    const bool giga = (total > read ? total : read) >= 1'000'000'000;
    const double unit = giga ? 1e9 : 1e6;
    char amount[96];
    if (total > 0) {
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
      total_(atTerminal_ ? sizeLeft(file) : 0),
      started_(std::chrono::steady_clock::now()) {}

ReadingProgress::~ReadingProgress() {
    erase();
}

void ReadingProgress::erase() {
    if (shown_) {
        std::cerr << kEraseLine << std::flush;
        shown_ = false;
    }
}

std::streamsize ReadingProgress::xsgetn(char* s, std::streamsize n) {
    const std::streamsize got = file_.sgetn(s, n);
    if (!atTerminal_ || got <= 0) {
        return got;
    }
    read_ += static_cast<std::uint64_t>(got);
    const auto now = std::chrono::steady_clock::now();
    if (now - started_ > kQuiet && (!shown_ || now - drawn_ >= kRedraw)) {
        std::cerr << kEraseLine + progressText(fileName_, read_, total_) << std::flush;
        shown_ = true;
        drawn_ = now;
    }
    return got;
}
