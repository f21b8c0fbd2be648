#include "ListView.h"

#include <QAbstractProxyModel>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>

#include <algorithm>

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
    if (rows.isEmpty())
        return -1;
    if (const auto* proxy = qobject_cast<const QAbstractProxyModel*>(model()))
        return proxy->mapToSource(rows.first()).row();
    return rows.first().row();
}

bool ListView::selectRow(int row)
{
    if (!model() || row < 0)
        return false;
    if (const auto* proxy = qobject_cast<const QAbstractProxyModel*>(model())) {
        QAbstractItemModel* source = proxy->sourceModel();
        row = source && row < source->rowCount() ? proxy->mapFromSource(source->index(row, 0)).row() : -1;
        if (row < 0)
            return false;
    }
    if (row >= model()->rowCount())
        return false;
    QTableView::selectRow(row);
    setCurrentIndex(model()->index(row, 0));
    return true;
}

void ListView::setModel(QAbstractItemModel* model)
{
    if (QAbstractItemModel* old = this->model())
        disconnect(old, nullptr, this, nullptr);
    QTableView::setModel(model);
    m_changed = Changed::Anything;
    if (!model)
        return;
    const auto anything = [this] { m_changed = Changed::Anything; };
    connect(model, &QAbstractItemModel::rowsRemoved, this, anything);
    connect(model, &QAbstractItemModel::rowsMoved, this, anything);
    connect(model, &QAbstractItemModel::columnsInserted, this, anything);
    connect(model, &QAbstractItemModel::columnsRemoved, this, anything);
    connect(model, &QAbstractItemModel::columnsMoved, this, anything);
    connect(model, &QAbstractItemModel::layoutChanged, this, anything);
    connect(model, &QAbstractItemModel::modelReset, this, anything);
}

void ListView::reset()
{
    m_changed = Changed::Anything;
    QTableView::reset();
}

void ListView::rowsInserted(const QModelIndex& parent, int start, int end)
{
    QTableView::rowsInserted(parent, start, end);
    const bool atEnd = !parent.isValid() && model() && end == model()->rowCount() - 1;
    if (!atEnd)
        m_changed = Changed::Anything;
    else if (m_changed == Changed::Nothing)
        m_firstAppended = start, m_changed = Changed::Appended;
    else if (m_changed == Changed::Appended)
        m_firstAppended = std::min(m_firstAppended, start);
}

// A list that fills while a sweep runs gets rows appended many times a second. A full layout
// repaints every visible row each time, which costs more than the sweep's probes; rows added
// at the end change only the scroll range and what lies below the last row shown.
void ListView::doItemsLayout()
{
    if (m_changed != Changed::Appended) {
        m_changed = Changed::Nothing;
        QTableView::doItemsLayout();
        return;
    }
    m_changed = Changed::Nothing;
    updateGeometries();
    const int top = std::max(0, rowViewportPosition(m_firstAppended));
    if (top < viewport()->height())
        viewport()->update(0, top, viewport()->width(), viewport()->height() - top);
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

bool ListView::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QTableView::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    if (!index.isValid() || index.data(Qt::ToolTipRole).isValid())
        return QTableView::viewportEvent(event);
    const QString text = index.data(Qt::DisplayRole).toString();
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QRect cell = visualRect(index);
    option.rect = cell;
    if (!text.isEmpty() && itemDelegateForIndex(index)->sizeHint(option, index).width() > cell.width())
        QToolTip::showText(help->globalPos(), text, viewport(), cell);
    else
        QToolTip::hideText();
    return true;
}

} // namespace vantry::browser
