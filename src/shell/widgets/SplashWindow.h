#pragma once

#include <functional>

#include <QWidget>

class QLabel;
class QTimer;
class Skin;

// frmSplash: the first window of a run. It shows the splash picture, sets the
// program-wide values (product name, skinning switch, program skin) and after
// 75 ticks of its 2 ms timer opens the main window through the callback that
// the application gives it, then hides. It stays alive for the rest of the run,
// because it owns the program skin.
class SplashWindow : public QWidget
{
    Q_OBJECT
public:
    using OpenMainWindow = std::function<void()>;

    // Loads the window. skinning is the value the skinning switch is set to:
    // the program always turns it on; off is there to check the window without it.
    explicit SplashWindow(OpenMainWindow openMainWindow, bool skinning = true,
                          QWidget *parent = nullptr);

    qint16 fadeStep() const { return m_fadeStep; }
    Skin *skin() const { return skn; }

    // The splash picture: a camera, the program's name and its version.
    static QImage splashPicture();

public slots:
    // One tick of Timer2.
    void fadeTick();

private:
    void Form_Load(bool skinning);

    OpenMainWindow m_openMainWindow;
    Skin *skn = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *Label3 = nullptr;
    QTimer *Timer2 = nullptr;
    qint16 m_fadeStep = 0;
};
