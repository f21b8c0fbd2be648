#pragma once

#include <QDialog>
#include <QUrl>

#include <functional>

class QFrame;
class QLabel;

namespace vantry {

// The page behind the about box's link: the project's README as a local file, beside the
// executable, in the installed documentation folder, or at the top of the source tree.
QUrl aboutPageUrl();

// The about box: product, version, supported games and a link label. Closing only hides it.
class TFormAbout : public QDialog
{
    Q_OBJECT
public:
    using Opener = std::function<bool(const QUrl&)>;

    explicit TFormAbout(QWidget* parent = nullptr);

    // How the link is opened; the desktop's handler by default.
    void setOpener(Opener opener) { m_opener = std::move(opener); }
    void setLinkUrl(const QUrl& url);
    QUrl linkUrl() const { return m_url; }
    // Applies the transparency settings each time the box is shown.
    void setShowHook(std::function<void(QWidget*)> hook) { m_showHook = std::move(hook); }

    void Label10Click();
    void Label10MouseMove();
    void Label10MouseLeave();
    void Label10MouseDown();
    void Label10MouseUp();

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QFrame* Bevel2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label13 = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setLinkColour(const QColor& colour);

    QUrl m_url;
    Opener m_opener;
    std::function<void(QWidget*)> m_showHook;
};

} // namespace vantry
