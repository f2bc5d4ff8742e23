#include "app/config/ConfigNumber.h"
#include "app/config/Configuration.h"
#include "app/config/IniFile.h"
#include "app/text/ShiftJis.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

IniFile iniOf(const QString& text) { return IniFile::parse(text.toUtf8()); }

// A "Setting0" and "LINKDRV" that pass stage two; tests change one key at a time.
QString validProgramSettings(const QString& replaceKey = {}, const QString& replacement = {})
{
    QStringList lines = {u"[Setting0]"_s,
                         u"FormBackColor=&H00F0F0F0"_s,
                         u"LabelBackColor=16777215"_s,
                         u"LabelFontName=ＭＳ ゴシック"_s,
                         u"LabelForeColor=0"_s,
                         u"TextBackColor=&HFFFFFF"_s,
                         u"TextFocusColor=&H00C0FFFF"_s,
                         u"TextForeColor=0"_s,
                         u"TitleBackColor=&H00804000"_s,
                         u"TitleFontBold=True"_s,
                         u"TitleForeColor=&H00FF0000"_s,
                         u"[LINKDRV]"_s,
                         u"MINIMAIZE=1"_s,
                         u"DEMOMODE=0"_s,
                         u"[PATH]"_s,
                         u"EDIINFIL=/edi/in/"_s,
                         u"[デバッグ]"_s,
                         u"MODE=1"_s};
    for (QString& line : lines) {
        if (!replaceKey.isEmpty() && line.startsWith(replaceKey + u'='))
            line = replacement;
    }
    return lines.join(u'\n');
}

TEST(IniFile, ReadsValuesAsPrivateProfilesDo)
{
    const IniFile ini = iniOf(u"; comment\n"
                              u"[Section]\r\n"
                              u"  Key = some value  \r\n"
                              u"url=a=b=c\n"
                              u"key=second wins not\n"
                              u"empty=\n"
                              u"[other]\nkey=other\n"_s);
    EXPECT_EQ(ini.value(u"SECTION", u"key", 256), u"some value"_s);
    EXPECT_EQ(ini.value(u"section", u"URL", 256), u"a=b=c"_s);
    EXPECT_EQ(ini.value(u"section", u"empty", 256), QString());
    EXPECT_EQ(ini.value(u"section", u"missing", 256), QString());
    EXPECT_EQ(ini.value(u"missing", u"key", 256), QString());
    EXPECT_EQ(ini.value(u"other", u"key", 256), u"other"_s);
}

TEST(IniFile, CutsValuesAtTheBufferAndAtNul)
{
    const QString longValue(70, u'x');
    QByteArray bytes = u"[s]\nlong="_s.toUtf8() + longValue.toUtf8() + "\nnul=ab" + QByteArray(1, '\0') + "cd\n";
    const IniFile ini = IniFile::parse(bytes);
    EXPECT_EQ(ini.value(u"s", u"long", 64), QString(63, u'x'));
    EXPECT_EQ(ini.value(u"s", u"long", 256), longValue);
    EXPECT_EQ(ini.value(u"s", u"nul", 64), u"ab"_s);
}

TEST(IniFile, DecodesShiftJisAndUtf8Files)
{
    const QString text = u"[動作環境]\nDBSTRING=受注ＤＢ\n"_s;
    ShiftJisCodec codec;
    EXPECT_EQ(IniFile::parse(codec.encode(text)).value(u"動作環境", u"DBSTRING", 64), u"受注ＤＢ"_s);
    EXPECT_EQ(IniFile::parse(text.toUtf8()).value(u"動作環境", u"DBSTRING", 64), u"受注ＤＢ"_s);
    EXPECT_EQ(IniFile::parse("\xEF\xBB\xBF" + text.toUtf8()).value(u"動作環境", u"dbstring", 64), u"受注ＤＢ"_s);
}

TEST(IniFile, WhatCannotBeReadReadsEmptyAndSaysWhy)
{
    QTemporaryDir folder;
    const QString oversized = folder.filePath(u"EDI.ini"_s);
    test::writeFile(oversized, "[PATH]\nEDIINFIL=/edi/in/\n" + QByteArray(IniFile::kMaxFileBytes, ';'));
    const QString fifo = folder.filePath(u"fifo"_s);
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // A FIFO without a writer would block the open; /dev/zero would never end.
    for (const QString& path : {u"/nonexistent/EDI.ini"_s, oversized, fifo, u"/dev/zero"_s}) {
        const IniFile ini = IniFile::read(path);
        EXPECT_EQ(ini.value(u"PATH", u"EDIINFIL", 256), QString()) << path.toStdString();
        EXPECT_TRUE(ini.problem().startsWith(path)) << ini.problem().toStdString();
    }
    test::writeFile(oversized, "[PATH]\nEDIINFIL=/edi/in/\n");
    EXPECT_EQ(IniFile::read(oversized).value(u"PATH", u"EDIINFIL", 256), u"/edi/in/"_s);
    EXPECT_EQ(IniFile::read(oversized).problem(), QString());
}

