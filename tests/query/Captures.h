#pragma once

#include "Datagrams.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The real reply captures and the values their description lists for each of them.
namespace vantry::test {

struct CaptureNotes
{
    std::map<std::string, std::string> fields;                 // "name" -> its text as written
    std::vector<std::pair<std::string, std::string>> rules;    // listed rule pairs, "..." skipped
    std::vector<std::pair<std::string, std::int32_t>> players; // listed players: name, kills
    std::optional<int> entries;                                // "entries decoded" / "pairs decoded"
};

// The captures kept with the tests, tests/data/captures of the source tree.
std::filesystem::path capturesDir();
Datagram readHex(const std::filesystem::path& file);
// Sections of the description, by their title ("goldsrc_m_1.hex", "rules_E_split_goldsrc_1").
std::map<std::string, CaptureNotes> readNotes(const std::filesystem::path& dir);
// A JSON string literal (with its quotes) to its UTF-8 bytes.
std::string jsonString(const std::string& literal);
// The number at the start of a listed value ("0x6c 'l'" -> 0x6C, "30" -> 30).
long leadingNumber(const std::string& text);

} // namespace vantry::test
