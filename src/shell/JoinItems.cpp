// The main window's ways to join or pass on a server beside the list's own: «Подключиться к...»,
// «Копировать адрес» and the pages added beside the details.
#include "ScanGames.h"
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"

#include <QAction>
#include <QClipboard>
#include <QDockWidget>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>

namespace vantry {

namespace {

// Ctrl+C on the list copies the server's address: the view itself would copy the current cell's
// text, and it takes the key before any shortcut of an action sees it.
class CopyKey : public QObject
{
public:
    CopyKey(QObject* parent, std::function<void()> copy) : QObject(parent), m_copy(std::move(copy)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
            m_copy();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_copy;
};

} // namespace

void TForm1::buildJoinItems(QMenu* file)
{
    m_fileMenu = file;
    Connect1 = new QAction(tr("Подключиться к..."), this);
    Connect1->setObjectName(QStringLiteral("Connect1"));
    Connect1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    file->insertAction(file->actions().value(0), Connect1);
    addAction(Connect1); // the shortcut works while the menu is closed
    connect(Connect1, &QAction::triggered, this, [this] { guarded([this] { Connect1Click(); }); });

    PMSCopy =
        PMServers->addAction(tr("Копировать адрес"), this, [this] { guarded([this] { PMSCopyClick(); }); });
    PMSCopy->setObjectName(QStringLiteral("PMSCopy"));
    // The menu shows the key; the list's own filter does the copy.
    PMSCopy->setShortcut(QKeySequence::Copy);
    PMSCopy->setShortcutContext(Qt::WidgetShortcut);
    LW->installEventFilter(new CopyKey(LW, [this] { guarded([this] { PMSCopyClick(); }); }));
}

void TForm1::setRecentPanel(QWidget* panel, const QString& title, bool shown)
{
    // A panel of its own: the details beside the list have no room for a third tab.
    auto* dock = new QDockWidget(title, this);
    dock->setObjectName(QStringLiteral("DockRecent"));
    dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    dock->setAllowedAreas(Qt::BottomDockWidgetArea | Qt::TopDockWidgetArea);
    dock->setWidget(panel);
    addDockWidget(Qt::BottomDockWidgetArea, dock);
    dock->setVisible(shown);
    Recent1 = dock->toggleViewAction();
    Recent1->setObjectName(QStringLiteral("Recent1"));
    Recent1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    m_fileMenu->insertAction(Hide1, Recent1);
    addAction(Recent1);
}

void TForm1::PMSCopyClick()
{
    const int row = LW->selectedRow();
    if (row < 0)
        return;
    QGuiApplication::clipboard()->setText(servers().address(row) + u':' + servers().port(row));
}

void TForm1::Connect1Click()
{
    if (m_connectHandler)
        m_connectHandler();
}

} // namespace vantry
