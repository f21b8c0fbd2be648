#pragma once

#include <QGroupBox>
#include <QStringList>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace vantry::options {

// The watched players, on the favourites page: a name is added with Enter or «+», the selected
// one removed with «-» or Delete.
class WatchSection : public QGroupBox
{
    Q_OBJECT
public:
    explicit WatchSection(QWidget* parent);

    void load(const QStringList& names);
    QStringList names() const;

    void SBWatchAddClick();
    void SBWatchDelClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QListWidget* LBWatch = nullptr;
    QLineEdit* EditWatch = nullptr;
    QPushButton* SBWatchAdd = nullptr;
    QPushButton* SBWatchDel = nullptr;
};

} // namespace vantry::options
