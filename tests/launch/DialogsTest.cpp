#include "LaunchFixtures.h"
#include "base/IniFile.h"
#include "browser/StaticSettings.h"
#include "launch/AutoConnect.h"
#include "launch/Launcher.h"
#include "launch/ui/TFormAuto.h"
#include "launch/ui/TFormPass.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using vantry::IniFile;
using vantry::browser::StaticSettings;
using vantry::launch::AutoConnect;
using vantry::launch::Launcher;
using vantry::launch::TFormAuto;
using vantry::launch::TFormPass;
using vantry::query::Endpoint;
using vantry::test::FakeHost;
using vantry::test::Probe;
using vantry::test::RecordingPrompter;
using Image = vantry::query::Image;

namespace {

const Endpoint Locked{(127u << 24) | 5, 27015};

struct DialogFixture : ::testing::Test
{
    QTemporaryDir dir;
    StaticSettings settings;
    FakeHost host;
    RecordingPrompter prompts;
    Launcher launcher{settings, host};
    AutoConnect autoConnect{launcher, host};
    Probe probe;

    DialogFixture()
    {
        autoConnect.setDeferral([](std::function<void()> job) { job(); });
        settings.paths[2] = probe.install(QStringLiteral("cs"));
        host.add(QStringLiteral("1.6"), Locked, {12, 16}, Image::Password);
        // Another row is selected: OK must join the row the prompt was opened for.
        host.selected = host.add(QStringLiteral("1.6"), QStringLiteral("127.0.0.6"), QStringLiteral("27015"));
    }

    QString iniPath() const { return dir.path() + QStringLiteral("/vantry.ini"); }
    void writeIni(const QByteArray& text) const
    {
        QFile f(iniPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
};

} // namespace

TEST_F(DialogFixture, PasswordPromptWithoutSettingsIsEmptyMaskedWithStarsAndUnticked)
{
    const IniFile ini(iniPath());
    TFormPass form(launcher, &ini);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Пароль"));
    EXPECT_EQ(form.size(), QSize(249, 100));
    EXPECT_TRUE(form.MEPass->text().isEmpty());
    EXPECT_FALSE(form.CBShowPass->isChecked());
    EXPECT_EQ(form.CBShowPass->text(), QStringLiteral("Показать пароль"));
    EXPECT_EQ(form.BitBtn2->text(), QStringLiteral("Отмена"));
    EXPECT_TRUE(form.BitBtn1->isDefault());

    form.openFor(Locked);
    QTest::keyClicks(form.MEPass, QStringLiteral("ab c"));
    EXPECT_EQ(form.MEPass->displayText(), QStringLiteral("****"));
    QTest::mouseClick(form.CBShowPass, Qt::LeftButton);
    EXPECT_EQ(form.MEPass->displayText(), QStringLiteral("ab c"));
    QTest::mouseClick(form.CBShowPass, Qt::LeftButton);
    EXPECT_EQ(form.MEPass->displayText(), QStringLiteral("****"));
    EXPECT_FALSE(QFile::exists(iniPath()));
}

TEST_F(DialogFixture, PasswordPromptOkJoinsTheRowItWasOpenedForWithThePasswordWhole)
{
    const IniFile ini(iniPath());
    TFormPass form(launcher, &ini);
    host.showPasswordPrompt(Locked);
    form.openFor(Locked);
    ASSERT_TRUE(form.isVisible());
    QTest::keyClicks(form.MEPass, QStringLiteral("my pass "));
    probe.expect(QStringLiteral("ok"));
    QTest::keyClick(form.MEPass, Qt::Key_Return);

    EXPECT_FALSE(form.isVisible());
    const auto record = probe.wait();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->arguments.mid(2),
              (QStringList{QStringLiteral("+password"), QStringLiteral("my pass "),
                           QStringLiteral("+connect"), QStringLiteral("127.0.0.5:27015")}));
    EXPECT_EQ(launcher.passwordParam(), QStringLiteral("+password my pass "));
    EXPECT_FALSE(launcher.passwordGiven()); // down again after the launch
}

TEST_F(DialogFixture, PasswordPromptOkWithEmptyTextOrAGoneRowStartsNothingAndStaysOpen)
{
    const IniFile ini(iniPath());
    TFormPass form(launcher, &ini);
    form.openFor(Locked);
    QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(launcher.passwordGiven());
    EXPECT_TRUE(prompts.messages.isEmpty());

    QTest::keyClicks(form.MEPass, QStringLiteral("pw"));
    host.remove(Locked); // a poll or a sweep emptied the list meanwhile
    QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    EXPECT_TRUE(form.isVisible());
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].text,
              QStringLiteral("Server 127.0.0.5:27015 is no longer listed; nothing started."));
    EXPECT_FALSE(launcher.passwordGiven());
    EXPECT_TRUE(launcher.passwordParam().isEmpty());
    EXPECT_TRUE(launcher.lastProgram().isEmpty());
}

