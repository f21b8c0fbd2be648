#include "PlayerWatch.h"

#include "QueryService.h"
#include "ServerListModel.h"

namespace vantry::browser {

PlayerWatch::PlayerWatch(QueryService& queries, const ServerListModel& servers,
                         std::function<QStringList()> watched, QObject* parent)
    : QObject(parent), m_queries(queries), m_servers(servers), m_watched(std::move(watched))
{
    connect(&m_queries, &QueryService::playersReceived, this, &PlayerWatch::onPlayers);
}

void PlayerWatch::askPlayers(const std::vector<query::Endpoint>& servers)
{
    if (!m_watched || m_watched().isEmpty())
        return;
    for (const query::Endpoint& server : servers) {
        try {
            const int row = m_servers.find(server);
            m_queries.sendPlayersRequest(server, row >= 0 && m_servers.server(row).oldTexts.has_value());
        } catch (const std::exception&) {
            // Not sent now; the next pass asks again.
        }
    }
}

void PlayerWatch::onPlayers(const query::Endpoint& from, const std::vector<query::PlayerRow>& players)
{
    const QStringList watched = m_watched ? m_watched() : QStringList();
    if (watched.isEmpty()) {
        m_present.clear();
        return;
    }
    QSet<QString> wanted;
    for (const QString& name : watched)
        if (!name.trimmed().isEmpty())
            wanted.insert(name.trimmed().toCaseFolded());

    QSet<QString> now;
    QStringList arrived;
    const QSet<QString> before = m_present.value(from.key());
    for (const query::PlayerRow& player : players) {
        const QString name = QString::fromStdString(player.name);
        const QString folded = name.trimmed().toCaseFolded();
        if (!wanted.contains(folded) || now.contains(folded))
            continue;
        now.insert(folded);
        if (!before.contains(folded))
            arrived << name;
    }
    if (now.isEmpty())
        m_present.remove(from.key());
    else
        m_present.insert(from.key(), now);

    const int row = m_servers.find(from);
    const QString serverName = row >= 0 ? QString::fromStdString(m_servers.server(row).name) : QString();
    for (const QString& name : arrived)
        emit appeared(name, serverName, from);
}

} // namespace vantry::browser
