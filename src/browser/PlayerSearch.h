#pragma once

#include "PlayerResults.h"
#include "query/LinkPace.h"
#include "query/ProbePacer.h"
#include "query/Records.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <vector>

namespace vantry::query {
class Clock;
}

namespace vantry::browser {

class QueryService;
class ServerListModel;

// Finds players by a part of their name on every listed server: asks each server for its players
// at the list's rate, servers listed later too, and keeps the results live as answers come. A
// server's answer is kept for a while, so that typing the name letter by letter matches what is
// known at once instead of asking every server again.
class PlayerSearch : public QObject
{
    Q_OBJECT
public:
    // An answer younger than this is matched again instead of asking the server again.
    static constexpr std::int64_t FreshMs = 30'000;
    // A request without an answer after this may be sent again.
    static constexpr std::int64_t AnswerWaitMs = 3'000;
    // The most requests sent in one turn of the event loop.
    static constexpr std::int64_t SliceSize = 512;

    // perSecond: the list's rate, read when a search starts: the ceiling of the pace found from the
    // answers (0: none).
    PlayerSearch(QueryService& queries, ServerListModel& servers, query::Clock& clock,
                 std::function<int()> perSecond, QObject* parent = nullptr);

    // A new text restarts the search; an empty (or blank) one stops it and clears the results.
    void setText(const QString& text);
    QString text() const { return m_text; }
    bool searching() const { return !m_text.isEmpty(); }

    PlayerResults& results() { return m_results; }
    // Servers asked or matched from a fresh answer in this search, and those that answered.
    int asked() const { return m_asked; }
    int answered() const { return m_answered; }

    // Whether name holds text, ignoring case, for any script.
    static bool matches(const QString& name, const QString& text);

signals:
    // asked() or answered() changed.
    void progressChanged();

private:
    struct Known
    {
        std::vector<query::PlayerRow> players;
        std::int64_t atMs = 0;
    };
    struct Pending
    {
        query::Endpoint server;
        bool oldServer = false;
    };

    void take(int row);
    void sendSome();
    void onPlayers(const query::Endpoint& from, const std::vector<query::PlayerRow>& players);
    void match(const query::Endpoint& server, const std::vector<query::PlayerRow>& players);
    void listCleared();
    // Nothing asked, queued or found in this round.
    void restartRound();

    QueryService& m_queries;
    ServerListModel& m_servers;
    query::Clock& m_clock;
    std::function<int()> m_perSecond;
    query::LinkPace m_pace;
    query::ProbePacer m_pacer;
    QTimer m_timer;
    QString m_text;
    PlayerResults m_results;
    std::deque<Pending> m_queue;
    // Servers of this search: queued, asked or matched.
    QSet<std::uint64_t> m_round;
    QSet<std::uint64_t> m_answeredInRound;
    int m_asked = 0;
    int m_answered = 0;
    QHash<std::uint64_t, std::int64_t> m_askedAt;
    QHash<std::uint64_t, Known> m_known;
};

} // namespace vantry::browser
