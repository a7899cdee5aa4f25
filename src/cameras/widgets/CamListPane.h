#pragma once

#include "Settings.h"

#include <QGroupBox>
#include <QPointer>

#include "MainWindowLayout.h"

class AddCamDialog;
class EditCamDialog;
class NoticeWindow;
class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

// Frame1, "Controls": the camera list with its five commands and the
// AutoSave option. It runs the commands that change the camera list file
// (add, edit, delete, each with its window) and asks the main window for
// what needs the panels: opening a camera, stopping all, renaming panels.
class CamListPane : public QGroupBox
{
    Q_OBJECT
public:
    explicit CamListPane(QWidget *parent = nullptr);

    // Places the pane's controls at the layout's places inside it; the pane
    // itself is placed by the window.
    void applyGeometry(const MainWindowGeometry &geometry);

    // Refills List1 from the camera list file; a file error goes to statusText.
    void reload();
    // Every listed camera, in file order.
    QStringList names() const;
    // The current item's text, empty without one.
    QString currentName() const;
    bool isCamSelected() const;

    bool autoSaveTicked() const;
    void setAutoSaveTicked(bool ticked);
    // "only changes" under AutoSave: what autosave saves while it is ticked.
    bool onlyChangesTicked() const;
    void setOnlyChangesTicked(bool ticked);
    // Off, every new picture or only changes, as the two boxes say.
    Settings::AutoSaveMode autoSaveMode() const;

    // The menu's Cams entries 0 to 4 run the five buttons.
    void runCommand(int index);

    // The notice "Oops!": nothing is selected in the list.
    void showNotice();
    // Closes and unloads the add dialog, the edit dialog and the notice, in
    // that order; one that is not loaded is left alone.
    void closeWindows();

signals:
    void statusText(const QString &text);
    // Start Cam on a selected camera, or a double-click on the list.
    void openRequested(const QString &name);
    void stopAllRequested();
    // The user ticked or cleared AutoSave.
    void autoSaveClicked(bool ticked);
    // The user ticked or cleared AutoSave or "only changes": what autosave saves now.
    void autoSaveModeChosen(Settings::AutoSaveMode mode);
    // The edit dialog changed the camera called oldName.
    void camEdited(const QString &oldName, const QString &name, const QString &url,
                   const QString &refresh);
    // List1 was refilled from the camera list file.
    void reloaded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void cmdAdd_Click();
    void cmdRemove_Click();
    void cmdEdit_Click();
    void cmdStartCam_Click();

    QPushButton *cmdAdd = nullptr;
    QPushButton *cmdRemove = nullptr;
    QPushButton *cmdEdit = nullptr;
    QPushButton *cmdStartCam = nullptr;
    QPushButton *cmdStopAll = nullptr;
    QCheckBox *chkSave = nullptr;
    QCheckBox *chkChanges = nullptr;
    QLabel *Label1 = nullptr;
    QListWidget *List1 = nullptr;

    // Windows loaded on request, unloaded when closed.
    QPointer<AddCamDialog> m_addDialog;
    QPointer<EditCamDialog> m_editDialog;
    QPointer<NoticeWindow> m_notice;
};
