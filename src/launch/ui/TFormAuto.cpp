#include "TFormAuto.h"

#include "launch/AutoConnect.h"
#include "ui/Icons.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>

#include <algorithm>

namespace vantry::launch {

namespace {

QFont bold(QFont font)
{
    font.setBold(true);
    return font;
}

} // namespace

TFormAuto::TFormAuto(AutoConnect& autoConnect, QWidget* parent) : QDialog(parent), m_autoConnect(autoConnect)
{
    setWindowTitle(tr("Автосоединение"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(232, 175);

    Label1 = new QLabel(tr("Подключаться, если игроков:"), this);
    Label1->setFont(bold(font()));
    Label1->setGeometry(8, 8, 216, 16);
    CB = new QComboBox(this);
    CB->addItems({QStringLiteral("<="), QStringLiteral(">")});
    CB->setEditable(false);
    CB->setGeometry(8, 30, 57, 22);
    SPNeed = new QSpinBox(this);
    SPNeed->setRange(0, 64);
    SPNeed->setValue(9);
    SPNeed->setGeometry(72, 30, 57, 22);
    Image1 = new QLabel(this);
    Image1->setGeometry(190, 26, 33, 33);
    Image1->setPixmap(ui::pixmap(static_cast<int>(query::Image::PlayersHeader), 32));
    CBAsk = new QCheckBox(tr("Спросить перед соединением"), this);
    // The design's row is 216 pixels wide; a desktop font too wide for the bold text gets smaller
    // until it fits, so the window keeps its size. Only a text that fits at no size widens it.
    QFont askFont = bold(font());
    CBAsk->setFont(askFont);
    while (CBAsk->sizeHint().width() > 216 && askFont.pointSizeF() > 6) {
        askFont.setPointSizeF(askFont.pointSizeF() - 0.5);
        CBAsk->setFont(askFont);
    }
    const int askWidth = std::max(216, CBAsk->sizeHint().width());
    CBAsk->setGeometry(8, 62, askWidth, std::max(17, CBAsk->sizeHint().height()));
    setFixedSize(std::max(232, askWidth + 16), 175);
    CBPass = new QCheckBox(tr("Пароль:"), this);
    CBPass->setFont(bold(font()));
    // As wide as its text needs in the window's language, at least the design's 80; the edit
    // takes the rest of the row.
    const int passWidth = std::max(80, CBPass->sizeHint().width());
    CBPass->setGeometry(8, 88, passWidth, 17);
    EditPass = new QLineEdit(this);
    EditPass->setObjectName(QStringLiteral("EditPass"));
    EditPass->setGeometry(12 + passWidth, 86, 212 - passWidth, 21);
    EditPass->setEnabled(false);
    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setGeometry(40, 140, 75, 25);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(tr("Отмена"), this);
    BitBtn2->setGeometry(124, 140, 75, 25);
    BitBtn2->setAutoDefault(false);

    connect(CBPass, &QCheckBox::toggled, this, [this] { CBPassClick(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TFormAuto::openFor(const std::optional<ListedServer>& row)
{
    show();
    raise();
    activateWindow();
    if (!row) {
        // No row to take a target from: OK will say so.
        m_server.reset();
        setWindowTitle(tr("Автосоединение"));
        return;
    }
    m_server = row->server();
    setWindowTitle(QStringLiteral("Auto connect to ") + addressText(row->endpoint));
    const AutoConnect::Presets presets =
        AutoConnect::presets(row->playerCount, row->maxPlayerCount, {SPNeed->maximum(), SPNeed->value()});
    SPNeed->setMaximum(presets.maximum);
    SPNeed->setValue(presets.value);
}

void TFormAuto::BitBtn1Click()
{
    // The text as typed, which the spin edit has not taken over yet when it is out of range.
    const int threshold =
        AutoConnect::thresholdFromText(SPNeed->cleanText(), SPNeed->minimum(), SPNeed->maximum());
    SPNeed->setValue(threshold);
    AutoConnect::ArmRequest request;
    request.server = m_server;
    request.comparison =
        CB->currentIndex() == 1 ? AutoConnect::Comparison::MoreThan : AutoConnect::Comparison::AtMost;
    request.threshold = threshold;
    request.ask = CBAsk->isChecked();
    if (EditPass->isEnabled())
        request.password = EditPass->text();
    if (m_autoConnect.arm(request))
        hide();
}

void TFormAuto::BitBtn2Click()
{
    hide();
}

void TFormAuto::CBPassClick()
{
    EditPass->setEnabled(CBPass->isChecked());
}

void TFormAuto::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_showHook)
        m_showHook(this);
}

void TFormAuto::reject()
{
    BitBtn2Click();
}

} // namespace vantry::launch
