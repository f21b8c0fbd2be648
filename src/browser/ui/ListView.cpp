#include "ListView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMouseEvent>

namespace vantry::browser {

ListView::ListView(QWidget* parent) : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setAlternatingRowColors(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    setIconSize(QSize(16, 16));
}

int ListView::selectedRow() const
{
    if (!selectionModel())
        return -1;
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ListView::selectRow(int row)
{
    if (!model() || row < 0 || row >= model()->rowCount())
        return;
    QTableView::selectRow(row);
    setCurrentIndex(model()->index(row, 0));
}

void ListView::mousePressEvent(QMouseEvent* event)
{
    // A press on empty space drops the selection, as a list view does.
    if (!indexAt(event->position().toPoint()).isValid() && selectionModel())
        selectionModel()->clearSelection();
    else
        QTableView::mousePressEvent(event);
    emit pressed(event->button());
}

void ListView::mouseReleaseEvent(QMouseEvent* event)
{
    QTableView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit clickedAnywhere();
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit doubleClickedAnywhere();
}

void ListView::contextMenuEvent(QContextMenuEvent* event)
{
    // From the keyboard there is no press to decide it: a selected row is enough.
    const bool allowed = event->reason() == QContextMenuEvent::Keyboard ? selectedRow() >= 0 : m_menuAllowed;
    if (allowed)
        emit contextMenuWanted(event->globalPos());
    event->accept();
}

} // namespace vantry::browser
