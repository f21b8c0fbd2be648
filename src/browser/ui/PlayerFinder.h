#pragma once

#include "query/Endpoint.h"

#include <QTimer>
#include <QWidget>

class QLabel;
class QLineEdit;

namespace vantry::browser {

class ListView;
class PlayerSearch;

// The «Найти игрока» field with the players found under it. Typing searches after a short
// pause, Enter at once, Escape clears; a double click on a found player asks to join his server.
class PlayerFinder : public QWidget
{
    Q_OBJECT
public:
    // Typing that pauses this long starts the search.
    static constexpr int TypingPauseMs = 250;

    PlayerFinder(PlayerSearch& search, QWidget* parent = nullptr);

    QLineEdit& field() { return *m_field; }
    ListView& results() { return *m_results; }

signals:
    void joinWanted(const query::Endpoint& server);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void start();
    void showProgress();

    PlayerSearch& m_search;
    QLineEdit* m_field;
    QLabel* m_progress;
    ListView* m_results;
    QTimer m_typing;
};

} // namespace vantry::browser
