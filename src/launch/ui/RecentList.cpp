#include "RecentList.h"

#include "launch/RecentServers.h"

#include <QHeaderView>

namespace vantry::launch {

RecentList::RecentList(const RecentServers& recent, QWidget* parent) : QTreeWidget(parent), m_recent(recent)
{
    setObjectName(QStringLiteral("LWRecent"));
    setColumnCount(ColumnCount);
    setHeaderLabels({tr("Сервер"), tr("Адрес"), tr("Игра"), tr("Когда")});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    header()->setStretchLastSection(false);
    header()->setSectionsClickable(false);
    setColumnWidth(Name, 260);
    setColumnWidth(Address, 130);
    setColumnWidth(Game, 40);
    setColumnWidth(When, 100);

    // The double click alone joins: `itemActivated` also fires on Enter and, under some desktop
    // styles, on a single click.
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        const int row = indexOfTopLevelItem(item);
        if (m_join && row >= 0 && row < m_recent.entries().size())
            m_join(m_recent.entries()[row]);
    });
    connect(&m_recent, &RecentServers::changed, this, &RecentList::fill);
    fill();
}

QString RecentList::pageTitle()
{
    return tr("Недавние");
}

QSize RecentList::sizeHint() const
{
    return {QTreeWidget::sizeHint().width(),
            header()->sizeHint().height() + 4 * (fontMetrics().height() + 4)};
}

void RecentList::fill()
{
    clear();
    for (const RecentServer& entry : m_recent.entries()) {
        const QString address = QString::fromStdString(query::endpointText(entry.server));
        const QString when = entry.when.toLocalTime().toString(QStringLiteral("dd.MM.yy HH:mm"));
        auto* item = new QTreeWidgetItem(this);
        item->setText(Name, entry.name.isEmpty() ? address : entry.name);
        item->setText(Address, address);
        item->setText(Game, QString::fromLatin1(query::gameText(entry.game)));
        item->setText(When, when);
        const QString tip = entry.name + u'\n' + address + QStringLiteral("  ") + item->text(Game) +
                            QStringLiteral("  ") + when;
        for (int column = 0; column < ColumnCount; ++column)
            item->setToolTip(column, tip.trimmed());
    }
}

} // namespace vantry::launch
