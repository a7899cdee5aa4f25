#pragma once

#include <QByteArray>
#include <QString>

#include "Picture.h"

// One of the 24 camera panels: what the main window shows of it and the state
// of its fetch cycle. The engine owns the records; windows read them through
// CameraEngine::panel() and follow its signals.
struct CameraPanel
{
    // What the main window shows.
    QString caption = QStringLiteral("[WebCam]"); // Frame caption
    bool visible = false;                         // Frame shown: the panel is in use
    QString txtName;                              // camera name
    QString txtAddress;                           // snapshot URL
    QString txtRefresh = QStringLiteral("30");    // refresh interval in seconds, as text
    QString txtUpdated;                           // Last-Modified value of the last picture
    QString txtRefreshed;                         // when a new Last-Modified value was recorded
    bool busy = false;                            // imgRefresh: a fetch is under way
    float progress = 0;                           // prgCam, 0 to 100, kept between fetches
    Picture picture;                              // imgCam; null is the blank picture
    bool timerEnabled = false;                    // timRefresh enabled

    // The fetch cycle.
    qint32 camRefreshSecs = 0;
    qint32 camTicks = 0;
    QString camHost;
    QString camPath;
    QByteArray camBuffer;
    qint32 camBytesReceived = 0;
    bool camHeaderDone = false;
    qint32 camContentLength = 0;
    QString camLastModified; // never reset while the program runs
    bool camNewPicture = false;
};
