#pragma once

#include "base/IntervalTimer.h"
#include "base/Prompter.h"
#include "options/SettingsHost.h"
#include "options/ui/Options.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

#include <array>
#include <gtest/gtest.h>
#include <memory>

namespace vantry::test {

// The main window as the options dialog sees it.
class FakeHost : public options::SettingsHost
{
public:
    int scanMode() const override { return mode; }
    void setScanMode(int index) override { mode = index; }
    QSize windowSize() const override { return size; }
    void setWindowSize(const QSize& s) override { size = s; }
    IntervalTimer& favouritesTimer() override { return timer; }
    void setStatusText(int panel, const QString& text) override
    {
        status.at(static_cast<std::size_t>(panel)) = text;
    }

    // Back to a main window that was just created.
    void reset()
    {
        mode = 0;
        size = QSize(790, 312);
        timer.setEnabled(false);
        timer.setInterval(10000);
        status = {};
    }

    int mode = 0;
    QSize size{790, 312};
    IntervalTimer timer{10000};
    std::array<QString, 3> status;
};

struct Box
{
    QString caption;
    QString text;
    BoxIcon icon;
};

class RecordingPrompter : public Prompter
{
public:
    void message(const QString& caption, const QString& text, BoxIcon icon) override
    {
        boxes.push_back({caption, text, icon});
    }
    bool confirm(const QString& text) override
    {
        questions << text;
        return answer;
    }
    void beep() override { ++beeps; }

    std::vector<Box> boxes;
    QStringList questions;
    int beeps = 0;
    bool answer = true;
};

// A dialog over a settings file in a temporary folder, with a fake main window.
class OptionsFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    QString path() const { return m_dir.filePath(QStringLiteral("vantry.ini")); }
    void writeRaw(const QByteArray& bytes) const;
    QByteArray readRaw() const;
    // Creates the dialog and loads the file, as start-up does.
    options::TSettings& create();
    // Saves and destroys the dialog, as shutdown does.
    void destroy();
    options::TSettings& dialog() { return *m_dialog; }
    // The last box shown; fails the test when there is none.
    Box lastBox() const;

    QTemporaryDir m_dir;
    FakeHost m_host;
    QWidget m_main;
    RecordingPrompter m_prompter;
    std::unique_ptr<options::TSettings> m_dialog;
};

} // namespace vantry::test
