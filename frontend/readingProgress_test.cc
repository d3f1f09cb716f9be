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

TEST(ProgressText, SwitchesToGigabytesAtOneBillionBytes) {
    EXPECT_EQ(progressText("numbers.txt", 999'999'999, 0), "Reading numbers.txt: 1000.0 MB");
    EXPECT_EQ(progressText("numbers.txt", 1'000'000'000, 0), "Reading numbers.txt: 1.0 GB");
    EXPECT_EQ(progressText("numbers.txt", 500'000'000, 1'000'000'000),
              "Reading numbers.txt: 0.5 of 1.0 GB (50%)");
}

TEST(TakesEscapes, EveryTerminalButADumbOne) {
    for (const char* term : {"xterm-256color", "tmux-256color", "linux", "foot", "unknown"}) {
        EXPECT_TRUE(takesEscapes(term)) << term;
    }
    for (const char* term : {"", "dumb"}) {
        EXPECT_FALSE(takesEscapes(term)) << term;
    }
    EXPECT_FALSE(takesEscapes(nullptr));
}

TEST(ProgressLine, IsCutOneColumnShortOfTheTerminal) {
    std::size_t shown = 0;
    const LineStyle narrow{30, true};
    EXPECT_EQ(redrawnLine("Reading numbers.txt: 1.7 of 2.0 GB (84%)", shown, narrow),
              "\r\x1b[JReading numbers.txt: 1.7 of 2");
    EXPECT_EQ(shown, 29u);
    EXPECT_EQ(erasedLine(shown, narrow), "\r\x1b[J");
}

// A line of 40 columns, drawn at 80, after the terminal changed to each
// width: re-wrapped over as many rows as it now takes, all of them go, from
// the first on.
TEST(ProgressLine, GoesUpToTheFirstRowOfALineANarrowerTerminalWrapped) {
    const std::string line(40, '.');
    const struct {
        std::size_t columns;
        const char* toFirstRow;
    } kWidths[] = {{120, "\r"},       {40, "\r"},        {39, "\r\x1b[1A"}, {20, "\r\x1b[1A"},
                   {19, "\r\x1b[2A"}, {13, "\r\x1b[3A"}, {1, "\r\x1b[39A"}};
    for (const auto& width : kWidths) {
        const LineStyle now{width.columns, true};
        EXPECT_EQ(erasedLine(line.size(), now), std::string(width.toFirstRow) + "\x1b[J")
            << width.columns << " columns";
        std::size_t shown = line.size();
        EXPECT_EQ(redrawnLine("Reading", shown, now),
                  std::string(width.toFirstRow) + "\x1b[J" +
                      std::string("Reading").substr(0, width.columns > 1 ? width.columns - 1 : 1))
            << width.columns << " columns";
    }
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
    // Narrowed to 10 columns after a line of 41: the redraw still fits a row.
    const LineStyle narrow{10, false};
    shown = 41;
    EXPECT_EQ(redrawnLine("Reading numbers.txt: 1.7 of 2.0 GB (84%)", shown, narrow),
              "\rReading n");
    EXPECT_EQ(erasedLine(shown, narrow), "\r         \r");
}

}  // namespace
