#pragma once

#include "launch/LaunchHost.h"

#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace vantry::launch {

class AutoConnect;

// The auto-connect dialog: the condition, the question choice and the password. Not modal,
// created once, hidden when closed; its controls keep their values between openings. It
// remembers the server it was opened for; OK arms auto-connect on that server.
class TFormAuto : public QDialog
{
    Q_OBJECT
public:
    explicit TFormAuto(AutoConnect& autoConnect, QWidget* parent = nullptr);

    // Applies the transparency each time the dialog is shown.
    void setShowHook(std::function<void(QWidget*)> hook) { m_showHook = std::move(hook); }

    // Shows the dialog with the caption and presets of the row, or without a row.
    void openFor(const std::optional<ListedServer>& row);
    const std::optional<query::Endpoint>& server() const { return m_server; }

    void BitBtn1Click();
    void BitBtn2Click();
    void CBPassClick();

    QLabel* Label1 = nullptr;
    QComboBox* CB = nullptr;
    QSpinBox* SPNeed = nullptr;
    QLabel* Image1 = nullptr;
    QCheckBox* CBAsk = nullptr;
    QCheckBox* CBPass = nullptr;
    QLineEdit* EditPass = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    // Esc is Cancel.
    void reject() override;

private:
    AutoConnect& m_autoConnect;
    std::optional<query::Endpoint> m_server;
    std::function<void(QWidget*)> m_showHook;
};

} // namespace vantry::launch
