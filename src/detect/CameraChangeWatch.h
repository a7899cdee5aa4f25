#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include "ChangeCapture.h"
#include "GreyPicture.h"
#include "SceneChangeDetector.h"

// Change detection for one camera as the recorder and the window use it: the
// camera's detector, its "save only changes" policy and the lines that tell
// a change's start and end, behind one call per new picture.
//
// Pure like its parts: the caller hands in each new picture of the camera
// (never a repeat), saves what it is told to and prints the lines (after the
// time stamp the recorder puts before every line).
class CameraChangeWatch
{
public:
    struct Outcome
    {
        SceneVerdict verdict;
        // What to save now, oldest first; always empty unless capturing.
        QList<ChangeCapture::Save> saves;
        // "change started Yard (3.2 % of the picture)",
        // "change ended Yard after 1 min 12 s".
        QStringList lines;
    };

    explicit CameraChangeWatch(const QString &camera, const DetectionOptions &detection = {},
                               ChangeCapture::Options capture = {});

    QString camera() const { return m_camera; }
    void setCamera(const QString &camera) { m_camera = camera; }
    void setDetection(const DetectionOptions &options) { m_detector.setOptions(options); }
    const DetectionOptions &detection() const { return m_detector.options(); }
    void setCaptureOptions(const ChangeCapture::Options &options) { m_capture.setOptions(options); }
    // "Save only changes" is on: offers answer what to save. Switching it
    // forgets the held picture.
    void setCapturing(bool on);
    bool capturing() const { return m_capturing; }
    bool inChange() const { return m_detector.inEvent(); }

    // A new picture: the camera's bytes, when it arrived, and the small grey
    // picture to judge (the window's panel decode); a null grey picture is
    // made from the bytes by the eighth-scale decode, as the recorder needs.
    Outcome offer(const QByteArray &bytes, const QDateTime &time,
                  const GreyPicture &grey = GreyPicture());

    // "8 s", "1 min 12 s", "2 h 5 min".
    static QString durationText(qint64 seconds);

private:
    QString m_camera;
    SceneChangeDetector m_detector;
    ChangeCapture m_capture;
    bool m_capturing = false;
    QDateTime m_started;
};

Q_DECLARE_METATYPE(CameraChangeWatch::Outcome)
