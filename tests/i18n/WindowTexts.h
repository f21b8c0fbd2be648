#pragma once

#include "base/UiLanguage.h"
#include "shell/Shell.h"
#include "shell/WidgetPrompter.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <ostream>

class QMenu;
class QMessageBox;
class QWidget;

// Failures print texts as text, not as the bytes of the objects. Found by argument-dependent
// lookup, so beside QString and QStringList in the global namespace.
void PrintTo(const QString& text, std::ostream* out);
void PrintTo(const QStringList& texts, std::ostream* out);

namespace vantry {
class TForm1;
}

namespace vantry::test {

// Every window of the program as main() builds it, in one language, over a settings file in a
// temporary folder and with the real message boxes. The language is put back to Russian when
// the windows are gone.
class Windows
{
public:
    explicit Windows(UiLanguage language, const QByteArray& settings = {});
    ~Windows();
    Windows(const Windows&) = delete;
    Windows& operator=(const Windows&) = delete;

    bool translated() const { return m_translated; }
    Shell& shell() { return *m_shell; }
    TForm1& form();
    // The main window, the options dialog, the about box, the password prompt and the
    // auto-connect dialog, in the order of their creation.
    QList<QWidget*> windows();
    // The tray's menu, which has no parent window.
    QMenu& trayMenu();

private:
    QTemporaryDir m_dir;
    WidgetPrompter m_boxes;
    bool m_translated = false;
    std::unique_ptr<Shell> m_shell;
};

// One text the user can meet, and where: captions, labels, buttons, check boxes, group titles,
// tabs and their tips, tool tips, status and what's-this tips, column headers, combo box items,
// menus and their actions, with the submenus.
struct ShownText
{
    QString where;
    QString text;
};
QList<ShownText> shownTexts(QWidget* window);

// The texts among them written in Cyrillic letters, each once, sorted.
QStringList cyrillicTexts(const QList<ShownText>& texts);
// Each text of those as "where: text", for a failure message.
QString describe(const QList<ShownText>& texts);

// Runs the action on the message box as soon as it waits for an answer.
void whenBoxOpens(QObject* context, const std::function<void(QMessageBox&)>& action);
// Runs the action on the popup menu as soon as it is open.
void whenMenuOpens(QObject* context, const std::function<void(QMenu&)>& action);

// Lists one server at 127.0.0.1:27015 with that status and selects it with a click on its row.
void listAndSelect(TForm1& form, bool full);

} // namespace vantry::test
