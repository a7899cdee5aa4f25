#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "CamListFile.h"
#include "EditCamDialog.h"
#include "MessageBoxes.h"
#include "ScopedHooks.h"
#include "TestEnv.h"
#include "WaitUntil.h"

namespace {

QLineEdit *field(QWidget &dialog, const char *name)
{
    return dialog.findChild<QLineEdit *>(QString::fromLatin1(name));
}

void click(QWidget &dialog, const char *name)
{
    QTest::mouseClick(dialog.findChild<QPushButton *>(QString::fromLatin1(name)), Qt::LeftButton);
}

QStringList listed()
{
    return CamListFile::ReadCamList().value();
}

void writeThreeCameras()
{
    TestEnv::freshProgramDirectory();
    ASSERT_TRUE(CamListFile::AppendCamEntry("Yard", "http://yard/a.jpg", "30").ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Door", "http://door/b.jpg", "10").ok());
    ASSERT_TRUE(CamListFile::AppendCamEntry("Shop", "http://shop/c.jpg", "5").ok());
}

} // namespace

TEST(EditCamDialog, LoadsTheSelectedEntryWithItsNoteAndTips)
{
    writeThreeCameras();
    EditCamDialog dialog("Door");
    EXPECT_EQ(dialog.objectName(), "Form3");
    EXPECT_EQ(dialog.windowTitle(), "Door");
    EXPECT_EQ(field(dialog, "Text1")->text(), "Door");
    EXPECT_EQ(field(dialog, "Text2")->text(), "http://door/b.jpg");
    EXPECT_EQ(field(dialog, "Text3")->text(), "10");
    EXPECT_EQ(field(dialog, "Text1")->toolTip(), "Create a unique name for the cam");
    auto *note = dialog.findChild<QLabel *>("Label5");
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->text(), "(Cams that are already open will need to be restarted)");
    EXPECT_TRUE(note->font().bold());
    EXPECT_EQ(dialog.size(), QSize(316, 139)); // 4740 x 2085 twips
    // Below the note line, with a wider refresh caption than the add dialog's.
    EXPECT_EQ(dialog.findChild<QLineEdit *>("Text1")->geometry(), QRect(56, 24, 257, 21));
    EXPECT_EQ(dialog.findChild<QLabel *>("Label3")->geometry(), QRect(4, 76, 109, 17));
}

TEST(EditCamDialog, OkMovesTheChangedEntryToTheEndAndReportsTheRename)
{
    writeThreeCameras();
    QPointer<EditCamDialog> dialog = new EditCamDialog("Yard");
    QSignalSpy changed(dialog.data(), &CamEntryDialog::camListChanged);
    QSignalSpy edited(dialog.data(), &EditCamDialog::camEdited);
    dialog->show();
    field(*dialog, "Text1")->setText("Garden");
    field(*dialog, "Text3")->setText("15");
    click(*dialog, "Command1");

    EXPECT_EQ(listed(), QStringList({"Door", "Shop", "Garden"}));
    EXPECT_FALSE(CamListFile::FindCamEntry("Yard").value().has_value());
    const auto garden = CamListFile::FindCamEntry("Garden").value();
    ASSERT_TRUE(garden.has_value());
    EXPECT_EQ(garden->address, "http://yard/a.jpg");
    EXPECT_EQ(garden->refresh, "15");
    EXPECT_EQ(changed.count(), 1);
    ASSERT_EQ(edited.count(), 1);
    EXPECT_EQ(edited[0], QVariantList({"Yard", "Garden", "http://yard/a.jpg", "15"}));
    EXPECT_TRUE(waitUntil([&] { return dialog.isNull(); }));
    // Exactly the bytes of taking the old entry out, then appending the new
    // one: three empty lines where Yard was, one more after Shop, Garden last.
    EXPECT_EQ(TestEnv::readFile(CamListFile::path()),
              QByteArray("\r\n\r\n\r\n"
                         "[name]Door\r\nhttp://door/b.jpg\r\n10\r\n\r\n"
                         "[name]Shop\r\nhttp://shop/c.jpg\r\n5\r\n\r\n"
                         "\r\n"
                         "[name]Garden\r\nhttp://yard/a.jpg\r\n15\r\n\r\n"));
}

TEST(EditCamDialog, KeepsItsEntryWhenTheCaptionChangesAndRefusesEmptyFields)
{
    writeThreeCameras();
    QList<MessageBoxes::Request> asked;
    ScopedHook<&MessageBoxes::setAsker> asker([&](const MessageBoxes::Request &r) {
        asked.append(r);
        return MessageBoxes::Ok;
    });
    EditCamDialog dialog("Yard");
    QSignalSpy edited(&dialog, &EditCamDialog::camEdited);
    dialog.show();
    // A second "Edit" for another camera only changes the caption.
    dialog.setWindowTitle("Shop");
    field(dialog, "Text2")->clear();
    click(dialog, "Command1");
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].text, "you must enter all information");
    EXPECT_EQ(listed(), QStringList({"Yard", "Door", "Shop"}));

    field(dialog, "Text2")->setText("http://yard/new.jpg");
    click(dialog, "Command1");
    asker.set(nullptr);
    // The loaded entry changed, not the one the caption now names.
    EXPECT_EQ(listed(), QStringList({"Door", "Shop", "Yard"}));
    EXPECT_EQ(CamListFile::FindCamEntry("Shop").value()->address, "http://shop/c.jpg");
    ASSERT_EQ(edited.count(), 1);
    EXPECT_EQ(edited[0][0].toString(), "Yard");
}

TEST(EditCamDialog, ANameWithoutAnEntryNeverRemovesAnotherCamera)
{
    writeThreeCameras();
    {
        // A first edit loads Door...
        EditCamDialog first("Door");
        first.close();
    }
    // ...then a name that the file does not hold: empty fields, nothing to remove.
    EditCamDialog dialog("Ghost");
    EXPECT_EQ(dialog.windowTitle(), "Ghost");
    EXPECT_TRUE(field(dialog, "Text1")->text().isEmpty());
    EXPECT_FALSE(dialog.hasOldEntry());
    field(dialog, "Text1")->setText("Ghost");
    field(dialog, "Text2")->setText("http://ghost/g.jpg");
    field(dialog, "Text3")->setText("7");
    click(dialog, "Command1");
    EXPECT_EQ(listed(), QStringList({"Yard", "Door", "Shop", "Ghost"}));
}
