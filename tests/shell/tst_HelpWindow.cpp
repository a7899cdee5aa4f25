#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSettings>
#include <QTextDocument>

#include "AppInfo.h"
#include "HelpWindow.h"
#include "RtfReader.h"
#include "SettingsStore.h"
#include "TestEnv.h"
#include "Twips.h"

namespace {

const QString Section = QStringLiteral("Settings");
const QString Key = QStringLiteral("showHelp");

QString storedShowHelp()
{
    return SettingsStore::GetSetting(AppInfo::productName(), Section, Key,
                                     QStringLiteral("(none)"));
}

// The per-user settings file the help window writes to.
QString settingsFile()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, AppInfo::companyName(),
                     AppInfo::productName())
        .fileName();
}

class HelpWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        programDir = TestEnv::freshProgramDirectory();
        QFile::remove(settingsFile());
        ASSERT_EQ(storedShowHelp(), QStringLiteral("(none)"));
    }
    void TearDown() override
    {
        delete help;
        QDir(settingsFile()).removeRecursively(); // in case a test put a directory there
        QFile::remove(settingsFile());
    }

    void installHelpText()
    {
        ASSERT_TRUE(QFile::copy(TestEnv::dataFile(QStringLiteral("rtf/libreoffice-formatting.rtf")),
                                programDir + QStringLiteral("/Help.rtf")));
    }
    void storeShowHelp(const QString &value)
    {
        ASSERT_TRUE(SettingsStore::SaveSetting(AppInfo::productName(), Section, Key, value));
    }

    QString programDir;
    QPointer<HelpWindow> help;
};

} // namespace

