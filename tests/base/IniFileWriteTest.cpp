#include "base/IniFile.h"
#include "base/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

using vantry::IniFile;
using vantry::StoreWriteError;

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Files may grow to at most `bytes` while it lives; a larger write fails as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace

TEST(IniFileWrite, NewFileIsForTheOwnerOnly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vantry.ini"));
    IniFile ini(path);
    ini.writeString(QStringLiteral("Settings"), QStringLiteral("Width"), QStringLiteral("680"));
    EXPECT_TRUE(QFile::permissions(path).testFlags(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    EXPECT_EQ(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther |
                                          QFileDevice::WriteGroup | QFileDevice::WriteOther),
              QFileDevice::Permissions());
}

TEST(IniFileWrite, AFileThatComesToHoldAPasswordLosesItsWiderRights)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vantry.ini"));
    const QFileDevice::Permissions wide =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    const QFileDevice::Permissions others =
        QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Settings]\nWidth=680\n");
    }
    ASSERT_TRUE(QFile::setPermissions(path, wide));

    IniFile ini(path, {{QStringLiteral("Password"), QStringLiteral("LastPass")}});
    // Without a password the user's choice of rights stands.
    ini.writeString(QStringLiteral("Password"), QStringLiteral("LastPass"), QString());
    EXPECT_EQ(QFile::permissions(path) & others, QFileDevice::ReadGroup | QFileDevice::ReadOther);
    // The password prompt's save at exit: from now on for the owner only.
    ini.writeString(QStringLiteral("password"), QStringLiteral("lastpass"), QStringLiteral("secret"));
    EXPECT_EQ(QFile::permissions(path) & others, QFileDevice::Permissions());
    EXPECT_TRUE(QFile::permissions(path).testFlags(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    // Made wider again by hand, the next write that keeps the password narrows it again.
    ASSERT_TRUE(QFile::setPermissions(path, wide));
    ini.writeString(QStringLiteral("Settings"), QStringLiteral("Width"), QStringLiteral("700"));
    EXPECT_EQ(QFile::permissions(path) & others, QFileDevice::Permissions());
}

TEST(IniFileWrite, FailedWriteThrowsWithThePathAndKeepsTheOldFileAndState)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vantry.ini"));
    IniFile ini(path);
    ini.writeString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("old"));
    const QByteArray before = contents(path);
    {
        FileSizeLimit limit(64);
        try {
            ini.writeString(QStringLiteral("S"), QStringLiteral("big"), QString(200, u'x'));
            FAIL() << "a write past the file size limit succeeded";
        } catch (const StoreWriteError& error) {
            EXPECT_EQ(error.text(), QStringLiteral("Unable to write to ") + QDir::toNativeSeparators(path));
        }
    }
    EXPECT_EQ(contents(path), before);
    EXPECT_EQ(ini.readString(QStringLiteral("S"), QStringLiteral("big"), QStringLiteral("none")),
              QStringLiteral("none"));
    // No temporary file is left beside the settings file.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("vantry.ini")});
}

TEST(IniFileWrite, MissingFolderIsAWriteError)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("gone/vantry.ini"));
    IniFile ini(path);
    EXPECT_THROW(ini.writeInteger(QStringLiteral("Settings"), QStringLiteral("GameType"), 1),
                 StoreWriteError);
    ini.eraseSection(QStringLiteral("Settings")); // nothing to erase: no write, no error
}

TEST(IniFileWrite, ReadOnlyFileOrFolderRefusesWrites)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vantry.ini"));
    IniFile ini(path);
    ini.writeString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"));
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    EXPECT_THROW(ini.writeString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("w")),
                 StoreWriteError);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EXPECT_THROW(ini.writeString(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("w")),
                 StoreWriteError);
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(contents(path), QByteArray("[S]\nk=v\n"));
}

TEST(IniFileWrite, BatchWritesTheFileOnceAtCommitOrNotAtAll)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vantry.ini"));
    IniFile ini(path);
    {
        IniFile::Batch batch(ini);
        ini.writeString(QStringLiteral("S"), QStringLiteral("a"), QStringLiteral("1"));
        EXPECT_EQ(ini.readString(QStringLiteral("S"), QStringLiteral("a"), QString()), QStringLiteral("1"));
        EXPECT_FALSE(QFile::exists(path));
        batch.commit();
    }
    EXPECT_EQ(contents(path), QByteArray("[S]\na=1\n"));
    {
        IniFile::Batch batch(ini);
        ini.eraseSection(QStringLiteral("S"));
        // dropped without commit
    }
    EXPECT_EQ(ini.readString(QStringLiteral("S"), QStringLiteral("a"), QString()), QStringLiteral("1"));
    EXPECT_EQ(contents(path), QByteArray("[S]\na=1\n"));
    {
        FileSizeLimit limit(16);
        IniFile::Batch batch(ini);
        ini.eraseSection(QStringLiteral("S"));
        ini.writeString(QStringLiteral("Settings"), QStringLiteral("Height"), QString(100, u'9'));
        EXPECT_THROW(batch.commit(), StoreWriteError);
    }
    EXPECT_EQ(contents(path), QByteArray("[S]\na=1\n"));
    EXPECT_EQ(ini.readString(QStringLiteral("S"), QStringLiteral("a"), QString()), QStringLiteral("1"));
}

TEST(SettingsFile, DefaultsBesideTheExecutableAndCanBeOverridden)
{
    EXPECT_TRUE(vantry::settingsFilePath().endsWith(QStringLiteral("/vantry.ini")));
    QTemporaryDir dir;
    vantry::setSettingsFilePath(dir.filePath(QStringLiteral("other.ini")));
    EXPECT_EQ(vantry::settingsFilePath(), dir.filePath(QStringLiteral("other.ini")));
    vantry::setSettingsFilePath(QString());
    EXPECT_TRUE(vantry::settingsFilePath().endsWith(QStringLiteral("/vantry.ini")));
}
