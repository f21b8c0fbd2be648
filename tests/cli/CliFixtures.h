#pragma once

#include "cli/CliRun.h"
#include "emu/EmuServer.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace vantry::test {

struct CliResult
{
    int status = -1;
    std::string out;
    std::string err;
};

// The command line's own entry, in this process, with its output captured. Host names go to
// `lookup`, never to a resolver: a test sends nothing outside 127.0.0.0/8, DNS included.
// Its waits are measured on `clock`.
CliResult runInProcess(const std::vector<std::string>& words, const cli::HostLookup& lookup = {},
                       query::Clock& clock = query::systemClock());
// The real program as a child process.
CliResult runProgram(const std::vector<std::string>& words);
// The same in `env`; with a `redirection` in shell syntax (">/dev/full", ">&-") it starts through
// /bin/sh, so that its descriptors are what a script gives it.
CliResult runProgram(const std::vector<std::string>& words, const QProcessEnvironment& env,
                     const QString& redirection = {});
// The test's environment without a Steam key and without a display.
QProcessEnvironment plainEnvironment();

// The output of --json; fails the test when it is not a JSON array.
QJsonArray jsonArray(const std::string& text);
// The object whose "address" is this one; an empty object when there is none.
QJsonObject serverAt(const QJsonArray& servers, const QString& address);

std::uint32_t loopback(std::uint8_t b, std::uint8_t c, std::uint8_t d);

// Emulated servers for one test, started at once, stopped at the end.
std::unique_ptr<emu::EmuServer> startServers(emu::ProfileTable table,
                                             std::vector<std::uint16_t> ports = {27015});

} // namespace vantry::test
