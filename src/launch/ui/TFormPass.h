#pragma once

#include "query/Endpoint.h"

#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantry {
class IniFile;
}

namespace vantry::launch {

class Launcher;

// The password prompt: asks for the password of a password-protected server, not modal, created
// once and hidden when closed. It remembers the server it was opened for; OK joins that server.
class TFormPass : public QDialog
{
    Q_OBJECT
public:
    // Reads section "Password" of the settings file when there is one.
    TFormPass(Launcher& launcher, const IniFile* settings, QWidget* parent = nullptr);

    // Applies the transparency each time the prompt is shown.
    void setShowHook(std::function<void(QWidget*)> hook) { m_showHook = std::move(hook); }

    // Shows the prompt for one server (address and port).
    void openFor(const query::Endpoint& server);
    const std::optional<query::Endpoint>& server() const { return m_server; }

    // The end-of-program write: erases section "Password", then writes "LastPass" (the edit's
    // text, in clear) and "ShowPass". Throws StoreWriteError; the file is then unchanged.
    void saveSettings(IniFile& settings) const;

    void BitBtn1Click();
    void BitBtn2Click();
    void CBShowPassClick();

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* MEPass = nullptr;
    QCheckBox* CBShowPass = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    // Esc is Cancel.
    void reject() override;
    // The close box only hides: the flag and the password parameter stay as they were.
    void closeEvent(QCloseEvent* event) override;

private:
    void focusPassword();

    Launcher& m_launcher;
    std::optional<query::Endpoint> m_server;
    std::function<void(QWidget*)> m_showHook;
};

} // namespace vantry::launch
