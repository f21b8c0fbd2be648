#include "About.h"

#include "Tray.h"
#include "base/AppInfo.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QShowEvent>

namespace vantry {

namespace {

constexpr int ClientWidth = 300;
constexpr int ClientHeight = 230;
const QColor LinkBlue(0, 0, 255);
const QColor PressedRed(255, 0, 0);
const QColor VisitedPurple(128, 0, 128);

QLabel* label(const QString& text, const QRect& at, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(at);
    return l;
}

void setColour(QLabel* l, const QColor& colour)
{
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, colour);
    l->setPalette(palette);
}

QFont styled(const QFont& base, int pixels, bool bold, bool italic)
{
    QFont f = base;
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

} // namespace

QUrl aboutPageUrl()
{
    const QDir appDir(QCoreApplication::applicationDirPath());
    // Beside the program, where it was installed, and for a program run from its build folder
    // (which may lie anywhere) the README of the source tree it was built from.
    for (const QString& candidate : {appDir.filePath(QStringLiteral("README.md")),
                                     appDir.filePath(QStringLiteral("../share/doc/vantry/README.md")),
                                     QString::fromUtf8(VANTRY_SOURCE_README)})
        if (QFileInfo(candidate).isFile())
            return QUrl::fromLocalFile(QFileInfo(candidate).canonicalFilePath());
    return QUrl::fromLocalFile(appDir.filePath(QStringLiteral("README.md")));
}

TFormAbout::TFormAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_opener([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    setWindowTitle(tr("О программе..."));
    setFixedSize(ClientWidth, ClientHeight);
    setSizeGripEnabled(false);
    QFont base(QStringLiteral("Times New Roman"));
    base.setPixelSize(12);
    setFont(base);

    Image1 = new QLabel(this);
    Image1->setGeometry(8, 8, 32, 32);
    Image1->setPixmap(trayImage(0, 32));

    Label1 = label(productName(), QRect(48, 4, 130, 32), this);
    Label1->setFont(styled(base, 27, true, true));
    setColour(Label1, LinkBlue);
    Bevel2 = new QFrame(this);
    Bevel2->setFrameShape(QFrame::HLine);
    Bevel2->setFrameShadow(QFrame::Sunken);
    Bevel2->setGeometry(48, 37, 244, 2);
    Label3 = label(tr("версия 1.98"), QRect(182, 18, 110, 16), this);
    Label3->setAlignment(Qt::AlignRight | Qt::AlignBottom);

    Label2 = label(tr("Быстрый поиск игровых серверов"), QRect(8, 44, 284, 22), this);
    Label2->setFont(styled(base, 16, false, true));
    Label2->setAlignment(Qt::AlignCenter);
    setColour(Label2, QColor(0, 0, 128));

    Label11 = label(tr("Поддержка игр:"), QRect(8, 70, 284, 16), this);
    Label11->setFont(styled(base, 12, true, false));
    Label12 = label(QStringLiteral("Half-Life, CS1.5,  CS 1.6,  CS:Source"), QRect(16, 86, 276, 16), this);
    Label13 = label(QStringLiteral("HL2DM,  Condition-Zero"), QRect(16, 102, 276, 16), this);

    Bevel1 = new QFrame(this);
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(8, 124, 284, 98);
    Label9 = label(tr("Страница в интернете:"), QRect(16, 130, 268, 16), this);
    Label9->setFont(styled(base, 12, false, true));
    Label10 = label(QString(), QRect(16, 146, 268, 16), this);
    Label10->setFont(styled(base, 12, false, false));
    Label10->setCursor(Qt::PointingHandCursor);
    Label10->setMouseTracking(true);
    Label10->installEventFilter(this);
    setLinkColour(LinkBlue);

    Label4 = label(tr("Разработка:"), QRect(16, 168, 80, 16), this);
    Label4->setFont(styled(base, 12, true, false));
    Label5 = label(QStringLiteral("The Vantry developers"), QRect(96, 168, 188, 16), this);
    Label6 = label(tr("Спасибо:"), QRect(16, 186, 80, 16), this);
    Label6->setFont(styled(base, 12, true, false));
    Label7 = label(tr("всем, кто проверял поиск в своих сетях"), QRect(16, 202, 268, 16), this);

    setLinkUrl(aboutPageUrl());

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TFormAbout::setLinkUrl(const QUrl& url)
{
    m_url = url;
    Label10->setText(url.fileName().isEmpty() ? url.toDisplayString() : url.fileName());
    Label10->setToolTip(url.toDisplayString(QUrl::PreferLocalFile));
}

void TFormAbout::Label10Click()
{
    // As with the shell's "open": whether a handler was found is not reported.
    if (m_opener)
        m_opener(m_url);
}

void TFormAbout::Label10MouseMove()
{
    QFont f = Label10->font();
    f.setUnderline(true);
    Label10->setFont(f);
}

void TFormAbout::Label10MouseLeave()
{
    QFont f = Label10->font();
    f.setUnderline(false);
    Label10->setFont(f);
}

void TFormAbout::Label10MouseDown()
{
    setLinkColour(PressedRed);
}

void TFormAbout::Label10MouseUp()
{
    setLinkColour(VisitedPurple);
}

void TFormAbout::setLinkColour(const QColor& colour)
{
    setColour(Label10, colour);
}

void TFormAbout::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous() && m_showHook)
        m_showHook(this);
}

bool TFormAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != Label10)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseMove:
        Label10MouseMove();
        break;
    case QEvent::Leave:
        Label10MouseLeave();
        break;
    case QEvent::MouseButtonPress:
        Label10MouseDown();
        break;
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        Label10MouseUp();
        if (mouse->button() == Qt::LeftButton && Label10->rect().contains(mouse->position().toPoint()))
            Label10Click();
        break;
    }
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace vantry
