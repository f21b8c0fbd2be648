#include "base/IniFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using vantry::IniFile;

namespace {

class IniFileTest : public ::testing::Test
{
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("vantry.ini")); }
    void writeRaw(const QByteArray& bytes) const
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray readRaw() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
};

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

TEST_F(IniFileTest, MissingFileGivesDefaultsAndOpeningCreatesNoFile)
{
    IniFile ini(path());
    EXPECT_EQ(ini.readString(s("Settings"), s("CSPort"), s("27015")), s("27015"));
    EXPECT_EQ(ini.readInteger(s("Settings"), s("Height"), 351), 351);
    EXPECT_TRUE(ini.readBool(s("Settings"), s("Broadcast"), true));
    EXPECT_FALSE(ini.sectionExists(s("Params")));
    EXPECT_TRUE(ini.keys(s("Favorites")).isEmpty());
    ini.eraseSection(s("Settings"));
    EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(IniFileTest, HandWrittenFileWithOddSpacingCaseCrlfBomAndBrokenLinesReads)
{
    writeRaw("\xEF\xBB\xBF; comment before any section\r\n"
             "\r\n"
             "  [ settings ]  \r\n"
             "  HEIGHT =  400  \r\n"
             "this line means nothing\r\n"
             "=orphan value\r\n"
             "\tcsport\t=\t27016\t\r\n"
             "Empty=\r\n"
             "[Favorites]\r\n"
             "10.0.0.1 3 = 27020\r\n"
             "10.0.0.2\r\n"
             "10.0.0.3 0=27015\r\n"
             "[Ranges\r\n"
             "Ranges=1\r\n"
             "[empty section]\r\n");
    IniFile ini(path());
    EXPECT_EQ(ini.readInteger(s("Settings"), s("height"), 0), 400);
    EXPECT_EQ(ini.readString(s("SETTINGS"), s("CSPort"), s("x")), s("27016"));
    EXPECT_EQ(ini.readString(s("Settings"), s("Empty"), s("x")), QString());
    EXPECT_EQ(ini.readString(s("Settings"), s("this line means nothing"), s("x")), s("x"));
    EXPECT_EQ(ini.keys(s("settings")), (QStringList{s("HEIGHT"), s("csport"), s("Empty")}));
    // A line without "=" is not a key: only two favourites.
    EXPECT_EQ(ini.keys(s("Favorites")), (QStringList{s("10.0.0.1 3"), s("10.0.0.3 0")}));
    EXPECT_EQ(ini.readString(s("Favorites"), s("10.0.0.1 3"), QString()), s("27020"));
    EXPECT_EQ(ini.readInteger(s("Ranges"), s("Ranges"), 0), 1);
    EXPECT_FALSE(ini.sectionExists(s("empty section")));
    EXPECT_TRUE(ini.sectionExists(s("FAVORITES")));
}

TEST_F(IniFileTest, WritesReplaceInPlaceAppendKeysToTheirSectionAndSectionsToTheFileEnd)
{
    writeRaw("[A]\n"
             "one=1\n"
             "; kept comment\n"
             "two=2\n"
             "\n"
             "[B]\n"
             "x=y\n");
    IniFile ini(path());
    ini.writeString(s("a"), s("ONE"), s("uno"));
    ini.writeString(s("A"), s("three"), s("3"));
    ini.writeInteger(s("C"), s("n"), -7);
    ini.writeBool(s("B"), s("flag"), true);
    EXPECT_EQ(readRaw(), QByteArray("[A]\n"
                                    "ONE=uno\n"
                                    "; kept comment\n"
                                    "two=2\n"
                                    "three=3\n"
                                    "\n"
                                    "[B]\n"
                                    "x=y\n"
                                    "flag=1\n"
                                    "[C]\n"
                                    "n=-7\n"));
    ini.eraseSection(s("a"));
    EXPECT_EQ(readRaw(), QByteArray("[B]\nx=y\nflag=1\n[C]\nn=-7\n"));
    // What is written is what a fresh reader finds.
    IniFile again(path());
    EXPECT_EQ(again.readInteger(s("c"), s("N"), 0), -7);
    EXPECT_FALSE(again.sectionExists(s("A")));
}

TEST_F(IniFileTest, CrlfFileStaysCrlf)
{
    writeRaw("[A]\r\nk=v\r\n");
    IniFile ini(path());
    ini.writeString(s("A"), s("k2"), s("w"));
    EXPECT_EQ(readRaw(), QByteArray("[A]\r\nk=v\r\nk2=w\r\n"));
}

TEST_F(IniFileTest, IntegerAndBooleanForms)
{
    writeRaw("[S]\n"
             "hex1=0x1F\nhex2=0X1f\nhex3=$ff\nhexAll=0xFFFFFFFF\nbareX=0x\nbareDollar=$\n"
             "neg=-12\nplus=+3\njunk=12abc\nhuge=99999999999\nbadHex=0x1G\nword=yes\n"
             "two=2\nzero=0\nmin=-2147483648\n");
    IniFile ini(path());
    const QString S = s("S");
    EXPECT_EQ(ini.readInteger(S, s("hex1"), 0), 31);
    EXPECT_EQ(ini.readInteger(S, s("hex2"), 0), 31);
    EXPECT_EQ(ini.readInteger(S, s("hex3"), 0), 255);
    EXPECT_EQ(ini.readInteger(S, s("hexAll"), 0), -1);
    EXPECT_EQ(ini.readInteger(S, s("bareX"), 42), 42);
    EXPECT_EQ(ini.readInteger(S, s("bareDollar"), 42), 42);
    EXPECT_EQ(ini.readInteger(S, s("neg"), 0), -12);
    EXPECT_EQ(ini.readInteger(S, s("plus"), 0), 3);
    EXPECT_EQ(ini.readInteger(S, s("junk"), 42), 42);
    EXPECT_EQ(ini.readInteger(S, s("huge"), 42), 42);
    EXPECT_EQ(ini.readInteger(S, s("badHex"), 42), 42);
    EXPECT_EQ(ini.readInteger(S, s("min"), 0), -2147483647 - 1);
    EXPECT_TRUE(ini.readBool(S, s("two"), false));
    EXPECT_FALSE(ini.readBool(S, s("zero"), true));
    EXPECT_TRUE(ini.readBool(S, s("word"), true));
    EXPECT_FALSE(ini.readBool(S, s("word"), false));
    EXPECT_TRUE(ini.readBool(S, s("hex3"), false));
}

TEST_F(IniFileTest, LongValueIsCutAt2047CharactersAndLongKeyListsAreComplete)
{
    QByteArray file = "[Params]\n";
    for (int i = 0; i < 3000; ++i)
        file += "-switch-number-" + QByteArray::number(i) + "=\n"; // far beyond 16384 bytes of names
    file += "[S]\nlong=" + QByteArray(5000, 'x') + "\n";
    writeRaw(file);
    IniFile ini(path());
    const QStringList keys = ini.keys(s("Params"));
    ASSERT_EQ(keys.size(), 3000);
    EXPECT_EQ(keys.last(), s("-switch-number-2999"));
    EXPECT_EQ(ini.readString(s("S"), s("long"), QString()).size(), IniFile::MaxValueLength);
}

TEST_F(IniFileTest, Windows1251ValuesReadAsCyrillicAndTextIsWrittenAsUtf8)
{
    // "Пароль" in Windows-1251, and the same word already in UTF-8.
    writeRaw("[Password]\nLastPass=\xCF\xE0\xF0\xEE\xEB\xFC\nOther="
             "\xD0\x9F\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C\n"
             "[Favorites]\n\xCF 0=27015\n");
    IniFile ini(path());
    EXPECT_EQ(ini.readString(s("Password"), s("LastPass"), QString()), s("Пароль"));
    EXPECT_EQ(ini.readString(s("Password"), s("Other"), QString()), s("Пароль"));
    EXPECT_EQ(ini.keys(s("Favorites")), QStringList{s("П 0")});
    ini.writeString(s("Password"), s("LastPass"), s("Ключ"));
    EXPECT_TRUE(readRaw().contains("LastPass=\xD0\x9A\xD0\xBB\xD1\x8E\xD1\x87\n"));
    // The Windows-1251 line that was not rewritten keeps its bytes.
    EXPECT_TRUE(readRaw().contains("\xCF 0=27015"));
}

TEST_F(IniFileTest, DuplicateSectionsReadTogetherAndEraseTogether)
{
    writeRaw("[Favorites]\na 0=1\n[Other]\nk=v\n[favorites]\nb 1=2\na 0=9\n");
    IniFile ini(path());
    EXPECT_EQ(ini.keys(s("Favorites")), (QStringList{s("a 0"), s("b 1"), s("a 0")}));
    EXPECT_EQ(ini.readString(s("Favorites"), s("a 0"), QString()), s("1"));
    ini.eraseSection(s("Favorites"));
    EXPECT_EQ(readRaw(), QByteArray("[Other]\nk=v\n"));
}

TEST_F(IniFileTest, LineBreaksInsideValuesCannotBreakTheFile)
{
    IniFile ini(path());
    ini.writeString(s("S"), s("k"), s("one\ntwo\r\n[Evil]"));
    IniFile again(path());
    EXPECT_FALSE(again.sectionExists(s("Evil")));
    EXPECT_EQ(again.readString(s("S"), s("k"), QString()), s("one two  [Evil]"));
}