TEST_F(DialogFixture, PasswordPromptCancelClearsTheFlagAndTheCloseBoxClearsNothing)
{
    const IniFile ini(iniPath());
    TFormPass form(launcher, &ini);
    launcher.givePassword(QStringLiteral("earlier"), Locked);
    form.openFor(Locked);
    form.close();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(launcher.passwordGiven());

    form.openFor(Locked);
    QTest::keyClick(form.MEPass, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(launcher.passwordGiven());
    EXPECT_EQ(launcher.passwordParamFor(Locked), QStringLiteral("+password earlier"));
}

TEST_F(DialogFixture, PasswordPromptRemembersItsSectionAndWritesExactlyTwoKeys)
{
    writeIni("[Settings]\nGameType=0\n[Password]\nLastPass=old one\nShowPass=1\nStray=x\n");
    IniFile ini(iniPath());
    TFormPass form(launcher, &ini);
    EXPECT_EQ(form.MEPass->text(), QStringLiteral("old one"));
    EXPECT_TRUE(form.CBShowPass->isChecked());
    EXPECT_EQ(form.MEPass->echoMode(), QLineEdit::Normal);

    // Reopening shows the last password, selected, so that typing replaces it.
    form.openFor(Locked);
    EXPECT_EQ(form.MEPass->selectedText(), QStringLiteral("old one"));
    QTest::keyClicks(form.MEPass, QStringLiteral("new"));
    EXPECT_EQ(form.MEPass->text(), QStringLiteral("new"));
    form.close();
    form.openFor(Locked);
    EXPECT_EQ(form.MEPass->selectedText(), QStringLiteral("new"));
    QTest::mouseClick(form.CBShowPass, Qt::LeftButton);

    form.saveSettings(ini);
    const IniFile reread(iniPath());
    EXPECT_EQ(reread.keys(QStringLiteral("Password")),
              (QStringList{QStringLiteral("LastPass"), QStringLiteral("ShowPass")}));
    EXPECT_EQ(reread.readString(QStringLiteral("Password"), QStringLiteral("LastPass"), {}),
              QStringLiteral("new"));
    EXPECT_FALSE(reread.readBool(QStringLiteral("Password"), QStringLiteral("ShowPass"), true));
    EXPECT_EQ(reread.readString(QStringLiteral("Settings"), QStringLiteral("GameType"), {}),
              QStringLiteral("0"));
}

TEST_F(DialogFixture, AutoDialogProposesOneLessThanTheRowsPlayersAndNamesItsAddress)
{
    TFormAuto form(autoConnect);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Автосоединение"));
    EXPECT_EQ(form.size(), QSize(232, 175));
    EXPECT_EQ(form.SPNeed->value(), 9);
    EXPECT_EQ(form.SPNeed->maximum(), 64);
    EXPECT_EQ(form.CB->currentText(), QStringLiteral("<="));
    EXPECT_FALSE(form.EditPass->isEnabled());

    form.openFor(host.findServer(Locked));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Auto connect to 127.0.0.5"));
    EXPECT_EQ(form.SPNeed->maximum(), 16);
    EXPECT_EQ(form.SPNeed->value(), 11);

    vantry::launch::ListedServer empty = *host.findServer(Locked);
    empty.playerCount = 0;
    form.openFor(empty);
    EXPECT_EQ(form.SPNeed->value(), 0);

    // Without a row there is no address to name and nothing to arm.
    form.openFor(std::nullopt);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Автосоединение"));
    QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(autoConnect.armed());
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].text, QStringLiteral("No server selected; autoconnect not started."));
}

