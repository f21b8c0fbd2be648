#pragma once

#include <QTableView>

namespace vantry::browser {

// A report-style list: whole rows, grid lines, no editing, and the mouse events the main
// window's handlers need (a click on empty space too, a press before the context menu).
class ListView : public QTableView
{
    Q_OBJECT
public:
    explicit ListView(QWidget* parent = nullptr);

    // Whether a right press may open the context menu (decided at each press).
    void setContextMenuAllowed(bool allowed) { m_menuAllowed = allowed; }
    bool contextMenuAllowed() const { return m_menuAllowed; }
    // The selected row, or -1. Rows are the source model's when the view shows a proxy of it, so
    // that a row number means one server whatever the order and filter shown.
    int selectedRow() const;
    // Selects the row when it is shown; false otherwise.
    bool selectRow(int row);

    void setModel(QAbstractItemModel* model) override;
    void doItemsLayout() override;
    void reset() override;

signals:
    void pressed(Qt::MouseButton button);
    void clickedAnywhere();
    void doubleClickedAnywhere();
    void contextMenuWanted(const QPoint& globalPos);

protected:
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // A cell too narrow for its text shows the whole text as its tooltip.
    bool viewportEvent(QEvent* event) override;

private:
    // What changed since the rows were last laid out.
    enum class Changed
    {
        Nothing,
        Appended, // rows were added at the end, and nothing else
        Anything,
    };

    bool m_menuAllowed = false;
    Changed m_changed = Changed::Anything;
    int m_firstAppended = 0;
};

} // namespace vantry::browser
