#include "WatchSection.h"

#include "options/WatchList.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace vantry::options {

WatchSection::WatchSection(QWidget* parent) : QGroupBox(tr("Следить за игроками"), parent)
{
    setObjectName(QStringLiteral("GBWatch"));
    LBWatch = new QListWidget(this);
    LBWatch->setObjectName(QStringLiteral("LBWatch"));
    LBWatch->installEventFilter(this);
    EditWatch = new QLineEdit(this);
    EditWatch->setObjectName(QStringLiteral("EditWatch"));
    EditWatch->setPlaceholderText(tr("Ник игрока"));
    SBWatchAdd = new QPushButton(QStringLiteral("+"), this);
    SBWatchAdd->setObjectName(QStringLiteral("SBWatchAdd"));
    SBWatchDel = new QPushButton(QStringLiteral("-"), this);
    SBWatchDel->setObjectName(QStringLiteral("SBWatchDel"));
    for (QPushButton* b : {SBWatchAdd, SBWatchDel}) {
        b->setAutoDefault(false);
        b->setFixedWidth(b->sizeHint().height());
    }
    // A few rows are enough; the dialog keeps its size.
    LBWatch->setMaximumHeight(LBWatch->fontMetrics().height() * 5);

    auto* grid = new QGridLayout(this);
    grid->addWidget(LBWatch, 0, 0, 1, 3);
    grid->addWidget(EditWatch, 1, 0);
    grid->addWidget(SBWatchAdd, 1, 1);
    grid->addWidget(SBWatchDel, 1, 2);

    connect(SBWatchAdd, &QPushButton::clicked, this, [this] { SBWatchAddClick(); });
    connect(SBWatchDel, &QPushButton::clicked, this, [this] { SBWatchDelClick(); });
    // Enter adds the name and stays in the field; it does not close the dialog.
    connect(EditWatch, &QLineEdit::returnPressed, this, [this] { SBWatchAddClick(); });
}

void WatchSection::load(const QStringList& names)
{
    LBWatch->clear();
    LBWatch->addItems(tidyWatchList(names));
}

QStringList WatchSection::names() const
{
    QStringList out;
    for (int i = 0; i < LBWatch->count(); ++i)
        out << LBWatch->item(i)->text();
    return out;
}

void WatchSection::SBWatchAddClick()
{
    const QStringList before = names();
    const QStringList after = tidyWatchList(before + QStringList{EditWatch->text()});
    if (after.size() > before.size())
        LBWatch->addItem(after.back());
    EditWatch->clear();
}

void WatchSection::SBWatchDelClick()
{
    delete LBWatch->takeItem(LBWatch->currentRow());
}

bool WatchSection::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == LBWatch && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        SBWatchDelClick();
        return true;
    }
    return QGroupBox::eventFilter(watched, event);
}

} // namespace vantry::options