TEST_F(DialogFixture, AutoDialogOkArmsOnItsRowWithTheTypedCondition)
{
    TFormAuto form(autoConnect);
    form.openFor(host.findServer(Locked));
    form.CB->setCurrentIndex(1);
    form.SPNeed->selectAll();
    QTest::keyClicks(form.SPNeed, QStringLiteral("5"));
    QTest::mouseClick(form.CBAsk, Qt::LeftButton);
    QTest::mouseClick(form.CBPass, Qt::LeftButton);
    ASSERT_TRUE(form.EditPass->isEnabled());
    QTest::keyClicks(form.EditPass, QStringLiteral("pw"));
    QTest::keyClick(form.EditPass, Qt::Key_Return);

    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(autoConnect.armed());
    EXPECT_TRUE(autoConnect.target() == Locked);
    EXPECT_EQ(autoConnect.threshold(), 5);
    EXPECT_EQ(autoConnect.comparison(), AutoConnect::Comparison::MoreThan);
    EXPECT_TRUE(autoConnect.asks());
    EXPECT_EQ(launcher.passwordParamFor(Locked), QStringLiteral("+password pw"));
    EXPECT_EQ(host.status[2], QStringLiteral(" Autoconnect to 127.0.0.5. Waiting > 5 players."));

    // A password typed and then switched off is not used.
    autoConnect.endByUser();
    form.openFor(host.findServer(Locked));
    EXPECT_EQ(form.CB->currentText(), QStringLiteral(">")); // controls keep their values
    QTest::mouseClick(form.CBPass, Qt::LeftButton);
    EXPECT_FALSE(form.EditPass->isEnabled());
    launcher.withdrawPassword();
    QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    EXPECT_TRUE(autoConnect.armed());
    EXPECT_FALSE(launcher.passwordGiven());
}

TEST_F(DialogFixture, AutoDialogOkRefusesWhenItsRowIsGoneAndEscapeOnlyHides)
{
    TFormAuto form(autoConnect);
    form.openFor(host.findServer(Locked));
    host.remove(Locked);
    QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(autoConnect.armed());
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].caption, QStringLiteral("Auto connect"));

    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(autoConnect.armed());
}

TEST_F(DialogFixture, AutoDialogShowsItsAskBoxWholeInTheDesktopsFontSizesAndKeepsItsSize)
{
    const QFont before = QApplication::font();
    for (int points : {8, 10, 12}) {
        QFont font = before;
        font.setPointSize(points);
        QApplication::setFont(font);
        TFormAuto form(autoConnect);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        const QRect box = form.CBAsk->geometry();
        EXPECT_GE(box.width(), form.CBAsk->sizeHint().width())
            << points << " pt: «Спросить перед соединением» is cut";
        EXPECT_LE(box.right(), form.width() - 1) << points << " pt: the box reaches past the window";
        EXPECT_LE(box.bottom(), form.EditPass->geometry().top())
            << points << " pt: the box overlaps the row below";
        EXPECT_EQ(form.size(), QSize(232, 175)) << points << " pt: the window keeps its size";
    }
    QApplication::setFont(before);
}
