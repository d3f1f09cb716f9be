// The progress line: its text, amounts in MB or GB with the share when the size is
// known, and how it is drawn and erased at terminals of every width and kind.
#include "frontend/readingProgress.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ProgressText, ShowsTheShareWhenTheSizeIsKnown) {
    EXPECT_EQ(progressText("numbers.txt", 3'100'000'000, 9'800'000'000),
              "Reading numbers.txt: 3.1 of 9.8 GB (31%)");
    EXPECT_EQ(progressText("sortedNumbers.txt", 250'000'000, 980'000'000),
              "Reading sortedNumbers.txt: 250.0 of 980.0 MB (25%)");
    EXPECT_EQ(progressText("numbers.txt", 980'000'000, 1'200'000'000),
              "Reading numbers.txt: 1.0 of 1.2 GB (81%)");
}

TEST(ProgressText, ShowsOnlyTheAmountOfAPipe) {
    EXPECT_EQ(progressText("numbers.txt", 2'100'000, 0), "Reading numbers.txt: 2.1 MB");
    EXPECT_EQ(progressText("numbers.txt", 12'340'000'000, 0), "Reading numbers.txt: 12.3 GB");
}

TEST(ProgressText, NeverShowsMoreThanTheWholeOfAGrowingFile) {
    EXPECT_EQ(progressText("numbers.txt", 2'000'000'000, 2'000'000'000),
              "Reading numbers.txt: 2.0 of 2.0 GB (100%)");
    EXPECT_EQ(progressText("numbers.txt", 3'100'000'000, 2'000'000'000),
              "Reading numbers.txt: 3.1 GB");
}

TEST(TakesEscapes, OnlyKnownTerminalTypes) {
    for (const char* term : {"xterm", "xterm-256color", "screen.xterm", "screen-256color", "tmux",
                             "linux", "vt100", "rxvt-unicode", "alacritty", "st-256color"}) {
        EXPECT_EQ(takesEscapes(term), std::string(term) != "screen.xterm") << term;
    }
    for (const char* term : {"", "dumb", "unknown", "emacs", "stx", "xtermx"}) {
        EXPECT_FALSE(takesEscapes(term)) << term;
    }
    EXPECT_FALSE(takesEscapes(nullptr));
}

TEST(ProgressLine, IsCutOneColumnShortOfTheTerminal) {
    std::size_t shown = 0;
    const LineStyle narrow{30, true};
    EXPECT_EQ(redrawnLine("Reading numbers.txt: 1.7 of 2.0 GB (84%)", shown, narrow),
              "\r\x1b[KReading numbers.txt: 1.7 of 2");
    EXPECT_EQ(shown, 29u);
    EXPECT_EQ(erasedLine(shown, narrow), "\r\x1b[K");
}

TEST(ProgressLine, WithoutEscapesCoversTheOldLineWithSpaces) {
    const LineStyle dumb{80, false};
    std::size_t shown = 0;
    EXPECT_EQ(redrawnLine("Reading numbers.txt: 10.0 MB", shown, dumb),
              "\rReading numbers.txt: 10.0 MB");
    EXPECT_EQ(redrawnLine("Reading numbers.txt: 9 MB", shown, dumb),
              "\rReading numbers.txt: 9 MB   ");
    EXPECT_EQ(shown, 25u);
    EXPECT_EQ(erasedLine(shown, dumb), "\r" + std::string(25, ' ') + "\r");
    const LineStyle narrow{10, false};
    shown = 0;
    EXPECT_EQ(redrawnLine("Reading numbers.txt", shown, narrow), "\rReading n");
    EXPECT_EQ(erasedLine(shown, narrow), "\r         \r");
}

}  // namespace
