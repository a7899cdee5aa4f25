#pragma once

#include <functional>

#include <QImage>
#include <QWidget>

#include "BusyIndicator.h"
#include "ZoomImage.h"

// Form6: the selected camera's whole picture over the whole screen, aspect
// kept, borderless, on black. It follows the camera's new pictures (setPicture, setBusy) until it
// is clicked. While it is open the screen saver is held off; the window lets it go again when it
// closes or is destroyed, whichever comes first. It is never skinned.
class PictureWindow : public QWidget
{
    Q_OBJECT
public:
    // Switches the system screen saver on (true) or off (false); the result
    // tells whether the switch took.
    using ScreenSaverSwitch = std::function<bool(bool active)>;

    // WindowUtils::SetScreenSaverActive, the desktop's own switch.
    static ScreenSaverSwitch defaultScreenSaverSwitch();

    explicit PictureWindow(ScreenSaverSwitch screenSaver = defaultScreenSaverSwitch(),
                           QWidget *parent = nullptr);
    ~PictureWindow() override;

    // The opening sequence after the caller has set its open flag: switches the
    // screen saver off, makes a window that deletes itself when closed, gives
    // it the picture and shows it full screen.
    static PictureWindow *open(const QImage &picture, QWidget *parent = nullptr,
                               ScreenSaverSwitch screenSaver = defaultScreenSaverSwitch());

    void setPicture(const QImage &picture);
    QImage picture() const { return image->picture(); }

    // Shows the busy indicator while a fetch of the camera runs.
    void setBusy(bool busy);
    bool isBusy() const { return !busyIndicator->isHidden(); }

    // Image1: covers the whole window and shows the whole picture in it, as
    // large as it goes with its aspect kept, on black.
    ZoomImage *const image = new ZoomImage(this);
    // picrefresh: shown while a fetch of the camera runs.
    BusyIndicator *const busyIndicator = new BusyIndicator(this);

signals:
    // A click on the picture: the caller clears its open flag. The window
    // closes itself right after.
    void closedByClick();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void onImageClicked();
    void releaseScreenSaver();
    void fitChildren();

    ScreenSaverSwitch m_screenSaver;
    bool m_screenSaverReleased = false;
};
