#pragma once

#include <optional>

#include <QString>

#include "Picture.h"
#include "Result.h"

// What a camera panel shows and what its last fetch did: the engine's public,
// read-only account of one panel. Windows read it through
// CameraEngine::status() when the engine says it changed.
struct PanelStatus
{
    QString caption = QStringLiteral("[WebCam]"); // the panel's title
    bool inUse = false;                           // a camera is open in the panel
    QString name;                                 // camera name
    QString address;                              // snapshot URL as the user typed it
    QString refresh = QStringLiteral("30");       // refresh interval in seconds, as typed
    bool busy = false;                            // a fetch is under way
    float progress = 0;                           // 0 to 100, kept between fetches
    Picture picture;                              // null is the blank picture
    QString lastChange;                 // the last picture's Last-Modified value, as shown
    QString lastRecorded;               // when a changed Last-Modified value was last recorded
    std::optional<Failure> lastFailure; // the last fetch's failure; cleared by a picture
    // The certificate an HTTPS camera showed when the last fetch refused it,
    // and the "host:port" a pin for it is stored under: what the user may
    // choose to trust. Empty unless the last failure was a certificate's.
    QByteArray refusedCertificateSha256;
    QString refusedCertificateHost;
};

// The fetch cycle of one panel: private to the engine and the exchange rules,
// readable for diagnostics and tests through CameraEngine::fetch().
struct SnapshotFetch
{
    qint32 refreshSecs = 0;
    qint32 ticks = 0;
    bool counting = false; // the one-second countdown runs
    QString host;          // "host[:port]" as the Host line sends it
    QString path;          // the request path, blanks escaped
    QByteArray buffer;     // the last answer's body
    qint32 bytesReceived = 0;
    bool headerDone = false;
    qint32 contentLength = 0;
    float progress = 0;
    QString lastModified; // the recorded line; never reset while the program runs
    bool newPicture = false;
};
