#include "cli/CliArguments.h"

#include "CliFixtures.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/CliSettings.h"
#include "cli/SweepRange.h"
#include "query/Hl1Info.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>

using namespace vantry::cli;

namespace {

std::uint32_t quad(const char* text)
{
    return *vantry::query::Endpoint::parseAddress(text);
}

// The probed addresses as runs "first-last" of dotted quads.
std::vector<std::string> runsOf(const std::vector<std::uint32_t>& addresses)
{
    std::vector<std::string> runs;
    for (std::size_t i = 0; i < addresses.size();) {
        std::size_t j = i;
        while (j + 1 < addresses.size() && addresses[j + 1] == addresses[j] + 1)
            ++j;
        runs.push_back(vantry::query::addressText(addresses[i]) + "-" +
                       vantry::query::addressText(addresses[j]));
        i = j + 1;
    }
    return runs;
}

std::string errorOf(const std::vector<std::string>& words)
{
    const ParsedArguments p = parseArguments(words);
    EXPECT_FALSE(p.options) << words.size();
    return p.error;
}

} // namespace

TEST(CliSweepRange, WalksBlocksAsTheWindowsSweep)
{
    EXPECT_EQ(
        runsOf(sweepAddresses(quad("10.0.5.10"), quad("10.0.7.20"))),
        (std::vector<std::string>{"10.0.5.10-10.0.5.254", "10.0.6.10-10.0.6.254", "10.0.7.10-10.0.7.20"}));
    EXPECT_TRUE(sweepAddresses(quad("10.0.7.1"), quad("10.0.5.255")).empty());
    EXPECT_TRUE(sweepAddresses(quad("10.0.5.30"), quad("10.0.5.20")).empty());
    // The first two octets are always FROM's.
    EXPECT_EQ(runsOf(sweepAddresses(quad("10.0.5.1"), quad("11.9.5.9"))),
              (std::vector<std::string>{"10.0.5.1-10.0.5.9"}));
    // .255 only in the last block, and only when TO ends in it.
    EXPECT_EQ(runsOf(sweepAddresses(quad("10.0.5.0"), quad("10.0.6.255"))),
              (std::vector<std::string>{"10.0.5.0-10.0.5.254", "10.0.6.0-10.0.6.255"}));
    // A last block that ends before FROM's fourth octet is skipped, the others are not.
    EXPECT_EQ(runsOf(sweepAddresses(quad("10.0.5.100"), quad("10.0.6.50"))),
              (std::vector<std::string>{"10.0.5.100-10.0.5.254"}));
    EXPECT_EQ(sweepAddresses(quad("127.0.0.0"), quad("127.0.255.255")).size(), 65281u);
    for (const auto& [from, to] :
         std::vector<std::pair<const char*, const char*>>{{"10.0.5.10", "10.0.7.20"},
                                                          {"10.0.7.1", "10.0.5.255"},
                                                          {"10.0.5.100", "10.0.6.50"},
                                                          {"1.2.0.0", "1.2.255.255"}})
        EXPECT_EQ(sweepSize(quad(from), quad(to)), sweepAddresses(quad(from), quad(to)).size()) << from;
}

