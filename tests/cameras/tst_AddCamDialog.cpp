#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "AddCamDialog.h"
#include "AppInfo.h"
#include "CamListFile.h"
#include "MessageBoxes.h"
#include "ScopedHooks.h"
#include "TestEnv.h"
#include "WaitUntil.h"

namespace {

// Answers every box with OK and remembers what was asked.
struct BoxRecorder
{
    QList<MessageBoxes::Request> asked;
    ScopedHook<&MessageBoxes::setAsker> asker{[this](const MessageBoxes::Request &r) {
        asked.append(r);
        return MessageBoxes::Ok;
    }};
};

QLineEdit *field(QWidget &dialog, const char *name)
{
    return dialog.findChild<QLineEdit *>(QString::fromLatin1(name));
}

QPushButton *button(QWidget &dialog, const char *name)
{
    return dialog.findChild<QPushButton *>(QString::fromLatin1(name));
}

} // namespace

TEST(AddCamDialog, ShowsItsFieldsCaptionsAndTipsInTabOrder)
{
    TestEnv::freshProgramDirectory();
    AddCamDialog dialog;
    EXPECT_EQ(dialog.objectName(), "Form2");
    EXPECT_EQ(dialog.windowTitle(), AppInfo::productName() + " :: add a cam");
    EXPECT_FALSE(dialog.isModal());
    for (const char *name : {"Text1", "Text2", "Text3"})
        EXPECT_TRUE(field(dialog, name)->text().isEmpty()) << name;
    EXPECT_EQ(field(dialog, "Text1")->toolTip(), "create a unique name");
    // The parenthesis is never closed and "properties" stands in double quotes.
    EXPECT_EQ(field(dialog, "Text2")->toolTip(),
              "enter the exact path to the image (found by right clicking an image in your "
              "browser and selecting \"properties\"");
    EXPECT_EQ(field(dialog, "Text3")->toolTip(), "Enter the time in seconds");
    EXPECT_EQ(button(dialog, "Command1")->text(), "OK");
    EXPECT_EQ(button(dialog, "Command2")->text(), "Cancel");
    EXPECT_EQ(dialog.findChild<QLabel *>("Label1")->text(), "Name:");
    EXPECT_EQ(dialog.findChild<QLabel *>("Label2")->text(), "URL:");
    EXPECT_EQ(dialog.findChild<QLabel *>("Label3")->text(), "Refresh:");
    EXPECT_EQ(dialog.findChild<QLabel *>("Label4")->text(), "seconds");
    EXPECT_EQ(field(dialog, "Text1")->font().family(), "Verdana");
    EXPECT_NE(dialog.findChild<QLabel *>("Label4")->font().family(), "Verdana");

    // Tab goes Text1, Text2, Text3, OK, Cancel; labels take no focus.
    QWidget *w = field(dialog, "Text1");
    QStringList order;
    for (int i = 0; i < 5; ++i) {
        order << w->objectName();
        w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus || !(w->focusPolicy() & Qt::TabFocus))
            w = w->nextInFocusChain();
    }
    EXPECT_EQ(order, QStringList({"Text1", "Text2", "Text3", "Command1", "Command2"}));

    // 4740 x 1680 twips of client area at 15 twips a pixel; the fields at the top.
    EXPECT_EQ(dialog.size(), QSize(316, 112));
    EXPECT_EQ(dialog.findChild<QLineEdit *>("Text1")->geometry(), QRect(56, 0, 257, 21));
    EXPECT_EQ(dialog.findChild<QLabel *>("Label3")->geometry(), QRect(4, 52, 61, 17));
}

