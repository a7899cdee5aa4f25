#include "WindowUpdateLock.h"

namespace {
struct LockState
{
    QPointer<QWidget> mainWindow;
    std::function<bool()> pictureWindowVisible;
};

LockState &state()
{
    static LockState s;
    return s;
}
} // namespace

void WindowUpdateLock::attach(QWidget *mainWindow, std::function<bool()> pictureWindowVisible)
{
    state().mainWindow = mainWindow;
    state().pictureWindowVisible = std::move(pictureWindowVisible);
}

void WindowUpdateLock::detach()
{
    if (state().mainWindow)
        state().mainWindow->setUpdatesEnabled(true);
    state() = LockState{};
}

QWidget *WindowUpdateLock::mainWindow()
{
    return state().mainWindow;
}

void LockWindowUpdates(QWidget *window, bool lock)
{
    const LockState &s = state();
    if (!s.mainWindow || !window)
        return;
    if (s.pictureWindowVisible && s.pictureWindowVisible())
        return;
    if (s.mainWindow->isMinimized())
        return;
    // Like the platform's redraw freeze, a release unfreezes whatever was locked.
    window->setUpdatesEnabled(!lock);
}
