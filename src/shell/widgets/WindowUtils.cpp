#include "WindowUtils.h"

#include <algorithm>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFile>
#include <QFileInfo>
#include <QWidget>

#include "AppInfo.h"
#include "FileUtils.h"

namespace {
const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kInterface = QStringLiteral("org.freedesktop.ScreenSaver");
// A desktop that does not answer must not freeze the window for long.
constexpr int kCallTimeoutMs = 3000;

WindowUtils::ScreenSaverService sessionBusService()
{
    WindowUtils::ScreenSaverService s;
    s.available = [] {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected() || !bus.interface())
            return false;
        const QDBusReply<bool> reply = bus.interface()->isServiceRegistered(kService);
        return reply.isValid() && reply.value();
    };
    s.inhibit = [](const QString &application, const QString &reason) -> std::optional<quint32> {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return std::nullopt;
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Inhibit"));
        call << application << reason;
        const QDBusReply<quint32> reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
        if (!reply.isValid())
            return std::nullopt;
        return reply.value();
    };
    s.uninhibit = [](quint32 cookie) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return false;
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                           QStringLiteral("UnInhibit"));
        call << cookie;
        const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
        return reply.type() == QDBusMessage::ReplyMessage;
    };
    return s;
}

struct ScreenSaverState
{
    WindowUtils::ScreenSaverService service = sessionBusService();
    std::optional<quint32> cookie;
};

ScreenSaverState &screenSaver()
{
    static ScreenSaverState state;
    return state;
}
} // namespace

bool WindowUtils::DirExists(const QString &path)
{
    return FileUtils::DirExists(path);
}

QString WindowUtils::GetFileName(const QString &path)
{
    return FileUtils::GetFileName(path);
}

bool WindowUtils::FileExists(const QString &path)
{
    return FileUtils::FileExists(path);
}

bool WindowUtils::SetScreenSaverActive(bool active)
{
    ScreenSaverState &state = screenSaver();
    const ScreenSaverService &service = state.service;
    if (!service.available || !service.available())
        return false;
    if (!active) {
        // One inhibition is enough; asking twice would leave a cookie we forget.
        if (state.cookie)
            return true;
        if (!service.inhibit)
            return false;
        state.cookie =
            service.inhibit(AppInfo::productName(), QStringLiteral("Showing a camera full screen"));
        return state.cookie.has_value();
    }
    if (!state.cookie)
        return true; // nothing of ours is holding the screen saver back
    const quint32 cookie = *state.cookie;
    // The cookie is spent either way: a service that refuses it no longer knows it.
    state.cookie.reset();
    return service.uninhibit && service.uninhibit(cookie);
}

WindowUtils::ScreenSaverService WindowUtils::setScreenSaverService(ScreenSaverService service)
{
    ScreenSaverState &state = screenSaver();
    ScreenSaverService previous = std::move(state.service);
    state.service = service.available ? std::move(service) : sessionBusService();
    state.cookie.reset();
    return previous;
}

std::optional<quint32> WindowUtils::screenSaverCookie()
{
    return screenSaver().cookie;
}

void WindowUtils::SetOnTop(QWidget *window, bool onTop)
{
    if (!window)
        return;
    if (window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop)
        return;
    // Changing window flags hides a shown window; show it again as it was.
    const bool wasVisible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (wasVisible)
        window->show();
}

QIcon WindowUtils::iconResource(const QString &name)
{
    QIcon icon;
    if (name.isEmpty())
        return icon;
    // Small and large sizes for title bars and task switchers, plus a big one
    // for desktops that scale.
    for (const int size : {16, 32, 48, 256}) {
        const QString file = QStringLiteral(":/icons/%1/%2.png").arg(name).arg(size);
        if (QFile::exists(file))
            icon.addFile(file, QSize(size, size));
    }
    return icon;
}

void WindowUtils::SetWindowIcon(QWidget *window, const QString &name, bool alsoOwner)
{
    if (!window)
        return;
    const QIcon icon = iconResource(name);
    if (icon.isNull())
        return;
    if (alsoOwner) {
        // Follow the owners up to the window that has none.
        QWidget *top = window->window();
        while (QWidget *owner = top->parentWidget())
            top = owner->window();
        if (top != window)
            top->setWindowIcon(icon);
    }
    window->setWindowIcon(icon);
}
