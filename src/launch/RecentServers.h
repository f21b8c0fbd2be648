#pragma once

#include "query/Endpoint.h"
#include "query/Records.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>
#include <optional>

namespace vantry {
class IniFile;
}

namespace vantry::launch {

// One game start: the server, its game kind, its name as listed then (may be empty) and when.
struct RecentServer
{
    query::Endpoint server;
    query::Game game = query::Game::Unknown;
    QString name;
    QDateTime when;   // UTC
    int protocol = 0; // kept only where it picks the client: 49, Xash3D FWGS
};

// The servers last joined, newest first, at most MaxCount, kept in section "Recent" of the
// settings file and written at each start (a client may run past the program's end):
//
//   [Recent]
//   Count=2
//   Server0=10.0.0.5:27015,1.6,2026-12-09T12:22:21Z,Name, commas allowed
//   Server1=10.0.0.7:27015,1.6/49,...
//
// Server0 is the newest; "/49" after the game marks a Xash3D FWGS server; the name comes last and may hold
// anything but a line break. A line that does not read whole (bad address, unknown game, bad time) is skipped
// and the others kept; "Count" bounds the lines read only when it is a number from 0 to MaxCount.
class RecentServers : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxCount = 50;

    explicit RecentServers(IniFile& file, QObject* parent = nullptr);

    // Reads the section again (the file was reloaded).
    void reload();
    const QVector<RecentServer>& entries() const { return m_entries; }

    // Puts the start on top, taking the server's older entry away, keeps the newest MaxCount and
    // writes the section. Throws StoreWriteError; the list then stays as it was.
    void record(const RecentServer& start);

    // The game kind of "HL", "1.5", "1.6", "CZ", "CSS" or "HL2"; none for anything else.
    static std::optional<query::Game> gameOfText(const QString& text);

signals:
    void changed();

private:
    IniFile& m_file;
    QVector<RecentServer> m_entries;
};

} // namespace vantry::launch
