#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace vantry {

// One copy per user and title: the first copy listens on a local socket named after the title;
// a second copy asks it to come forward and then ends.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString& title, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when another copy answered (and was asked to restore itself).
    bool askRunningCopyToRestore();
    // Starts answering later copies. False when the name cannot be taken.
    bool listen();

    QString serverName() const { return m_name; }

signals:
    void restoreRequested();

private:
    QString m_name;
    QLocalServer* m_server = nullptr;
};

} // namespace vantry
