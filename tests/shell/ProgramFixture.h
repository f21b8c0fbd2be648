#pragma once

#include "base/Prompter.h"
#include "shell/Shell.h"
#include "shell/WidgetPrompter.h"
#include "query/Records.h"

#include <QByteArray>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class QMessageBox;
class QObject;
class QWidget;

namespace vantry {
class TForm1;
}

namespace vantry::test {

// The program as main() builds it, over a settings file in a temporary folder, with the real
// message boxes.
class Program
{
public:
    explicit Program(const QByteArray& settings = {});
    ~Program();

    Shell& shell() { return *m_shell; }
    TForm1& form();
    QString path() const;

    // Runs the program's loop with the script started inside it. -1 when the loop still ran
    // at the deadline (a watchdog then ended it).
    int run(const std::function<void()>& script, int deadlineMs = 3000);

    // The settings file as the end of the program left it.
    QByteArray end();

private:
    QTemporaryDir m_dir;
    WidgetPrompter m_boxes;
    std::unique_ptr<Shell> m_shell;
};

// Runs the action once the condition holds, checked every 10 ms by whichever loop runs then (a
// box's own loop included).
void when(QObject* context, const std::function<bool()>& ready, const std::function<void()>& action);

// The message box that waits for an answer, if any.
QMessageBox* openBox();

// A close request as the window manager sends it for the title bar's close box.
void pressCloseBox(QWidget* window);

// Lists one server at 127.0.0.1:27015 and selects it with a click on its row, as a user would.
void listAndSelect(Program& program, query::Image status);

} // namespace vantry::test
