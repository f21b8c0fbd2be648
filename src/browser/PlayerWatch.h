#pragma once

#include "query/Endpoint.h"
#include "query/Records.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <functional>
#include <vector>

namespace vantry::browser {

class QueryService;
class ServerListModel;

// Watches for players by name in every players reply, whoever asked for it (the details of the
// selected server, the player search, the favourites), and tells when a watched player appears
// on a server: once, until a later reply of that server no longer has him.
class PlayerWatch : public QObject
{
    Q_OBJECT
public:
    // watched: the names, read at every reply; a name matches a player's whole name, ignoring case.
    PlayerWatch(QueryService& queries, const ServerListModel& servers, std::function<QStringList()> watched,
                QObject* parent = nullptr);

    // Asks these servers for their players, when any name is watched: how the favourites are
    // watched without the window.
    void askPlayers(const std::vector<query::Endpoint>& servers);

signals:
    // serverName is the listed row's name, or empty for a server not listed.
    void appeared(const QString& player, const QString& serverName, const query::Endpoint& server);

private:
    void onPlayers(const query::Endpoint& from, const std::vector<query::PlayerRow>& players);

    QueryService& m_queries;
    const ServerListModel& m_servers;
    std::function<QStringList()> m_watched;
    // Per server, the watched names (folded) seen in its last reply.
    QHash<std::uint64_t, QSet<QString>> m_present;
};

} // namespace vantry::browser
