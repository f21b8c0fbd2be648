#include "XashSection.h"

#include "options/ui/OptionsWidgets.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace vantry::options {

using widgets::named;

XashSection::XashSection(QWidget* parent) : QWidget(parent)
{
    CBXash = named(widgets::boldCheckBox(tr("Списки Xash3D FWGS"), this), "CBXash");
    CBXash->setToolTip(
        tr("Серверы Half-Life и Counter-Strike 1.6 от мастер-серверов Xash3D FWGS, без ключа"));
    LWXash = named(new QTreeWidget(this), "LWXash");
    LWXash->setColumnCount(1);
    LWXash->setHeaderLabels({tr("Мастер-серверы Xash3D:")});
    LWXash->setRootIsDecorated(false);
    LWXash->setUniformRowHeights(true);
    LWXash->setSelectionMode(QAbstractItemView::SingleSelection);
    LWXash->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LWXash->header()->setSectionsClickable(false);
    LWXash->setFixedHeight(LWXash->header()->sizeHint().height() + 3 * fontMetrics().height() + 12);
    EditXash = named(new QLineEdit(this), "EditXash");
    EditXash->setPlaceholderText(QStringLiteral("host:27010"));
    SBXashDel = named(widgets::button(tr("Удалить"), this), "SBXashDel");
    SBXashAdd = named(widgets::button(tr("Добавить"), this), "SBXashAdd");
    EditListUrl = named(new QLineEdit(this), "EditListUrl");
    EditListUrl->setPlaceholderText(QStringLiteral("http://host/path"));
    EditListUrl->setToolTip(tr("Адрес HTTP-списка серверов; пусто: не спрашивать"));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(CBXash, 0, 0, 1, 4);
    grid->addWidget(LWXash, 1, 0, 3, 2);
    grid->addWidget(EditXash, 1, 2, 1, 2);
    grid->addWidget(SBXashDel, 2, 2);
    grid->addWidget(SBXashAdd, 2, 3);
    auto* urlLabel = new QLabel(tr("HTTP-список:"), this);
    urlLabel->setBuddy(EditListUrl);
    grid->addWidget(urlLabel, 4, 0);
    grid->addWidget(EditListUrl, 4, 1, 1, 3);
    grid->setColumnStretch(1, 1);

    connect(SBXashAdd, &QPushButton::clicked, this, [this] { SBXashAddClick(); });
    connect(SBXashDel, &QPushButton::clicked, this, [this] { SBXashDelClick(); });
    connect(EditXash, &QLineEdit::returnPressed, this, [this] { SBXashAddClick(); });
}

void XashSection::load(const XashSource& source)
{
    CBXash->setChecked(source.enabled);
    LWXash->clear();
    for (const QString& master : source.masters)
        new QTreeWidgetItem(LWXash, {master});
    EditListUrl->setText(source.listUrl);
}

XashSource XashSection::source() const
{
    XashSource s;
    s.enabled = CBXash->isChecked();
    for (int row = 0; row < LWXash->topLevelItemCount(); ++row)
        s.masters.append(LWXash->topLevelItem(row)->text(0));
    s.listUrl = EditListUrl->text().trimmed();
    return s;
}

void XashSection::SBXashAddClick()
{
    const QString text = EditXash->text();
    if (const QString problem = newMasterError(text, source().masters, DefaultXashMasterPort);
        !problem.isEmpty()) {
        widgets::error(problem);
        return;
    }
    LWXash->setCurrentItem(
        new QTreeWidgetItem(LWXash, {parseMasterEntry(text, DefaultXashMasterPort)->text()}));
    EditXash->clear();
}

void XashSection::SBXashDelClick()
{
    const int row = widgets::selectedRow(LWXash);
    if (row < 0)
        return;
    delete LWXash->takeTopLevelItem(row);
    LWXash->clearSelection();
    widgets::selectRow(LWXash, row > 0 ? row - 1 : 0);
}

} // namespace vantry::options
