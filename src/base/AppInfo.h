#pragma once

#include <QString>

namespace vantry {

// The application title: the main window's caption, the tray tooltip's product name, and the
// text a second copy looks for.
inline QString appTitle()
{
    return QStringLiteral("Vantry 1.98");
}
inline QString productName()
{
    return QStringLiteral("Vantry");
}

// The text of the standard error box: "." is added when the last character sorts after ".",
// as after a file name.
QString standardErrorText(const QString& message);

} // namespace vantry
