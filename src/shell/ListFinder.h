#pragma once

#include <QObject>

class QLabel;
class QStatusBar;
class QWidget;

namespace vantry {
class IniFile;
}
namespace vantry::browser {
class FilterBar;
class ListView;
class ServerListModel;
class ServerListProxy;
} // namespace vantry::browser

namespace vantry {

// How the main window's server list is ordered and narrowed: the view shows a proxy of the
// list, a header click sorts by its column (again: the other way), the filter bar narrows it,
// Ctrl+F goes to the filter's text, a status label reads "shown / listed". The choices are kept
// in sections "View" and "Filter" of the settings file.
class ListFinder : public QObject
{
    Q_OBJECT
public:
    // Makes the filter bar (a child of the list's parent) for the caller to place.
    ListFinder(browser::ServerListModel& servers, browser::ListView& list, QStatusBar& status,
               QWidget& window);
    ~ListFinder() override;

    browser::ServerListProxy& proxy() { return *m_proxy; }
    browser::FilterBar& bar() { return m_bar; }
    QWidget& barWidget();
    void columnClicked(int column);
    void load(const IniFile& file);
    void save(IniFile& file) const;

signals:
    // A filter hid the selected server: the window has no selection any more.
    void selectionLost();

private:
    void showCounts();
    void showSortIndicator();

    browser::ListView& m_list;
    browser::FilterBar& m_bar;
    browser::ServerListProxy* m_proxy;
    QLabel* m_counts;
    int m_selectedBefore = -1;
};

} // namespace vantry
