#pragma once

#include "launch/Launcher.h"

#include <QDialog>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantry::launch {

// «Подключиться к...»: joins a server by the address the user types, "a.b.c.d:port" or
// "a.b.c.d" for the game port. What is wrong with the text is said in the dialog, which stays
// open; the game choice is the game started when the server is not listed.
class ConnectDialog : public QDialog
{
    Q_OBJECT
public:
    // gamePort gives the game port setting's text at the moment of joining.
    ConnectDialog(std::function<QString()> gamePort, QWidget* parent = nullptr);

    void setJoinHandler(std::function<void(const JoinTarget&)> join) { m_join = std::move(join); }
    // Applies the transparency each time the dialog is shown.
    void setShowHook(std::function<void(QWidget*)> hook) { m_showHook = std::move(hook); }
    // Shows the dialog with the field selected for typing.
    void openForTyping();

    void BitBtnOkClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::function<QString()> m_gamePort;
    std::function<void(const JoinTarget&)> m_join;
    std::function<void(QWidget*)> m_showHook;
    QLineEdit* EAddress = nullptr;
    QComboBox* CBGame = nullptr;
    QLabel* LProblem = nullptr;
    QPushButton* BitBtnOk = nullptr;
    QPushButton* BitBtnCancel = nullptr;
};

} // namespace vantry::launch
