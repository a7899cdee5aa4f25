#include "PictureWindowController.h"

#include <QScreen>

#include "PaneSupport.h"

PictureWindowController::PictureWindowController(QObject *parent)
    : QObject(parent)
    , m_screenSaver(PictureWindow::defaultScreenSaverSwitch())
{
}

PictureWindowController::~PictureWindowController()
{
    // The window has no parent to take it along.
    if (m_window)
        delete m_window.data();
}

void PictureWindowController::open(const QImage &picture, const QScreen *screen)
{
    m_following = true;
    if (m_window) {
        m_window->setPicture(picture);
        m_window->raise();
        return;
    }
    // Opening switches the screen saver off, loads the window with the
    // picture and shows it over the whole screen.
    m_window = PictureWindow::open(picture, nullptr, m_screenSaver);
    if (screen)
        m_window->setGeometry(screen->geometry());
    connect(m_window, &PictureWindow::closedByClick, this, [this] { m_following = false; });
}

void PictureWindowController::setBusy(bool busy)
{
    if (m_following && m_window)
        m_window->setBusy(busy);
}

void PictureWindowController::setPicture(const QImage &picture)
{
    if (m_following && m_window)
        m_window->setPicture(picture);
}

void PictureWindowController::closeWindow()
{
    unloadWindows({m_window.data()});
}

void PictureWindowController::setScreenSaverSwitch(PictureWindow::ScreenSaverSwitch screenSaver)
{
    m_screenSaver = std::move(screenSaver);
}
