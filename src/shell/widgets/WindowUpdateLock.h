#pragma once

#include <functional>

#include <QPointer>
#include <QWidget>

// Freezes and releases repainting of the main window around changes to many
// controls at once, so it is repainted once instead of flickering.
class WindowUpdateLock
{
public:
    // The main window, and a way to ask whether the picture window is showing.
    // Until a main window is attached, LockWindowUpdates does nothing.
    static void attach(QWidget *mainWindow, std::function<bool()> pictureWindowVisible = {});
    static void detach();
    static QWidget *mainWindow();
};

// Lock (true) or release (false) the redrawing of window. Nothing happens while
// the picture window is visible or the main window is minimised, for the lock
// and the release alike.
void LockWindowUpdates(QWidget *window, bool lock);
