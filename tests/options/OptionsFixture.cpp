#include "OptionsFixture.h"

#include "base/SettingsFile.h"
#include "ui/Transparency.h"

#include <QFile>

namespace vantry::test {

void OptionsFixture::SetUp()
{
    setSettingsFilePath(path());
    setPrompter(&m_prompter);
    ui::Transparency::setOn(false);
    ui::Transparency::setLevel(255);
}

void OptionsFixture::TearDown()
{
    m_dialog.reset();
    setPrompter(nullptr);
    setSettingsFilePath(QString());
}

void OptionsFixture::writeRaw(const QByteArray& bytes) const
{
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray OptionsFixture::readRaw() const
{
    QFile file(path());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

options::TSettings& OptionsFixture::create()
{
    m_dialog = std::make_unique<options::TSettings>(m_host, &m_main);
    m_dialog->FormCreate();
    return *m_dialog;
}

void OptionsFixture::destroy()
{
    m_dialog->FormDestroy();
    m_dialog.reset();
}

Box OptionsFixture::lastBox() const
{
    EXPECT_FALSE(m_prompter.boxes.empty());
    return m_prompter.boxes.empty() ? Box{} : m_prompter.boxes.back();
}

} // namespace vantry::test
