#include "CliFixtures.h"

#include <cctype>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace vantry::test;

namespace {

// The options a usage text lists, one tag ("--port N", "-h, --help") a line, in order.
std::vector<std::string> helpTags(const std::string& usage)
{
    std::vector<std::string> tags;
    std::istringstream lines(usage);
    for (std::string line; std::getline(lines, line) && line != "Without a window:";) {
        if (line.rfind("  -", 0) == 0)
            tags.push_back(line.substr(2, line.find("  ", 2) - 2));
    }
    return tags;
}

// A man macro line as it reads: the macro's words joined, fonts and escapes gone.
std::string plainText(const std::string& line)
{
    std::string out;
    bool quoted = false;
    const std::size_t space = line.find(' ');
    for (std::size_t i = space == std::string::npos ? line.size() : space + 1; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ' ' && !quoted)
            continue; // .BI and .BR join their words
        else if (line.compare(i, 2, "\\f") == 0)
            i += 2; // \fR, \fI, \fB, \fP
        else if (line.compare(i, 2, "\\-") == 0)
            out += '-', ++i;
        else
            out += line[i];
    }
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The tags of the .TP entries of one subsection of the manual page's OPTIONS.
std::vector<std::string> manualTags(const std::string& subsection)
{
    std::ifstream page(VANTRY_MANUAL);
    EXPECT_TRUE(page.good()) << VANTRY_MANUAL;
    std::vector<std::string> tags;
    bool options = false, inside = false;
    for (std::string line; std::getline(page, line);) {
        if (line.rfind(".SH", 0) == 0)
            inside = false, options = line == ".SH OPTIONS";
        else if (line.rfind(".SS ", 0) == 0)
            inside = options && line.substr(4) == subsection;
        else if (inside && line == ".TP" && std::getline(page, line))
            tags.push_back(plainText(line));
    }
    return tags;
}

std::vector<std::string> lowered(std::vector<std::string> tags)
{
    for (std::string& tag : tags) {
        for (char& c : tag)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return tags;
}

} // namespace

// Every option that a command's --help lists has its entry in the manual page, with the same
// argument, in the same order, and the page lists no option that the program does not take.
TEST(CliManual, ThePagesOptionsAreTheOnesEachHelpLists)
{
    for (const auto& [command, subsection] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--help"}, "Window"},
             {{"query", "--help"}, "query and sweep"},
             {{"master", "--help"}, "master"}}) {
        const CliResult help = runProgram(command, plainEnvironment());
        ASSERT_EQ(help.status, 0) << subsection;
        const std::vector<std::string> listed = lowered(helpTags(help.out));
        EXPECT_GT(listed.size(), 3u) << subsection;
        EXPECT_EQ(manualTags(subsection), listed) << subsection;
    }
}

// A help line of an option its command does not take would send users to an "unknown option".
TEST(CliManual, EveryOptionAHelpListsIsTakenByItsCommand)
{
    for (const std::string command : {"query", "sweep", "master"}) {
        const CliResult help = runInProcess({command, "--help"});
        for (const std::string& tag : helpTags(help.out)) {
            const std::size_t comma = tag.find(", ");
            const std::string option = tag.substr(comma == std::string::npos ? 0 : comma + 2);
            const std::size_t space = option.find(' ');
            std::vector<std::string> words{command, option.substr(0, space)};
            if (space != std::string::npos)
                words.push_back("1");
            words.push_back("--help");
            const CliResult r = runInProcess(words);
            EXPECT_EQ(r.err.find("unknown option"), std::string::npos) << command << " " << tag << "\n"
                                                                       << r.err;
        }
    }
}