TEST(AddCamDialog, RefusesAnEmptyFieldAndWritesNothing)
{
    const QString dir = TestEnv::freshProgramDirectory();
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    const QByteArray before = TestEnv::readFile(CamListFile::path());
    BoxRecorder boxes;
    AddCamDialog dialog;
    QSignalSpy changed(&dialog, &CamEntryDialog::camListChanged);
    dialog.show();

    // Each of the three fields left empty in turn.
    const char *names[] = {"Text1", "Text2", "Text3"};
    for (int empty = 0; empty < 3; ++empty) {
        for (int f = 0; f < 3; ++f)
            field(dialog, names[f])->setText(f == empty ? QString() : QStringLiteral("x"));
        QTest::mouseClick(button(dialog, "Command1"), Qt::LeftButton);
        ASSERT_EQ(boxes.asked.size(), empty + 1);
        EXPECT_EQ(boxes.asked.last().title, ":: error");
        EXPECT_EQ(boxes.asked.last().text, "you must enter all information");
        EXPECT_EQ(boxes.asked.last().buttons, MessageBoxes::Buttons(MessageBoxes::Ok));
        EXPECT_TRUE(dialog.isVisible()) << "the dialog stays open with what was typed";
        EXPECT_EQ(field(dialog, names[(empty + 1) % 3])->text(), "x");
    }
    EXPECT_EQ(TestEnv::readFile(CamListFile::path()), before);
    EXPECT_EQ(changed.count(), 0);
}

TEST(AddCamDialog, AppendsOneEntryAsTypedBlanksIncluded)
{
    TestEnv::freshProgramDirectory();
    ASSERT_TRUE(CamListFile::LoadCamList().ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Yard", "http://yard/snap.jpg", "30").ok());
    BoxRecorder boxes;
    QPointer<AddCamDialog> dialog = new AddCamDialog;
    QSignalSpy changed(dialog.data(), &CamEntryDialog::camListChanged);
    dialog->show();
    field(*dialog, "Text1")->setText(" ");
    field(*dialog, "Text2")->setText("http://door/cgi-bin/snap");
    field(*dialog, "Text3")->setText("abc");
    QTest::mouseClick(button(*dialog, "Command1"), Qt::LeftButton);

    EXPECT_TRUE(boxes.asked.isEmpty()) << "blanks count as filled";
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(TestEnv::readFile(CamListFile::path()),
              QByteArray("\r\n[name]Yard\r\nhttp://yard/snap.jpg\r\n30\r\n\r\n"
                         "[name] \r\nhttp://door/cgi-bin/snap\r\nabc\r\n\r\n"));
    // Closing unloads it.
    EXPECT_TRUE(waitUntil([&] { return dialog.isNull(); }));
}

TEST(AddCamDialog, CancelClosesWithoutWriting)
{
    TestEnv::freshProgramDirectory();
    QPointer<AddCamDialog> dialog = new AddCamDialog;
    dialog->show();
    field(*dialog, "Text1")->setText("Yard");
    field(*dialog, "Text2")->setText("u");
    field(*dialog, "Text3")->setText("5");
    QTest::mouseClick(button(*dialog, "Command2"), Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return dialog.isNull(); }));
    EXPECT_FALSE(QFile::exists(CamListFile::path()));
}

TEST(AddCamDialog, AFailedWriteIsShownAndKeepsTheDialogOpen)
{
    const QString dir = TestEnv::freshProgramDirectory();
    // A directory where the list file should be: nothing can be written there.
    ASSERT_TRUE(QDir().mkpath(CamListFile::path()));
    BoxRecorder boxes;
    AddCamDialog dialog;
    QSignalSpy changed(&dialog, &CamEntryDialog::camListChanged);
    dialog.show();
    field(dialog, "Text1")->setText("Yard");
    field(dialog, "Text2")->setText("http://yard/snap.jpg");
    field(dialog, "Text3")->setText("30");
    QTest::mouseClick(button(dialog, "Command1"), Qt::LeftButton);
    ASSERT_EQ(boxes.asked.size(), 1);
    EXPECT_EQ(boxes.asked[0].title, ":: error");
    EXPECT_TRUE(boxes.asked[0].text.contains("00camlist.txt")) << boxes.asked[0].text.toStdString();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(field(dialog, "Text1")->text(), "Yard");
    EXPECT_EQ(changed.count(), 0);
}
