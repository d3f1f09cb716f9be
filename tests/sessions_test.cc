// Whole sessions of the real needle: each file in tests/sessions holds the
// number files, the typed input, and the exact expected output and status.
//
// A session file is a comment line (the question the session answers), then
// sections headed "--- NAME [flags]": numbers.txt and sortedNumbers.txt (left
// out: the file does not exist), stdin, stdout, stderr, status. A section's
// text is its lines, each ending in a newline. Flags: "-n" drops the last
// newline; "escaped" reads \n, \r, \t, \v, \f, \\ and \xHH; "dir" makes the
// number file a directory.
#include <gtest/gtest.h>

#include "needleRun.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Section {
    std::string text;
    bool directory = false;
};

struct Session {
    std::string question;
    std::map<std::string, Section> sections;
};

std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        switch (c) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'v':
                out += '\v';
                break;
            case 'f':
                out += '\f';
                break;
            case 'x':
                out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
                i += 2;
                break;
            default:
                out += c;
        }
    }
    return out;
}

Session parseSession(const fs::path& path) {
    std::istringstream in(readWholeFile(path));
    Session session;
    std::getline(in, session.question);
    std::string line, name, flags;
    auto finish = [&]() {
        if (name.empty()) {
            return;
        }
        Section& section = session.sections[name];
        if (flags.find("escaped") != std::string::npos) {
            section.text = unescape(section.text);
        }
        if (flags.find("-n") != std::string::npos && !section.text.empty()) {
            section.text.pop_back();
        }
        section.directory = flags.find("dir") != std::string::npos;
    };
    while (std::getline(in, line)) {
        if (line.rfind("--- ", 0) == 0) {
            finish();
            std::istringstream header(line.substr(4));
            header >> name;
            flags.clear();
            std::getline(header, flags);
            session.sections[name];
            continue;
        }
        session.sections[name].text += line + "\n";
    }
    finish();
    return session;
}

class SessionTest : public testing::TestWithParam<fs::path> {};

TEST_P(SessionTest, MatchesExactly) {
    const Session session = parseSession(GetParam());
    SCOPED_TRACE(session.question);
    const ScratchDir scratch(GetParam().stem().string());
    const fs::path& dir = scratch.path;
    for (const char* file : {"numbers.txt", "sortedNumbers.txt"}) {
        const auto found = session.sections.find(file);
        if (found == session.sections.end()) {
            continue;
        }
        if (found->second.directory) {
            fs::create_directory(dir / file);
        } else {
            writeWholeFile(dir / file, found->second.text);
        }
    }
    const NeedleOutcome outcome = runNeedle(dir, session.sections.at("stdin").text);
    EXPECT_EQ(outcome.out, session.sections.at("stdout").text);
    EXPECT_EQ(outcome.err, session.sections.at("stderr").text);
    EXPECT_EQ(outcome.status, std::stoi(session.sections.at("status").text));
}

std::vector<fs::path> sessionFiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(NEEDLE_SESSIONS)) {
        if (entry.path().extension() == ".session") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

INSTANTIATE_TEST_SUITE_P(Sessions, SessionTest, testing::ValuesIn(sessionFiles()),
                         [](const testing::TestParamInfo<fs::path>& param) {
                             std::string name = param.param.stem().string();
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

}  // namespace
