#pragma once

#include "query/Endpoint.h"

#include <QString>
#include <QVector>

namespace vantry {

// The main window's state that several parts of the program share; all on the window thread.
// The long operations that yield to the event loop; at most one runs at a time.
enum class LongOperation
{
    None,
    Sweep,
    Refresh,
    FavouritesPass,
};

struct MainState
{
    // Set when the program is closing or the session ends: every loop unwinds at its next step.
    bool closing = false;
    LongOperation running = LongOperation::None;

    // Scan engine.
    bool scanning = false;
    bool stopRequest = false;
    int cooldown = 0;
    QVector<query::Endpoint> refreshList;

    // Auto-connect.
    bool autoConnect = false;
    query::Endpoint autoTarget;
    int playerThreshold = 0;
    int pollCounter = 0;

    // Launcher: "+password " and the password, and whether one was just given.
    QString passwordParam;
    bool passwordGiven = false;
};

} // namespace vantry