TEST(IniFile, SectionLinesFitTheBuffer)
{
    const IniFile ini = iniOf(u"[JKBN_K_J]\n0101\n\n0102\nkey=value\n[next]\n0201\n"_s);
    EXPECT_EQ(ini.sectionLines(u"jkbn_k_j", 256), (QStringList{u"0101"_s, u"0102"_s, u"key=value"_s}));
    // Room for "0101\0" and "01" of the next line, then the closing NUL.
    EXPECT_EQ(ini.sectionLines(u"JKBN_K_J", 9), (QStringList{u"0101"_s, u"01"_s}));
    EXPECT_TRUE(ini.sectionLines(u"missing", 256).isEmpty());
}

TEST(ConfigurationLocation, IsTheProgramFoldersGrandparent)
{
    EXPECT_EQ(configurationFolder(u"/opt/edi/pgm/exe"_s), u"/opt/edi"_s);
    EXPECT_EQ(configurationPathIn(*configurationFolder(u"/opt/edi/pgm/exe"_s)), u"/opt/edi/EDI.ini"_s);
    EXPECT_EQ(configurationPathIn(*configurationFolder(u"/edi/exe"_s)), u"/EDI.ini"_s);
    EXPECT_EQ(configurationFolder(u"/exe"_s), std::nullopt);
    EXPECT_EQ(configurationFolder(u"exe"_s), std::nullopt);
}

TEST(ConfigNumber, ReadsDecimalAndHexadecimal)
{
    EXPECT_EQ(parseConfigInteger(u" 255 ", 32), 255);
    EXPECT_EQ(parseConfigInteger(u"-1", 32), -1);
    EXPECT_EQ(parseConfigInteger(u"&H00FF0000", 32), 0x00FF0000);
    EXPECT_EQ(parseConfigInteger(u"&hff&", 32), 255);
    EXPECT_EQ(parseConfigInteger(u"&H8000000F", 32), qint32(0x8000000F));
    EXPECT_EQ(parseConfigInteger(u"&O17", 32), 15);
    EXPECT_EQ(parseConfigInteger(u"2.5", 16), 2);  // half to even
    EXPECT_EQ(parseConfigInteger(u"3.5", 16), 4);
    EXPECT_EQ(parseConfigInteger(u"32767", 16), 32767);
    EXPECT_EQ(parseConfigInteger(u"&HFFFF", 16), -1);
}

TEST(ConfigNumber, RejectsWhatIsNotAWholeNumber)
{
    for (const char16_t* text : {u"", u"  ", u"abc", u"12abc", u"&H", u"&HG1", u"1 2", u"-", u"."})
        EXPECT_EQ(parseConfigInteger(text, 32), std::nullopt) << QString::fromUtf16(text).toStdString();
    EXPECT_EQ(parseConfigInteger(u"32768", 16), std::nullopt);
    EXPECT_EQ(parseConfigInteger(u"&H10000", 16), std::nullopt);
    EXPECT_EQ(parseConfigInteger(u"4294967296", 32), std::nullopt);
}

TEST(ConfigNumber, LeadingNumberTakesWhatItCan)
{
    EXPECT_EQ(leadingConfigNumber(u"255abc"), 255);
    EXPECT_EQ(leadingConfigNumber(u"abc"), 0);
    EXPECT_EQ(leadingConfigNumber(u""), 0);
    EXPECT_EQ(leadingConfigNumber(u" -5x"), -5);
    EXPECT_EQ(leadingConfigNumber(u"&HFF00zz"), 0xFF00);
    EXPECT_EQ(leadingConfigNumber(u"99999999999"), 0);
}

TEST(Configuration, EnvironmentFieldsAreFiftyCharactersWide)
{
    const QString sixty(60, u'D');
    const EnvironmentSettings settings = readEnvironmentSettings(
        iniOf(u"[動作環境]\nUSERID=edi\nDBSTRING="_s + sixty + u"\ndbdriver=psql\n"_s));
    EXPECT_EQ(settings.dbString, QString(50, u'D'));
    EXPECT_EQ(settings.userId, u"edi"_s.leftJustified(50));
    EXPECT_EQ(settings.password, QString(50, u' '));
    EXPECT_EQ(settings.dbDriver, u"PSQL"_s);
}