TEST_F(HelpWindowTest, ShowsTheHelpTextOnTopAtItsSize)
{
    installHelpText();
    help = new HelpWindow;
    EXPECT_TRUE(help->hasHelpText());
    EXPECT_EQ(help->objectName(), QStringLiteral("Form8"));
    EXPECT_EQ(help->windowTitle(), QStringLiteral("Readme/Help"));
    EXPECT_TRUE(help->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    EXPECT_EQ(help->size(), Twips::toPx(QSize(10290, 7920), help));
    EXPECT_EQ(help->minimumSize(), help->maximumSize());
    QCheckBox *check = help->findChild<QCheckBox *>(QStringLiteral("Check1"));
    ASSERT_EQ(check, help->Check1);
    EXPECT_EQ(check->text(), QStringLiteral("Show at Startup"));
    EXPECT_EQ(check->geometry(), Twips::toPx(QRect(60, 7620, 1995, 255), help));
    QTextBrowser *text = help->findChild<QTextBrowser *>(QStringLiteral("rtf1"));
    ASSERT_EQ(text, help->rtf1);
    // The text fills the window above the check box.
    EXPECT_EQ(text->geometry().topLeft(), QPoint(0, 0));
    EXPECT_EQ(text->width(), help->width());
    EXPECT_LE(text->geometry().bottom(), check->geometry().top());
    EXPECT_TRUE(text->toPlainText().contains(QLatin1String("bold words")));
    EXPECT_FALSE(text->toPlainText().contains(QLatin1String("Times New Roman")));

    help->show();
    EXPECT_TRUE(help->isVisible());
}

TEST_F(HelpWindowTest, TicksShowAtStartupFromTheSetting)
{
    installHelpText();

    // Never stored: the default "1".
    help = new HelpWindow;
    EXPECT_TRUE(help->Check1->isChecked());
    EXPECT_EQ(storedShowHelp(), QStringLiteral("(none)")) << "loading stores nothing";
    delete help;

    storeShowHelp(QStringLiteral("0"));
    help = new HelpWindow;
    EXPECT_FALSE(help->Check1->isChecked());
    delete help;

    storeShowHelp(QStringLiteral("1"));
    help = new HelpWindow;
    EXPECT_TRUE(help->Check1->isChecked());

    // A text that is no 0 or 1 leaves the box as it was.
    for (const QString &odd : {QStringLiteral("yes"), QStringLiteral(""), QStringLiteral("7")}) {
        storeShowHelp(odd);
        help->Check1->setChecked(true);
        EXPECT_TRUE(help->Form_Load());
        EXPECT_TRUE(help->Check1->isChecked()) << odd.toStdString();
        help->Check1->setChecked(false);
        help->Form_Load();
        EXPECT_FALSE(help->Check1->isChecked()) << odd.toStdString();
    }
}

TEST_F(HelpWindowTest, StoresEveryClickAtOnce)
{
    installHelpText();
    help = new HelpWindow;
    help->show();
    ASSERT_TRUE(help->Check1->isChecked());

    help->Check1->click();
    EXPECT_FALSE(help->Check1->isChecked());
    EXPECT_EQ(storedShowHelp(), QStringLiteral("0"));
    // On disk, not only in memory: a fresh reader of the file sees it.
    QSettings onDisk(settingsFile(), QSettings::IniFormat);
    EXPECT_EQ(onDisk.value(QStringLiteral("Settings/showHelp")).toString(), QStringLiteral("0"));

    help->Check1->click();
    EXPECT_EQ(storedShowHelp(), QStringLiteral("1"));

    // The next opening starts from what was stored.
    help->Check1->click();
    delete help;
    help = new HelpWindow;
    EXPECT_FALSE(help->Check1->isChecked());
}

TEST_F(HelpWindowTest, AClickThatCannotBeStoredDoesNotPretend)
{
    installHelpText();
    help = new HelpWindow;
    ASSERT_TRUE(help->Check1->isChecked());
    // Something the settings cannot be written over.
    ASSERT_TRUE(QDir().mkpath(settingsFile()));
    help->Check1->click();
    EXPECT_TRUE(help->Check1->isChecked())
        << "the box shows what the next start will do: the default, open";
}

TEST_F(HelpWindowTest, StaysHiddenWithoutHelpText)
{
    help = new HelpWindow;
    EXPECT_FALSE(help->hasHelpText());
    help->show();
    EXPECT_FALSE(help->isVisible());

    // A directory of that name is no help text either.
    ASSERT_TRUE(QDir(programDir).mkdir(QStringLiteral("Help.rtf")));
    EXPECT_FALSE(help->Form_Load());
    help->show();
    EXPECT_FALSE(help->isVisible());
    QDir(programDir).rmdir(QStringLiteral("Help.rtf"));

    // Once the file is there, loading again lets it show.
    installHelpText();
    EXPECT_TRUE(help->Form_Load());
    help->show();
    EXPECT_TRUE(help->isVisible());
}

TEST_F(HelpWindowTest, ShowsWhatItCanOfADamagedFile)
{
    ASSERT_TRUE(TestEnv::writeFile(programDir + QStringLiteral("/Help.rtf"),
                                   "{\\rtf1 Readable start \\'zz{{{{\\b\\u99999999999 " +
                                       QByteArray(300, '{')));
    help = new HelpWindow;
    EXPECT_TRUE(help->hasHelpText());
    EXPECT_TRUE(help->rtf1->toPlainText().startsWith(QLatin1String("Readable start")));
    help->show();
    EXPECT_TRUE(help->isVisible());
}

TEST_F(HelpWindowTest, ClosingUnloadsIt)
{
    installHelpText();
    help = new HelpWindow;
    help->show();
    help->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(help.isNull());
}

// The help text delivered with the program reads cleanly and covers what users ask about.
TEST(ShippedHelpText, ReadsWithoutErrorsAndCoversTheBasics)
{
    QTextDocument doc;
    RtfReader reader;
    ASSERT_TRUE(
        reader.readFile(QStringLiteral(TESSALY_TEST_DATA_DIR "/../../src/app/Help.rtf"), &doc))
        << reader.errorString().toStdString();
    const QString text = doc.toPlainText();
    for (const char *topic :
         {"Adding a camera", "snapshot address", "Copy Image Address", "/snapshot.jpg", "/cgi-bin/",
          ":8080", "Refresh", "AutoSave New Pictures", "cam", "FrontDoor712202680509AM.jpg", "Zoom",
          "Screensaver", "Click anywhere", "not a picture", "Start Cam", "Stop All",
          "00camlist.txt", "[name]", "Show at Startup"})
        EXPECT_TRUE(text.contains(QLatin1String(topic))) << topic;
    EXPECT_GT(doc.blockCount(), 40);
    EXPECT_FALSE(text.contains(QLatin1String("Arial"))) << "the font table leaked";
}
