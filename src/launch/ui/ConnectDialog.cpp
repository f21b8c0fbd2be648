#include "ConnectDialog.h"

#include "launch/TypedServer.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

namespace vantry::launch {

namespace {

// The game slots' labels and the kinds they start.
constexpr std::pair<const char*, query::Game> Games[] = {
    {"HL", query::Game::HalfLife},
    {"CS1.5", query::Game::CounterStrike15},
    {"CS1.6", query::Game::CounterStrike16},
    {"CZERO", query::Game::ConditionZero},
    {"CSS", query::Game::CounterStrikeSource},
    {"HL2DM", query::Game::HalfLife2},
};
constexpr int DefaultGame = 2;

} // namespace

ConnectDialog::ConnectDialog(std::function<QString()> gamePort, QWidget* parent)
    : QDialog(parent), m_gamePort(std::move(gamePort))
{
    setObjectName(QStringLiteral("TFormConnect"));
    setWindowTitle(tr("Подключиться к серверу"));
    setModal(false);

    EAddress = new QLineEdit(this);
    EAddress->setObjectName(QStringLiteral("EAddress"));
    EAddress->setPlaceholderText(QStringLiteral("10.0.0.5:27015"));
    EAddress->setMaxLength(64);
    CBGame = new QComboBox(this);
    CBGame->setObjectName(QStringLiteral("CBGame"));
    for (const auto& [label, kind] : Games)
        CBGame->addItem(QLatin1String(label), static_cast<int>(kind));
    CBGame->setCurrentIndex(DefaultGame);
    LProblem = new QLabel(this);
    LProblem->setObjectName(QStringLiteral("LProblem"));
    LProblem->setWordWrap(true);
    LProblem->setStyleSheet(QStringLiteral("color: #b00000"));
    BitBtnOk = new QPushButton(tr("Подключиться"), this);
    BitBtnOk->setObjectName(QStringLiteral("BitBtnOk"));
    BitBtnOk->setDefault(true);
    BitBtnCancel = new QPushButton(tr("Отмена"), this);
    BitBtnCancel->setObjectName(QStringLiteral("BitBtnCancel"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(tr("Адрес (IP:порт):"), this), 0, 0);
    grid->addWidget(EAddress, 0, 1);
    grid->addWidget(new QLabel(tr("Игра:"), this), 1, 0);
    grid->addWidget(CBGame, 1, 1);
    grid->addWidget(LProblem, 2, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtnOk);
    buttons->addWidget(BitBtnCancel);
    grid->addLayout(buttons, 3, 0, 1, 2);
    setMinimumWidth(320);

    connect(BitBtnOk, &QPushButton::clicked, this, &ConnectDialog::BitBtnOkClick);
    connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    // A new text starts over: the old problem no longer speaks of it.
    connect(EAddress, &QLineEdit::textEdited, LProblem, &QLabel::clear);
}

void ConnectDialog::openForTyping()
{
    show();
    raise();
    activateWindow();
}

void ConnectDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    LProblem->clear();
    EAddress->selectAll();
    EAddress->setFocus();
    if (m_showHook)
        m_showHook(this);
}

void ConnectDialog::BitBtnOkClick()
{
    const TypedServer typed = readTypedServer(EAddress->text(), m_gamePort ? m_gamePort() : QString());
    if (!typed.server) {
        LProblem->setText(typed.problem);
        EAddress->setFocus();
        return;
    }
    LProblem->clear();
    hide();
    if (m_join)
        m_join({*typed.server, static_cast<query::Game>(CBGame->currentData().toInt()), {}});
}

} // namespace vantry::launch
