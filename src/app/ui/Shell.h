#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace vantry {

class TForm1;

// The program's windows, created in order at start-up and destroyed in the reverse order, so
// that the options dialog still sees the main window when it writes the settings file.
class Shell
{
public:
    struct Options
    {
        QString settingsFile; // empty: vantry.ini beside the executable
        std::uint16_t localPort = 27005;
    };

    explicit Shell(const Options& options);
    ~Shell();

    TForm1& mainWindow() { return *m_form; }
    void show();

private:
    std::unique_ptr<TForm1> m_form;
};

} // namespace vantry
