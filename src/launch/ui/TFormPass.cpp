#include "TFormPass.h"

#include "base/IniFile.h"
#include "launch/Launcher.h"
#include "query/Records.h"
#include "ui/Icons.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace vantry::launch {

namespace {

const QString Section = QStringLiteral("Password");
const QString LastPassKey = QStringLiteral("LastPass");
const QString ShowPassKey = QStringLiteral("ShowPass");

} // namespace

TFormPass::TFormPass(Launcher& launcher, const IniFile* settings, QWidget* parent)
    : QDialog(parent), m_launcher(launcher)
{
    setWindowTitle(tr("Пароль"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(249, 100);

    Image1 = new QLabel(this);
    Image1->setGeometry(8, 10, 32, 32);
    Image1->setPixmap(ui::pixmap(static_cast<int>(query::Image::Password), 32));
    Label1 = new QLabel(tr("Введите пароль"), this);
    Label1->setGeometry(48, 6, 190, 16);
    MEPass = new QLineEdit(this);
    MEPass->setObjectName(QStringLiteral("MEPass"));
    MEPass->setGeometry(48, 24, 193, 21);
    MEPass->setEchoMode(QLineEdit::Password);
    // Every character shows as "*", whatever the style's own mask character is.
    MEPass->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    CBShowPass = new QCheckBox(tr("Показать пароль"), this);
    CBShowPass->setGeometry(48, 48, 193, 17);
    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setGeometry(86, 70, 75, 25);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(tr("Отмена"), this);
    BitBtn2->setGeometry(166, 70, 75, 25);
    BitBtn2->setAutoDefault(false);

    connect(CBShowPass, &QCheckBox::toggled, this, [this] { CBShowPassClick(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });

    if (settings) {
        CBShowPass->setChecked(settings->readBool(Section, ShowPassKey, false));
        MEPass->setText(settings->readString(Section, LastPassKey, QString()));
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TFormPass::openFor(const query::Endpoint& server)
{
    m_server = server;
    show();
    raise();
    activateWindow();
    focusPassword();
}

void TFormPass::saveSettings(IniFile& settings) const
{
    IniFile::Batch batch(settings);
    settings.eraseSection(Section);
    settings.writeString(Section, LastPassKey, MEPass->text());
    settings.writeBool(Section, ShowPassKey, CBShowPass->isChecked());
    batch.commit();
}

void TFormPass::BitBtn1Click()
{
    if (MEPass->text().isEmpty()) {
        MEPass->setFocus();
        return;
    }
    // Refused with a message when the server is gone: the prompt stays open, nothing starts.
    if (!m_server || !m_launcher.acceptPassword(*m_server, MEPass->text()))
        return;
    const query::Endpoint server = *m_server;
    hide();
    m_launcher.playServer(server);
}

void TFormPass::BitBtn2Click()
{
    hide();
    m_launcher.withdrawPassword();
}

void TFormPass::CBShowPassClick()
{
    MEPass->setEchoMode(CBShowPass->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

void TFormPass::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_showHook)
        m_showHook(this);
    focusPassword();
}

void TFormPass::reject()
{
    BitBtn2Click();
}

void TFormPass::closeEvent(QCloseEvent* event)
{
    event->accept();
}

void TFormPass::focusPassword()
{
    MEPass->setFocus();
    MEPass->selectAll();
}

} // namespace vantry::launch
