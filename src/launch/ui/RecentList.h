#pragma once

#include <QTreeWidget>

#include <functional>

namespace vantry::launch {

class RecentServers;
struct RecentServer;

// «Недавние»: the servers last joined, newest first, as the store holds them; a double click on
// a row joins that server again.
class RecentList : public QTreeWidget
{
    Q_OBJECT
public:
    enum Column
    {
        Name,
        Address,
        Game,
        When,
        ColumnCount
    };

    RecentList(const RecentServers& recent, QWidget* parent = nullptr);
    // The caption of the list's page in the main window.
    static QString pageTitle();
    // A few rows high: the server list keeps most of the window.
    QSize sizeHint() const override;

    void setJoinHandler(std::function<void(const RecentServer&)> join) { m_join = std::move(join); }

private:
    void fill();

    const RecentServers& m_recent;
    std::function<void(const RecentServer&)> m_join;
};

} // namespace vantry::launch
