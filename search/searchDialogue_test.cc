// What the searches show of a bad token: never a byte a terminal would act on.
#include "search/searchDialogue.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>

namespace {

TEST(EscapedForTerminal, KeepsPrintableAscii) {
    EXPECT_EQ(escapedForTerminal("12abc +-~ x!"), "12abc +-~ x!");
    EXPECT_EQ(escapedForTerminal(""), "");
}

TEST(EscapedForTerminal, WritesControlBytesDeleteAndHighBytesAsHex) {
    EXPECT_EQ(escapedForTerminal("\x1b[31m"), "\\x1b[31m");
    EXPECT_EQ(escapedForTerminal(std::string("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(escapedForTerminal("\t\n\r\x1f"), "\\x09\\x0a\\x0d\\x1f");
    EXPECT_EQ(escapedForTerminal("\x7f"), "\\x7f");
    EXPECT_EQ(escapedForTerminal("\x80\xef\xbb\xbf\xff"), "\\x80\\xef\\xbb\\xbf\\xff");
}

TEST(EscapedForTerminal, WritesQuoteAndBackslashAsHex) {
    // So that the quotes around a shown token are always the message's own.
    EXPECT_EQ(escapedForTerminal("\"quoted\\\""), "\\x22quoted\\x5c\\x22");
}

TEST(EscapedForTerminal, LeavesOnlyPrintableAsciiForEveryByte) {
    for (int byte = 0; byte < 256; ++byte) {
        const std::string shown = escapedForTerminal(std::string(1, static_cast<char>(byte)));
        for (const char c : shown) {
            EXPECT_TRUE(c >= 0x20 && c <= 0x7e && c != '"') << "byte " << byte;
        }
    }
}

// Standard error, captured for the test's lifetime.
class CapturedErrors {
  public:
    CapturedErrors() : saved_(std::cerr.rdbuf(text_.rdbuf())) {}
    ~CapturedErrors() { std::cerr.rdbuf(saved_); }
    std::string text() const { return text_.str(); }

  private:
    std::ostringstream text_;
    std::streambuf* saved_;
};

TEST(ReportEarlyStop, SaysNothingAtTheEndOfTheFile) {
    CapturedErrors errors;
    reportEarlyStop("sorted file", scan::ScanEnd{scan::ScanStop::endOfFile, 9, {}, false});
    EXPECT_EQ(errors.text(), "");
}

TEST(ReportEarlyStop, NamesTheLineAndTheReason) {
    CapturedErrors errors;
    reportEarlyStop("unsorted file", scan::ScanEnd{scan::ScanStop::notANumber, 3, "a\"b", true});
    reportEarlyStop("sorted file", scan::ScanEnd{scan::ScanStop::readError, 4, {}, false});
    reportEarlyStop("sorted file", scan::ScanEnd{scan::ScanStop::outOfMemory, 5, {}, false});
    EXPECT_EQ(errors.text(),
              "Stopped reading the unsorted file at line 3: \"a\\x22b...\" is not a 32-bit whole "
              "number!\n"
              "Stopped reading the sorted file at line 4: read error!\n"
              "Stopped reading the sorted file at line 5: out of memory!\n");
}

}  // namespace
