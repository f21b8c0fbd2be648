#include "Datagrams.h"
#include "FuzzInput.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// Writes seed corpora: <out>/dispatcher (framed sequences) and <out>/<decoder> (raw datagrams),
// from the test datagrams and, when a captures folder is given, from its *.hex files.
namespace {

namespace fs = std::filesystem;
using vantry::test::Datagram;

Datagram readHex(const fs::path& file)
{
    std::ifstream in(file);
    Datagram out;
    std::string token;
    while (in >> token)
        out.push_back(static_cast<std::uint8_t>(std::stoul(token, nullptr, 16)));
    return out;
}

void write(const fs::path& file, const Datagram& bytes)
{
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

const char* decoderFor(const Datagram& d)
{
    if (d.size() < 5)
        return nullptr;
    switch (d[4]) {
    case 'm':
        return "hl1";
    case 'I':
        return "source";
    case 'i':
        return "old";
    case 'D':
        return "players";
    case 'E':
        return "rules";
    default:
        return nullptr;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT_DIR [CAPTURES_DIR]\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];
    for (const char* sub : {"dispatcher", "hl1", "source", "old", "players", "rules"})
        fs::create_directories(out / sub);

    std::vector<std::pair<std::string, Datagram>> datagrams;
    const auto samples = vantry::test::sampleDatagrams();
    for (std::size_t i = 0; i < samples.size(); ++i)
        datagrams.emplace_back("sample_" + std::to_string(i), samples[i]);
    if (argc > 2)
        for (const auto& entry : fs::directory_iterator(argv[2]))
            if (entry.path().extension() == ".hex")
                datagrams.emplace_back(entry.path().stem().string(), readHex(entry.path()));

    Datagram everything;
    for (const auto& [name, d] : datagrams) {
        Datagram framed;
        vantry::fuzz::appendFrame(framed, 0, d);
        write(out / "dispatcher" / name, framed);
        vantry::fuzz::appendFrame(everything, static_cast<std::uint8_t>(everything.size()), d);
        if (const char* decoder = decoderFor(d))
            write(out / decoder / name, d);
    }
    // Sequences that exercise state: a split pair from one sender, and from two.
    const auto [first, last] = vantry::test::splitRulesReply(0x0814, 100);
    Datagram pair;
    vantry::fuzz::appendFrame(pair, 0, first);
    vantry::fuzz::appendFrame(pair, 0, last);
    write(out / "dispatcher" / "split_pair", pair);
    Datagram crossed;
    vantry::fuzz::appendFrame(crossed, 0, first);
    vantry::fuzz::appendFrame(crossed, 2, last);
    vantry::fuzz::appendFrame(crossed, 0, last);
    write(out / "dispatcher" / "split_crossed", crossed);
    // A newer-engine split reply whose request id puts 'A' where a whole reply has its type.
    std::vector<std::pair<std::string, std::string>> rules;
    for (int i = 0; i < 60; ++i)
        rules.emplace_back("rule_" + std::to_string(i), std::to_string(i * 31));
    Datagram lettered;
    for (const Datagram& fragment : vantry::test::newerSplit(0x1241, vantry::test::rulesReply(rules), 300))
        vantry::fuzz::appendFrame(lettered, 0, fragment);
    write(out / "dispatcher" / "split_lettered_id", lettered);
    if (everything.size() < 64 * 1024)
        write(out / "dispatcher" / "all_in_one", everything);
    std::printf("%zu datagrams written to %s\n", datagrams.size(), out.string().c_str());
    return 0;
}