TEST(Configuration, SettleSecondsHaveADefaultAndALimit)
{
    auto settle = [](const QString& lines) { return readReceptionSettings(iniOf(u"[動作環境]\n"_s + lines)).settleSeconds; };
    EXPECT_EQ(settle({}), 5);
    EXPECT_EQ(settle(u"SETTLE=\n"_s), 5);
    EXPECT_EQ(settle(u"SETTLE=0\n"_s), 0);  // taken as they are
    EXPECT_EQ(settle(u"SETTLE=12 seconds\n"_s), 12);
    EXPECT_EQ(settle(u"SETTLE=-3\n"_s), 0);
    EXPECT_EQ(settle(u"SETTLE=86400\n"_s), 3600);
}

TEST(Configuration, ProgramSettingsConvertColoursAndIntegers)
{
    const std::optional<ProgramSettings> settings = readProgramSettings(iniOf(validProgramSettings()));
    ASSERT_TRUE(settings);
    const StylingSettings& styling = settings->styling;
    EXPECT_EQ(styling.formBackColor, u"&H00F0F0F0"_s);
    EXPECT_EQ(styling.titleForeColor.blue(), 255);  // &H00FF0000 is blue
    EXPECT_EQ(styling.titleForeColor.red(), 0);
    EXPECT_EQ(styling.textBackColor.value, 0xFFFFFFu);
    EXPECT_EQ(styling.labelFont.name, u"ＭＳ ゴシック"_s);
    EXPECT_EQ(styling.titleFont.bold, u"True"_s);
    EXPECT_EQ(settings->linkDriver.minimize, 1);
    EXPECT_EQ(settings->linkDriver.installFolder, u"/opt/cvx/cvxbtcp/"_s);
    EXPECT_EQ(settings->linkDriver.program, u"z_tcp.exe"_s);
    EXPECT_EQ(settings->paths.receivedFolder, u"/edi/in/"_s);
    EXPECT_TRUE(settings->debugMode);
}

TEST(Configuration, ProgramSettingsFailOnABadNumberKey)
{
    struct Case {
        QString key, line, reported;
    };
    const Case cases[] = {
        {u"MINIMAIZE"_s, u"MINIMAIZE="_s, u"LINKDRV.MINIMAIZE"_s},
        {u"DEMOMODE"_s, u"DEMOMODE=yes"_s, u"LINKDRV.DEMOMODE"_s},
        {u"DEMOMODE"_s, u"DEMOMODE=40000"_s, u"LINKDRV.DEMOMODE"_s},
        {u"TextFocusColor"_s, u"TextFocusColor=yellow"_s, u"Setting0.TextFocusColor"_s},
        {u"TitleForeColor"_s, u"; removed"_s, u"Setting0.TitleForeColor"_s},
    };
    for (const Case& c : cases) {
        QString failedKey;
        EXPECT_FALSE(readProgramSettings(iniOf(validProgramSettings(c.key, c.line)), &failedKey)) << c.line.toStdString();
        EXPECT_EQ(failedKey, c.reported);
    }
    // Form colour and fonts are checked only when a window takes them.
    EXPECT_TRUE(readProgramSettings(iniOf(validProgramSettings(u"FormBackColor"_s, u"FormBackColor=grey"_s))));
}

TEST(Configuration, StatusColoursNeverFail)
{
    const StatusColours colours =
        readStatusColours(iniOf(u"[COLOR]\n通常=255abc\nエラー=abc\n処理済=&H00008000\n"_s));
    EXPECT_EQ(colours.normal.value, 255u);
    EXPECT_EQ(colours.error.value, 0u);
    EXPECT_EQ(colours.done.green(), 0x80);
    EXPECT_EQ(colours.running.value, 0u);  // missing
}

TEST(Configuration, RegistrationAndMailSettings)
{
    const IniFile ini = iniOf(u"[PATH]\nMGCMDLINEKR=/opt/reg/run -q\nPRPATH=/edi/cmd\n"
                              u"[JKBN_K_J]\n0101\n0102\n  \\  \n0103\n"
                              u"[MAPI]\nProfileName=edi\nPassword=secret\nStore=imap://127.0.0.1:1143/INBOX\n"
                              u"[MAIL]\nMAIL-TEXT=受信\\n以上\n"_s);
    const RegistrationSettings registration = readRegistrationSettings(ini);
    EXPECT_EQ(registration.commandLine, u"/opt/reg/run -q"_s);
    EXPECT_EQ(registration.commandFolder, u"/edi/cmd"_s);
    EXPECT_EQ(registration.categories, (QStringList{u"0101"_s, u"0102"_s}));
    const MailSettings mail = readMailSettings(ini);
    EXPECT_EQ(mail.profileName, u"edi"_s);
    EXPECT_EQ(mail.password, u"secret"_s);
    EXPECT_EQ(mail.store, u"imap://127.0.0.1:1143/INBOX"_s);
    EXPECT_EQ(mail.mailText, u"受信\r\n以上"_s);
}

}  // namespace
}  // namespace edi
