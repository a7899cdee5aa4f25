#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>

#include "PictureWindow.h"

class QScreen;

// The "Screensaver" window of the selected camera: opened over the whole
// screen with the viewer's picture, then fed the camera's new pictures and
// its busy state until a click on it closes it. The window is a top-level
// window of its own; the controller unloads it when it goes.
class PictureWindowController : public QObject
{
    Q_OBJECT
public:
    explicit PictureWindowController(QObject *parent = nullptr);
    ~PictureWindowController() override;

    // Shows picture over screen (over the whole of it, also where no window
    // manager carries out the full-screen request), or, when the window is
    // open already, gives it picture and raises it.
    void open(const QImage &picture, const QScreen *screen);
    // Whether the window follows the selected camera: from open until a
    // click on it.
    bool isFollowing() const { return m_following; }
    bool isVisible() const { return m_window && m_window->isVisible(); }
    PictureWindow *window() const { return m_window.data(); }

    // While following: a fetch of the camera started or ended, and its new picture.
    void setBusy(bool busy);
    void setPicture(const QImage &picture);

    // Closes and unloads the window, as the main window does when it closes.
    void closeWindow();

    // How the window switches the system screen saver; tests set their own.
    void setScreenSaverSwitch(PictureWindow::ScreenSaverSwitch screenSaver);

private:
    QPointer<PictureWindow> m_window;
    bool m_following = false;
    PictureWindow::ScreenSaverSwitch m_screenSaver;
};
