#include "CliOutput.h"

#include <QString>

#include <cstdio>

namespace vantry::cli {

namespace {

// The length of the well-formed UTF-8 sequence at text[at], or 0.
std::size_t utf8Length(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b = byte(at);
    std::size_t length = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        low = b == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        high = b == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    if (byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF)
            return 0;
    }
    return length;
}

std::string escapedByte(unsigned char b)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04x", b);
    return buffer;
}

// Controls become blanks, so that a text never breaks a line or a field.
void appendPlain(std::string& out, std::string_view text)
{
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        out += b < 0x20 || b == 0x7F ? ' ' : c;
    }
}

std::string optionalNumber(const std::optional<int>& value)
{
    return value ? std::to_string(*value) : "null";
}

const char* statusWord(const std::optional<query::Image>& status)
{
    if (!status)
        return "-";
    switch (*status) {
    case query::Image::Open:
        return "open";
    case query::Image::Full:
        return "full";
    case query::Image::Password:
        return "password";
    default:
        return "-";
    }
}

// An old reply's decimal text as a number; texts that are not numbers as strings.
std::string numberOrString(const std::string& text)
{
    if (!text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos)
        return std::to_string(std::stoi(text));
    return jsonString(text);
}

} // namespace

std::string jsonString(std::string_view bytes)
{
    std::string out = "\"";
    out.reserve(bytes.size() + 2);
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b >= 0x80) {
            if (const std::size_t n = utf8Length(bytes, i)) {
                out.append(bytes.substr(i, n));
                i += n;
            } else {
                out += escapedByte(b);
                ++i;
            }
            continue;
        }
        switch (b) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (b < 0x20 || b == 0x7F)
                out += escapedByte(b);
            else
                out += static_cast<char>(b);
        }
        ++i;
    }
    out += '"';
    return out;
}

bool playerMatches(std::string_view name, std::string_view text)
{
    const auto utf8 = [](std::string_view bytes) {
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    };
    return utf8(name).contains(utf8(text), Qt::CaseInsensitive);
}

std::vector<ServerResult> withPlayer(std::vector<ServerResult> servers, std::string_view text)
{
    std::vector<ServerResult> kept;
    for (ServerResult& server : servers) {
        if (!server.players)
            continue;
        std::vector<query::PlayerRow> found;
        for (query::PlayerRow& player : *server.players)
            if (playerMatches(player.name, text))
                found.push_back(std::move(player));
        if (found.empty())
            continue;
        server.players = std::move(found);
        kept.push_back(std::move(server));
    }
    return kept;
}

std::string osName(char indicator)
{
    switch (indicator) {
    case 'w':
    case 'W':
        return "windows";
    case 'l':
    case 'L':
        return "linux";
    case 'm':
    case 'o':
        return "mac";
    case '\0':
        return "";
    default:
        return std::string(1, indicator);
    }
}

void writeLines(std::ostream& out, const std::vector<ServerResult>& servers, const OutputChoice& choice)
{
    // Each server's lines are put together first and written at once: thousands of servers
    // through the stream piece by piece cost more than the query itself.
    std::string text;
    const auto field = [&](std::string_view value) {
        text += '\t';
        appendPlain(text, value);
    };
    for (const ServerResult& s : servers) {
        if (s.refused)
            continue;
        const query::ServerRow& r = s.row;
        text.clear();
        text += query::endpointText(r.from);
        text += '\t';
        text += query::gameText(r.kind);
        field(r.name);
        field(r.map);
        field(query::playersText(r));
        field(query::protocolText(r));
        text += r.windows ? "\tWIN\t" : "\tLIN\t";
        text += statusWord(r.status);
        text += '\t';
        text += r.pingMs ? std::to_string(*r.pingMs) + " ms" : "-";
        text += '\n';
        if (choice.players && s.players) {
            for (const query::PlayerRow& p : *s.players) {
                text += "\tplayer";
                field(p.name);
                text += '\t';
                text += std::to_string(p.kills);
                text += '\n';
            }
        }
        if (choice.rules && s.rules) {
            for (const query::RuleRow& rule : *s.rules) {
                text += "\trule";
                field(rule.name);
                field(rule.value);
                text += '\n';
            }
        }
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
}

void writeJson(std::ostream& out, const std::vector<ServerResult>& servers, const OutputChoice& choice)
{
    out << '[';
    bool firstServer = true;
    for (const ServerResult& s : servers) {
        const query::ServerRow& r = s.row;
        out << (firstServer ? "\n" : ",\n");
        firstServer = false;
        if (s.refused) {
            out << "{\"address\":" << jsonString(query::addressText(r.from.address))
                << ",\"port\":" << r.from.port << ",\"status\":\"refused\"}";
            continue;
        }
        const char* status = statusWord(r.status);
        out << "{\"address\":" << jsonString(query::addressText(r.from.address))
            << ",\"port\":" << r.from.port << ",\"kind\":" << jsonString(query::gameText(r.kind))
            << ",\"name\":" << jsonString(r.name) << ",\"map\":" << jsonString(r.map)
            << ",\"players\":" << optionalNumber(r.playerCount)
            << ",\"max_players\":" << optionalNumber(r.maxPlayerCount)
            << ",\"bots\":" << optionalNumber(r.botCount) << ",\"protocol\":"
            << (r.oldTexts ? numberOrString(r.oldTexts->protocol) : std::to_string(r.protocol))
            << ",\"os\":" << jsonString(osName(r.osIndicator))
            << ",\"password\":" << (r.passwordRequired ? (*r.passwordRequired ? "true" : "false") : "null")
            << ",\"ping\":" << optionalNumber(r.pingMs)
            << ",\"status\":" << (*status == '-' ? std::string("null") : '"' + std::string(status) + '"');
        if (choice.players) {
            out << ",\"player_list\":";
            if (!s.players) {
                out << "null";
            } else {
                out << '[';
                for (std::size_t i = 0; i < s.players->size(); ++i) {
                    const query::PlayerRow& p = (*s.players)[i];
                    out << (i ? "," : "") << "{\"name\":" << jsonString(p.name) << ",\"kills\":" << p.kills
                        << '}';
                }
                out << ']';
            }
        }
        if (choice.rules) {
            out << ",\"rules\":";
            if (!s.rules) {
                out << "null";
            } else {
                out << '[';
                for (std::size_t i = 0; i < s.rules->size(); ++i) {
                    const query::RuleRow& rule = (*s.rules)[i];
                    out << (i ? "," : "") << "{\"name\":" << jsonString(rule.name)
                        << ",\"value\":" << jsonString(rule.value) << '}';
                }
                out << ']';
            }
        }
        out << '}';
    }
    out << (firstServer ? "]\n" : "\n]\n");
}

} // namespace vantry::cli