TEST(CliArguments, BadArgumentsAreNamed)
{
    EXPECT_EQ(errorOf({}), "want a command: query or sweep");
    EXPECT_EQ(errorOf({"query"}), "query wants at least one HOST[:PORT]");
    EXPECT_EQ(errorOf({"query", "127.0.0.1:0"}), "the port of '127.0.0.1:0' is not a number from 1 to 65535");
    EXPECT_EQ(errorOf({"query", "127.0.0.1:70000"}),
              "the port of '127.0.0.1:70000' is not a number from 1 to 65535");
    EXPECT_EQ(errorOf({"query", ":27015"}), "':27015' names no host");
    EXPECT_EQ(errorOf({"query", "h", "--port"}), "--port wants a number from 1 to 65535");
    EXPECT_EQ(errorOf({"query", "h", "--port", "x1"}), "--port wants a number from 1 to 65535, not 'x1'");
    EXPECT_EQ(errorOf({"query", "h", "--delay=-1"}), "--delay wants milliseconds from 0 to 1000, not '-1'");
    EXPECT_EQ(errorOf({"query", "h", "--timeout", "99999999999"}),
              "--timeout wants milliseconds from 0 to 60000, not '99999999999'");
    EXPECT_EQ(errorOf({"query", "h", "--json=1"}), "--json takes no value");
    EXPECT_EQ(errorOf({"query", "h", "--colour"}), "unknown option '--colour'");
    EXPECT_EQ(errorOf({"sweep", "127.0.0.1"}), "sweep wants two addresses, FROM and TO");
    EXPECT_EQ(errorOf({"sweep", "127.0.0.1", "127.0.0.256"}), "'127.0.0.256' is not a dotted IPv4 address");
    EXPECT_EQ(errorOf({"sweep", "127.0.0", "127.0.0.9"}), "'127.0.0' is not a dotted IPv4 address");
    EXPECT_EQ(errorOf({"sweep", "127.0.0.30", "127.0.0.20"}),
              "the range 127.0.0.30 to 127.0.0.20 holds no address to probe");
    for (const char* bad : {"1.2.3.4.", "1..3.4", "+1.2.3.4", "1.2.3.0x4", "1.2.3.4 ", "0001.2.3.4", ""})
        EXPECT_FALSE(vantry::query::Endpoint::parseAddress(bad)) << bad;

    const ParsedArguments ok = parseArguments({"query", "a.example:27016", "127.0.0.2", "--port=27020",
                                               "--delay", "0", "--json", "--players", "--rules", "--old"});
    ASSERT_TRUE(ok.options) << ok.error;
    ASSERT_EQ(ok.options->hosts.size(), 2u);
    EXPECT_EQ(ok.options->hosts[0].host, "a.example");
    EXPECT_EQ(ok.options->hosts[0].port, 27016);
    EXPECT_FALSE(ok.options->hosts[1].port);
    EXPECT_EQ(ok.options->port, 27020);
    EXPECT_EQ(ok.options->delayMs, 0);
    EXPECT_TRUE(ok.options->json && ok.options->players && ok.options->rules && ok.options->old);
    EXPECT_EQ(errorOf({"query", "h", "--rate", "-1"}),
              "--rate wants probes per second from 0 to 1000000, not '-1'");
    EXPECT_EQ(errorOf({"query", "h", "--rate", "1000001"}),
              "--rate wants probes per second from 0 to 1000000, not '1000001'");
    EXPECT_EQ(errorOf({"query", "h", "--rate"}), "--rate wants probes per second from 0 to 1000000");
}

TEST(CliSettings, DefaultsComeFromTheFileAndBadFilesAreRefused)
{
    QTemporaryDir dir;
    const auto write = [&](const char* name, const char* text) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return dir.filePath(QString::fromLatin1(name)).toStdString();
    };
    std::string error;
    const std::string good = write("good.ini", "[Settings]\r\nCSPort=27016\r\nDelay=12\r\n");
    const auto d = readSettingsDefaults(good, error);
    ASSERT_TRUE(d) << error;
    EXPECT_EQ(d->port, 27016);
    EXPECT_EQ(d->delayMs, 12);
    // Keys that are missing keep the program's defaults.
    const auto empty = readSettingsDefaults(write("empty.ini", "[Ranges]\nRanges=0\n"), error);
    ASSERT_TRUE(empty) << error;
    EXPECT_EQ(empty->port, 27015);
    EXPECT_EQ(empty->delayMs, 5);

    EXPECT_FALSE(readSettingsDefaults(write("port.ini", "[Settings]\nCSPort=\n"), error));
    EXPECT_NE(error.find("no usable game port"), std::string::npos) << error;
    EXPECT_FALSE(readSettingsDefaults(write("delay.ini", "[Settings]\nDelay=5000\n"), error));
    EXPECT_NE(error.find("Delay 5000"), std::string::npos) << error;
    EXPECT_FALSE(readSettingsDefaults(dir.filePath(QStringLiteral("none.ini")).toStdString(), error));
    EXPECT_NE(error.find("cannot read the settings file"), std::string::npos) << error;
    // Reading leaves the file as it was.
    QFile f(QString::fromStdString(good));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("[Settings]\r\nCSPort=27016\r\nDelay=12\r\n"));
}

