#include "CliFixtures.h"

#include "cli/CliRun.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>
#include <sstream>

namespace vantry::test {

CliResult runInProcess(const std::vector<std::string>& words, const cli::HostLookup& lookup,
                       query::Clock& clock)
{
    std::ostringstream out;
    std::ostringstream err;
    CliResult r;
    r.status = cli::runCli(
        words, out, err,
        [&](const std::string& host, std::string& reason) {
            if (lookup)
                return lookup(host, reason);
            ADD_FAILURE() << "a test looked up '" << host << "' without a lookup of its own";
            reason = "no lookup in this test";
            return std::optional<std::uint32_t>();
        },
        clock);
    r.out = out.str();
    r.err = err.str();
    return r;
}

CliResult runProgram(const std::vector<std::string>& words)
{
    return runProgram(words, QProcessEnvironment::systemEnvironment());
}

CliResult runProgram(const std::vector<std::string>& words, const QProcessEnvironment& env,
                     const QString& redirection)
{
    QStringList arguments;
    for (const std::string& w : words)
        arguments << QString::fromStdString(w);
    QProcess process;
    process.setProcessEnvironment(env);
    if (redirection.isEmpty()) {
        process.start(QStringLiteral(VANTRY_BINARY), arguments);
    } else {
        process.start(QStringLiteral("/bin/sh"),
                      QStringList{QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$@\" ") + redirection,
                                  QStringLiteral(VANTRY_BINARY)} +
                          arguments);
    }
    CliResult r;
    if (!process.waitForFinished(60000)) {
        ADD_FAILURE() << "the program did not end";
        process.kill();
        process.waitForFinished();
        return r;
    }
    r.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    r.out = process.readAllStandardOutput().toStdString();
    r.err = process.readAllStandardError().toStdString();
    return r;
}

QProcessEnvironment plainEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"VANTRY_STEAM_KEY", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    return env;
}

QJsonArray jsonArray(const std::string& text)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << text;
    EXPECT_TRUE(doc.isArray()) << text;
    return doc.array();
}

QJsonObject serverAt(const QJsonArray& servers, const QString& address)
{
    for (const QJsonValue& v : servers) {
        if (v.toObject().value(QStringLiteral("address")).toString() == address)
            return v.toObject();
    }
    return {};
}

std::uint32_t loopback(std::uint8_t b, std::uint8_t c, std::uint8_t d)
{
    return (127u << 24) | (std::uint32_t(b) << 16) | (std::uint32_t(c) << 8) | d;
}

std::unique_ptr<emu::EmuServer> startServers(emu::ProfileTable table, std::vector<std::uint16_t> ports)
{
    auto servers = std::make_unique<emu::EmuServer>(std::move(table), std::move(ports));
    servers->start();
    return servers;
}

} // namespace vantry::test
