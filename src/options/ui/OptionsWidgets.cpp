#include "OptionsWidgets.h"

#include "base/Prompter.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

namespace vantry::options::widgets {

QLabel* boldLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QCheckBox* boldCheckBox(const QString& text, QWidget* parent)
{
    auto* box = new QCheckBox(text, parent);
    QFont font = box->font();
    font.setBold(true);
    box->setFont(font);
    return box;
}

QGroupBox* boldGroup(const QString& title, QWidget* parent)
{
    auto* group = new QGroupBox(title, parent);
    // Only the title is bold; a font set on the box would pass to the fields inside.
    group->setStyleSheet(QStringLiteral("QGroupBox { font-weight: bold; }"));
    return group;
}

QPushButton* button(const QString& text, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setAutoDefault(false);
    return b;
}

QTreeWidget* reportList(const QStringList& columns, QWidget* parent)
{
    auto* list = new QTreeWidget(parent);
    list->setColumnCount(static_cast<int>(columns.size()));
    list->setHeaderLabels(columns);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setAllColumnsShowFocus(true);
    list->header()->setStretchLastSection(false);
    // A style sheet that draws the items' borders draws their selection too: without its own
    // colours the selected text turns white on the style's pale item ground.
    list->setStyleSheet(QStringLiteral("QTreeView::item { border: 1px solid palette(midlight); }"
                                       "QTreeView::item:selected { background: palette(highlight);"
                                       " color: palette(highlighted-text); }"));
    return list;
}

int selectedRow(const QTreeWidget* list)
{
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.constFirst());
}

void selectRow(QTreeWidget* list, int row)
{
    if (QTreeWidgetItem* item = list->topLevelItem(row)) {
        list->setCurrentItem(item);
        item->setSelected(true);
    }
}

void error(const QString& text)
{
    prompter().message(QStringLiteral("Error"), text, BoxIcon::None);
}

} // namespace vantry::options::widgets