TEST(CliOutput, JsonStringsEscapeEveryByte)
{
    EXPECT_EQ(jsonString("plain"), "\"plain\"");
    EXPECT_EQ(jsonString("a\"b\\c\n\t\r"), "\"a\\\"b\\\\c\\n\\t\\r\"");
    EXPECT_EQ(jsonString(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\\u007f\"");
    EXPECT_EQ(jsonString(std::string("\0x", 2)), "\"\\u0000x\"");
    EXPECT_EQ(jsonString("Kr\xc3\xbcger \xe2\x82\xac \xf0\x9f\x98\x80"),
              "\"Kr\xc3\xbcger \xe2\x82\xac \xf0\x9f\x98\x80\"");
    // Not well-formed: a lone continuation byte, a cut sequence, an overlong form, a surrogate.
    EXPECT_EQ(jsonString("\x80"), "\"\\u0080\"");
    EXPECT_EQ(jsonString("\xc3"), "\"\\u00c3\"");
    EXPECT_EQ(jsonString("\xe2\x82"), "\"\\u00e2\\u0082\"");
    EXPECT_EQ(jsonString("\xc0\xaf"), "\"\\u00c0\\u00af\"");
    EXPECT_EQ(jsonString("\xed\xa0\x80"), "\"\\u00ed\\u00a0\\u0080\"");
    EXPECT_EQ(jsonString("\xf4\x90\x80\x80"), "\"\\u00f4\\u0090\\u0080\\u0080\"");

    // Whatever the bytes, the array parses and gives the texts back.
    ServerResult s;
    s.row.from = {(127u << 24) | 1, 27015};
    s.row.name = "\"quoted\"\\ \x01 tab\t\xff";
    s.row.oldTexts = vantry::query::OldTexts{"4x", ""};
    s.rules = std::vector<vantry::query::RuleRow>{{"a\nb", "\x7f"}};
    std::ostringstream out;
    writeJson(out, {s}, {true, false, true, {}});
    const QJsonArray a = vantry::test::jsonArray(out.str());
    ASSERT_EQ(a.size(), 1);
    const QJsonObject o = a[0].toObject();
    EXPECT_EQ(o[QStringLiteral("name")].toString(), QString::fromUtf8("\"quoted\"\\ \x01 tab\t\xc3\xbf"));
    EXPECT_EQ(o[QStringLiteral("protocol")].toString(), QStringLiteral("4x"));
    EXPECT_TRUE(o[QStringLiteral("players")].isNull());
    EXPECT_EQ(o[QStringLiteral("rules")].toArray()[0].toObject()[QStringLiteral("name")].toString(),
              QStringLiteral("a\nb"));
    std::ostringstream none;
    writeJson(none, {}, {});
    EXPECT_EQ(none.str(), "[]\n");
    // Plain lines keep one server a line whatever its texts hold.
    std::ostringstream lines;
    writeLines(lines, {s}, {});
    const std::string text = lines.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
}

TEST(CliRowValues, Hl1BotsAreFoundBehindTheModBlock)
{
    auto reply = [](bool mod) {
        std::string d("\xFF\xFF\xFF\xFFm", 5);
        for (const char* s : {"1.2.3.4:27015", "Name", "map", "cstrike", "Counter-Strike"})
            d += std::string(s) + '\0';
        d += std::string("\x05\x10\x2f"
                         "dl\x00",
                         6);
        d += mod ? '\x01' : '\x00';
        if (mod)
            d += std::string("http://x\0http://y\0\0", 19) + std::string("\1\0\0\0\2\0\0\0\1\0", 10);
        d += std::string("\x01\x07", 2); // secure, bots
        return std::vector<std::uint8_t>(d.begin(), d.end());
    };
    EXPECT_EQ(vantry::query::hl1Bots(reply(false)), 7);
    EXPECT_EQ(vantry::query::hl1Bots(reply(true)), 7);
    auto cut = reply(true);
    cut.resize(cut.size() - 1);
    EXPECT_EQ(vantry::query::hl1Bots(cut), 0);
}
