#include "Captures.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vantry::test {

std::filesystem::path capturesDir()
{
    return VANTRY_CAPTURES_DIR;
}

Datagram readHex(const std::filesystem::path& file)
{
    std::ifstream in(file);
    if (!in)
        throw std::runtime_error("cannot read " + file.string());
    Datagram out;
    std::string token;
    while (in >> token)
        out.push_back(static_cast<std::uint8_t>(std::stoul(token, nullptr, 16)));
    return out;
}

namespace {

void appendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Reads one JSON string starting at text[pos] == '"'; pos ends after the closing quote.
std::string readJson(const std::string& text, std::size_t& pos)
{
    if (pos >= text.size() || text[pos] != '"')
        throw std::runtime_error("not a JSON string: " + text);
    std::string out;
    for (++pos; pos < text.size() && text[pos] != '"'; ++pos) {
        if (text[pos] != '\\') {
            out += text[pos];
            continue;
        }
        const char e = text.at(++pos);
        switch (e) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'u': {
            std::uint32_t cp = static_cast<std::uint32_t>(std::stoul(text.substr(pos + 1, 4), nullptr, 16));
            pos += 4;
            if (cp >= 0xD800 && cp < 0xDC00 && text.compare(pos + 1, 2, "\\u") == 0) {
                const auto low = static_cast<std::uint32_t>(std::stoul(text.substr(pos + 3, 4), nullptr, 16));
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                pos += 6;
            }
            appendUtf8(out, cp);
            break;
        }
        default:
            out += e;
            break;
        }
    }
    ++pos;
    return out;
}

} // namespace

std::string jsonString(const std::string& literal)
{
    std::size_t pos = 0;
    return readJson(literal, pos);
}

long leadingNumber(const std::string& text)
{
    return std::stol(text, nullptr, 0);
}

std::map<std::string, CaptureNotes> readNotes(const std::filesystem::path& dir)
{
    std::ifstream in(dir / "SOURCES.md");
    std::map<std::string, CaptureNotes> notes;
    CaptureNotes* current = nullptr;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("### ", 0) == 0) {
            std::string title = line.substr(4);
            if (const std::size_t space = title.find(' '); space != std::string::npos)
                title.resize(space);
            current = &notes[title];
            continue;
        }
        if (!current || line.rfind("  - ", 0) != 0)
            continue;
        const std::string item = line.substr(4);
        if (item.rfind('"', 0) == 0) {
            std::size_t pos = 0;
            std::string name = readJson(item, pos);
            pos = item.find('"', pos);
            std::string value = readJson(item, pos);
            current->rules.emplace_back(std::move(name), std::move(value));
        } else if (item.rfind("index=", 0) == 0) {
            std::size_t pos = item.find("name=") + 5;
            std::string name = readJson(item, pos);
            const std::size_t kills = item.find("kills=", pos) + 6;
            current->players.emplace_back(std::move(name), std::stoi(item.substr(kills)));
        } else if (const std::size_t decoded = item.find(" decoded: "); decoded != std::string::npos) {
            current->entries = std::stoi(item.substr(decoded + 10));
        } else if (const std::size_t colon = item.find(": "); colon != std::string::npos) {
            current->fields[item.substr(0, colon)] = item.substr(colon + 2);
        }
    }
    return notes;
}

} // namespace vantry::test
