#pragma once

#include <QGroupBox>

class BusyAnimation;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class StretchImage;

// One camera panel of the main window: the frame Frame(i) with its picture,
// busy indicator, progress bar and the "@" and "X" buttons. It shows what the
// engine's panel record says and reports the user's clicks with its index; the
// engine state itself lives in the engine.
class CameraPanelWidget : public QGroupBox
{
    Q_OBJECT
public:
    // Builds the panel's controls (objectNames like imgCam_3) at their places,
    // hidden and captioned "[WebCam]" as every panel starts.
    CameraPanelWidget(int index, QWidget *parent = nullptr);

    int index() const { return m_index; }

    // The picture, already scaled for the panel; a null pixmap is the empty one.
    void setPicture(const QPixmap &picture);
    void setBusy(bool busy);
    // 0 to 100, as the download goes.
    void setProgress(double percent);
    void setBusyAnimation(BusyAnimation *animation);
    // The stale mark: a band across the foot of the picture saying that the
    // picture is old, with tip as the tooltip of the band and the picture. A
    // panel that keeps its last picture would otherwise look alive.
    void setStale(bool stale, const QString &tip = {});
    bool isStale() const { return m_stale; }
    // The change mark: an amber frame round the picture while the camera's
    // change detection finds a change going on.
    void setInChange(bool inChange);
    bool isInChange() const { return m_inChange; }

    // The picture area's size in pixels, which is the size panel pictures are
    // decoded at.
    QSize pictureSize() const;

    // Places the controls for the window's current screen.
    void applyGeometry();

    StretchImage *imgCam() const { return m_imgCam; }
    StretchImage *imgRefresh() const { return m_imgRefresh; }
    QProgressBar *prgCam() const { return m_prgCam; }

signals:
    // imgCam, Picture3 and imgRefresh: all three select the camera.
    void pictureClicked(int index);
    void refreshClicked(int index);
    void stopClicked(int index);

private:
    int m_index;
    QFrame *m_picture2 = nullptr;
    StretchImage *m_imgCam = nullptr;
    StretchImage *m_picture3 = nullptr;
    StretchImage *m_imgRefresh = nullptr;
    QProgressBar *m_prgCam = nullptr;
    QPushButton *m_cmdRefresh = nullptr;
    QPushButton *m_cmdStop = nullptr;
    QLabel *m_staleMark = nullptr;
    bool m_stale = false;
    QFrame *m_changeMark = nullptr;
    bool m_inChange = false;
};
