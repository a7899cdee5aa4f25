#pragma once

#include <functional>
#include <optional>

#include <QIcon>
#include <QString>

class QWidget;

// Small file and window services shared by the windows: file and directory
// tests, the screen saver switch, topmost windows and the program icon.
class WindowUtils
{
public:
    // True when path names an existing directory; a trailing separator makes no
    // difference. "\" counts as a separator like "/". Any error gives false.
    static bool DirExists(const QString &path);

    // True only for an existing regular, non-hidden file at exactly this path
    // (letter case significant, as the file system is); false for a directory,
    // a wildcard pattern or a path ending in a separator.
    static bool FileExists(const QString &path);

    // The last component of path, "\" and "/" both counting as separators;
    // the empty text for an empty path or one ending in a separator.
    static QString GetFileName(const QString &path);

    // false: keep the screen on (inhibit the screen saver); true: let it run
    // again (release our inhibition). Answers true when the desktop's
    // screen-saver service accepted the request, false when it refused or is absent.
    static bool SetScreenSaverActive(bool active);

    // Keeps window above all others (or stops doing so); a visible window stays visible.
    static void SetOnTop(QWidget *window, bool onTop);

    // Gives window the program icon resource `name` ("AAA") in all its sizes;
    // with alsoOwner, the top-level window that owns it first gets it too.
    static void SetWindowIcon(QWidget *window, const QString &name, bool alsoOwner);

    // The icon resource `name` with every size drawn for it; a null icon when
    // there is no such resource.
    static QIcon iconResource(const QString &name);

    // The desktop's screen-saver service. The default talks to
    // org.freedesktop.ScreenSaver on the session bus; tests install a fake.
    struct ScreenSaverService
    {
        // Is the service there at all?
        std::function<bool()> available;
        // Ask to keep the screen on; the cookie, or nothing when refused.
        std::function<std::optional<quint32>(const QString &application, const QString &reason)>
            inhibit;
        // Give a cookie back; true when the service accepted it.
        std::function<bool(quint32 cookie)> uninhibit;
    };
    // Installs service (an empty one restores the session bus); drops any held cookie
    // without releasing it. Returns the previous service.
    static ScreenSaverService setScreenSaverService(ScreenSaverService service);
    // The cookie held while the screen saver is inhibited by us.
    static std::optional<quint32> screenSaverCookie();
};
