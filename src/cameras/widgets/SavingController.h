#pragma once

#include <optional>

#include <QImage>
#include <QObject>
#include <QPointer>

#include "Picture.h"
#include "Settings.h"

class PictureLimitsDialog;
class PictureSaver;
class QWidget;
class RetentionKeeper;

// The window's saving side: the saver behind "AutoSave New Pictures", "Save
// Image" and "Keep the camera's own pictures", and the keeper that holds the
// saved pictures within the picture limits and pauses autosave on a full
// disk. It stores the user's choices and says when a store failed, and it
// turns what the keeper does into words for the status bar.
class SavingController : public QObject
{
    Q_OBJECT
public:
    // window is the parent of the Picture Limits dialog.
    explicit SavingController(QWidget *window);
    ~SavingController() override;

    PictureSaver &saver() const { return *m_saver; }
    RetentionKeeper &keeper() const { return *m_keeper; }

    // At the window's start: makes the folder for saved pictures, and holds
    // the stored limits from now on; a disk filled while the program was
    // closed is found now, not a minute later.
    void start();

    // The user's choices: in effect at once, stored or not; a store that
    // failed is said, so the next start's different state does not come as a
    // surprise.
    void autoSaveClicked(bool ticked);
    void autoSaveModeChosen(Settings::AutoSaveMode mode);
    void keepOriginalClicked(bool ticked);
    // Cams → "Picture Limits...": the dialog, once; tighter limits hold at
    // once, not at the next minute.
    void showLimits();

    // "Save Image": saves shown, the picture the selected panel shows, under
    // camera's name (none when no camera is selected); the blank and the
    // not-found pictures are no pictures of the camera. The file is written
    // off the window's thread, so a slow disk never freezes the window; what
    // came of it goes to statusText, and a picture really saved to imageSaved.
    // Returns whether a save was started.
    bool saveImage(const std::optional<QString> &camera, const Picture &shown,
                   const Picture &notFound);

signals:
    // "Save Image" wrote picture, which is what the viewer should show.
    void imageSaved(const QImage &picture);
    void statusText(const QString &text);

private:
    void sayIfNotStored(bool stored, const QString &option);

    PictureSaver *m_saver = nullptr;
    RetentionKeeper *m_keeper = nullptr;
    QWidget *m_window = nullptr;
    QPointer<PictureLimitsDialog> m_limitsDialog;
};
