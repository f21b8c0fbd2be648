#include "WindowTexts.h"

#include "Controls.h"
#include "base/SettingsFile.h"
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"
#include "launch/ui/ConnectDialog.h"
#include "launch/ui/MainWindowLink.h"
#include "launch/ui/TFormAuto.h"
#include "launch/ui/TFormPass.h"
#include "options/ui/Options.h"
#include "shell/About.h"
#include "shell/ScanGames.h"
#include "shell/Translation.h"
#include "shell/Tray.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSet>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

void PrintTo(const QStringList& texts, std::ostream* out)
{
    *out << '{';
    for (qsizetype i = 0; i < texts.size(); ++i) {
        *out << (i ? ", " : "");
        PrintTo(texts[i], out);
    }
    *out << '}';
}

namespace vantry::test {

Windows::Windows(UiLanguage language, const QByteArray& settings)
{
    const QString path = m_dir.filePath(QStringLiteral("vantry.ini"));
    if (!settings.isEmpty()) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(settings);
    }
    // Before any window: each takes its texts when it is built.
    m_translated = installTranslation(language);
    setPrompter(&m_boxes);
    Shell::Options options;
    options.settingsFile = path;
    options.localPort = 0;
    options.hotKey = false;
    m_shell = std::make_unique<Shell>(options);
    // The about box's link is never opened by a test.
    m_shell->about().setOpener([](const QUrl&) { return true; });
}

Windows::~Windows()
{
    m_shell.reset();
    setPrompter(nullptr);
    setSettingsFilePath(QString());
    installTranslation(UiLanguage::Russian);
}

TForm1& Windows::form()
{
    return m_shell->mainWindow();
}

QList<QWidget*> Windows::windows()
{
    return {&form(),
            &m_shell->settings(),
            &m_shell->about(),
            &m_shell->launch().passForm(),
            &m_shell->launch().autoForm(),
            &m_shell->connectForm()};
}

QMenu& Windows::trayMenu()
{
    return *m_shell->tray().PMTray;
}

namespace {

QString nameOf(const QObject* object)
{
    const QString name = object->objectName();
    return QString::fromLatin1(object->metaObject()->className()) +
           (name.isEmpty() ? QString() : u'(' + name + u')');
}

class Collector
{
public:
    void add(const QString& where, const QString& text)
    {
        if (!text.isEmpty())
            m_texts.append({where, text});
    }

    void widget(QWidget* w)
    {
        const QString where = nameOf(w);
        if (w->isWindow())
            add(where + QStringLiteral(" caption"), w->windowTitle());
        add(where + QStringLiteral(" tool tip"), w->toolTip());
        add(where + QStringLiteral(" status tip"), w->statusTip());
        add(where + QStringLiteral(" what's this"), w->whatsThis());
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            add(where, b->text());
        if (auto* l = qobject_cast<QLabel*>(w))
            add(where, l->text());
        if (auto* g = qobject_cast<QGroupBox*>(w))
            add(where, g->title());
        if (auto* e = qobject_cast<QLineEdit*>(w))
            add(where + QStringLiteral(" placeholder"), e->placeholderText());
        if (auto* s = qobject_cast<QSpinBox*>(w)) {
            add(where + QStringLiteral(" prefix"), s->prefix());
            add(where + QStringLiteral(" suffix"), s->suffix());
        }
        if (auto* s = qobject_cast<QAbstractSpinBox*>(w))
            add(where + QStringLiteral(" special value"), s->specialValueText());
        if (auto* c = qobject_cast<QComboBox*>(w))
            for (int i = 0; i < c->count(); ++i)
                add(where + QStringLiteral(" item"), c->itemText(i));
        if (auto* t = qobject_cast<QTabBar*>(w))
            for (int i = 0; i < t->count(); ++i) {
                add(where + QStringLiteral(" tab"), t->tabText(i));
                add(where + QStringLiteral(" tab tip"), t->tabToolTip(i));
            }
        if (auto* h = qobject_cast<QHeaderView*>(w); h && h->model())
            for (int i = 0; i < h->count(); ++i)
                for (const int role : {int(Qt::DisplayRole), int(Qt::ToolTipRole)})
                    add(where + QStringLiteral(" header"),
                        h->model()->headerData(i, h->orientation(), role).toString());
        if (auto* m = qobject_cast<QMenu*>(w))
            add(where + QStringLiteral(" title"), m->title());
        for (QAction* a : w->actions())
            action(a, where);
    }

    void action(QAction* a, const QString& owner)
    {
        if (m_seen.contains(a))
            return;
        m_seen.insert(a);
        const QString where = owner + QStringLiteral(" action");
        add(where, a->text());
        add(where + QStringLiteral(" status tip"), a->statusTip());
        add(where + QStringLiteral(" what's this"), a->whatsThis());
        if (QMenu* menu = a->menu()) {
            add(where + QStringLiteral(" menu"), menu->title());
            for (QAction* sub : menu->actions())
                action(sub, where);
        }
    }

    QList<ShownText> texts() const { return m_texts; }

private:
    QList<ShownText> m_texts;
    QSet<QAction*> m_seen;
};

} // namespace

QList<ShownText> shownTexts(QWidget* window)
{
    Collector collect;
    collect.widget(window);
    for (QWidget* child : window->findChildren<QWidget*>())
        collect.widget(child);
    return collect.texts();
}

QStringList cyrillicTexts(const QList<ShownText>& texts)
{
    static const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
    QStringList found;
    for (const ShownText& t : texts)
        if (t.text.contains(cyrillic) && !found.contains(t.text))
            found.append(t.text);
    found.sort();
    return found;
}

QString describe(const QList<ShownText>& texts)
{
    QString all;
    for (const ShownText& t : texts)
        all += t.where + QStringLiteral(": ") + t.text + u'\n';
    return all;
}

void whenBoxOpens(QObject* context, const std::function<void(QMessageBox&)>& action)
{
    auto* timer = new QTimer(context);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, context, [timer, action] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        timer->deleteLater();
        timer->stop();
        action(*box);
    });
    timer->start();
}

void whenMenuOpens(QObject* context, const std::function<void(QMenu&)>& action)
{
    auto* timer = new QTimer(context);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, context, [timer, action] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || !menu->isVisible())
            return;
        timer->deleteLater();
        timer->stop();
        action(*menu);
    });
    timer->start();
}

void listAndSelect(TForm1& form, bool full)
{
    query::ServerRow row;
    row.kind = query::Game::CounterStrike16;
    row.name = "Texts";
    row.from = {(127u << 24) | 1, 27015};
    row.playerCount = full ? 20 : 3;
    row.maxPlayerCount = 20;
    row.status = full ? query::Image::Full : query::Image::Open;
    form.servers().add(row);
    browser::ListView* list = control<vantry::browser::ListView>(form, "LW");
    const QRect at = list->visualRect(list->model()->index(list->model()->rowCount() - 1, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at.center());
}

} // namespace vantry::test
