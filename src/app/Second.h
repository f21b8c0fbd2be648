#pragma once

#include <QString>
#include <QVector>

namespace vantry {

// The main window's state that several parts of the program share; all on the window thread.
struct ServerAddress
{
    QString address;
    QString port;
};

struct MainState
{
    // Scan engine.
    bool scanning = false;
    bool stopRequest = false;
    int cooldown = 0;
    QVector<ServerAddress> refreshList;

    // Auto-connect.
    bool autoConnect = false;
    ServerAddress autoTarget;
    int playerThreshold = 0;
    int pollCounter = 0;

    // Launcher: "+password " and the password, and whether one was just given.
    QString passwordParam;
    bool passwordGiven = false;
};

} // namespace vantry
