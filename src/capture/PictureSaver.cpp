#include "PictureSaver.h"

#include <cerrno>
#include <exception>
#include <memory>

#include <QPointer>

#include "AppInfo.h"
#include "DateTimeText.h"
#include "DibSection.h"
#include "JpegWriter.h"
#include "SnapshotFileName.h"
#include "TessalyError.h"

namespace {

// The writer's failure in words a user can act on: a file failure carries the
// system error number, which the system can name.
Failure withReason(Failure failure)
{
    if (failure.systemError != 0)
        failure.text +=
            QStringLiteral(" (") + qt_error_string(failure.systemError) + QLatin1Char(')');
    return failure;
}

struct WriteResult
{
    QString path;
    // Set when nothing was written.
    std::optional<Failure> failure;
    // The file's bytes, as the writer wrote them.
    QByteArray bytes;
    // The camera's own bytes were written, not a new encoding.
    bool original = false;
};

// Encodes picture at quality 90 under the safe snapshot name for camName at
// when, in cam/, never over an existing file. The picture is decoded at most
// once (not at all while someone else holds its full decode). With
// keepOriginal, a JPEG the camera sent is written as it came instead: it
// passed the structure check on arrival, and re-encoding it would only cost
// time and a generation of quality.
WriteResult writeSnapshot(const Picture &picture, const QString &camName, const QDateTime &when,
                          bool keepOriginal = false)
{
    WriteResult result;
    const QString directory = PictureSaver::camDirectory();
    const QString name = SnapshotFileName::make(camName, when);
    result.path = directory + QLatin1Char('/') + name;
    // make() never lets a separator through; the file goes into cam/ or nowhere.
    if (name.contains(QLatin1Char('/')) || name == QLatin1String(".") ||
        name == QLatin1String("..")) {
        result.failure =
            Failure::of(Failure::Kind::File, QStringLiteral("the camera name makes no file name"));
        return result;
    }

    const QByteArray original = keepOriginal && picture.format() == QByteArrayLiteral("jpeg")
                                    ? picture.bytes()
                                    : QByteArray();
    DibSection dib;
    if (original.isEmpty()) {
        const std::shared_ptr<const QImage> pixels = picture.full();
        if (pixels->isNull()) {
            result.failure = Failure::of(Failure::Kind::Decode,
                                         QStringLiteral("the picture could not be decoded"));
            return result;
        }
        dib.CreateFromPicture(*pixels);
    }
    if (original.isEmpty() && dib.isEmpty()) {
        result.failure =
            Failure::of(Failure::Kind::Encode, QStringLiteral("not enough memory for the picture"));
        return result;
    }

    for (int attempt = 0; attempt <= PictureSaver::MaxNameRetries; ++attempt) {
        const QString path = SnapshotFileName::freePath(directory, name);
        if (path.isEmpty()) {
            result.failure = Failure::of(
                Failure::Kind::NameTaken,
                QStringLiteral("every name up to -%1 is taken").arg(SnapshotFileName::MaxSuffix),
                EEXIST);
            return result;
        }
        result.path = path;
        // Keep: a file that appeared since freePath looked is someone else's
        // snapshot, never ours to replace.
        const Result<QByteArray> written =
            original.isEmpty() ? WriteJpegFile(dib, path, PictureSaver::Quality, JpegExisting::Keep)
                               : WriteJpegBytes(original, path, JpegExisting::Keep);
        if (written) {
            result.bytes = written.value();
            result.original = !original.isEmpty();
            return result;
        }
        if (written.failure().kind != Failure::Kind::NameTaken) {
            result.failure = withReason(written.failure());
            return result;
        }
    }
    result.failure = Failure::of(Failure::Kind::NameTaken,
                                 QStringLiteral("the name was taken again on every try"), EEXIST);
    return result;
}

// The saved file as the panel should show it: the bytes the writer put in the
// file (not read back: we have them already), with the thumbnail the panel
// already had of the same pixels. Null when there are no bytes (the panel then
// keeps the picture it shows).
Picture savedPicture(const QByteArray &bytes, const Picture &shown)
{
    if (bytes.isEmpty())
        return {};
    return Picture::fromEncoded(bytes, QByteArrayLiteral("jpeg"), shown.size(),
                                shown.cachedThumbnail());
}

QString failureText(const QString &when, const QString &what, const QString &path,
                    const QString &reason)
{
    return when + QStringLiteral(" could not save ") + what + QStringLiteral(" as ") + path +
           QStringLiteral(": ") + reason;
}

} // namespace

PictureSaver::PictureSaver(QObject *parent)
    : QObject(parent)
{
}

void PictureSaver::follow(const CameraEngine *engine)
{
    if (!engine)
        return;
    const QPointer<const CameraEngine> watched(engine);
    // Direct: the save runs inside the arrival, while a full decode is held.
    connect(
        engine, &CameraEngine::pictureArrived, this,
        [this, watched](int index, const Picture &picture, bool isNew) {
            if (!watched || !m_autoSave || !isNew)
                return;
            saveIfNew(index, watched->status(index).caption, picture, isNew);
        },
        Qt::DirectConnection);
}

PictureDecode PictureSaver::decodeFor(bool isNew, PictureDecode otherwise) const
{
    // A camera's own JPEG is saved as it came, and a save held back for want
    // of room saves nothing: neither needs the pixels.
    const bool saving = m_autoSave && isNew && (!m_roomCheck || m_roomCheck());
    return saving && !m_keepOriginal ? PictureDecode::Full : otherwise;
}

void PictureSaver::setTimeSource(TimeSource source)
{
    m_timeSource = std::move(source);
}

QDateTime PictureSaver::now() const
{
    return m_timeSource ? m_timeSource() : QDateTime::currentDateTime();
}

QString PictureSaver::camDirectory()
{
    return AppInfo::programFile(QStringLiteral("cam"));
}

void PictureSaver::saveIfNew(int index, const QString &cameraName, const Picture &picture,
                             bool isNew)
{
    if (!m_autoSave || !isNew || picture.isNull())
        return;
    if (m_roomCheck && !m_roomCheck())
        return;
    // Picture arrival runs inside the event loop: nothing may escape from here.
    SaveReport report;
    report.index = index;
    QString timeText;
    try {
        const QDateTime when = now();
        timeText = DateTimeText::timeText(when.time());
        const WriteResult result = writeSnapshot(picture, cameraName, when, m_keepOriginal);
        report.path = result.path;
        if (result.failure) {
            report.failure = result.failure;
        } else {
            // The camera's own bytes are the picture already on show.
            report.picture = result.original ? picture : savedPicture(result.bytes, picture);
            report.statusText = timeText + QStringLiteral(" new picture saved as ") + result.path;
            emit pictureSaved(report);
            return;
        }
    } catch (const std::exception &error) {
        report.failure =
            Failure::of(Failure::Kind::Unexpected, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        report.failure = Failure::of(Failure::Kind::Unexpected, QStringLiteral("unexpected error"));
    }
    if (timeText.isEmpty())
        timeText = DateTimeText::currentTimeText();
    report.statusText =
        failureText(timeText, QStringLiteral("new picture"), report.path, report.failure->text);
    emit saveFailed(report);
}

SaveImageResult PictureSaver::savePicture(const QString &cameraName, const Picture &picture,
                                          const QDateTime &when)
{
    SaveImageResult result;
    try {
        const QString timeText = DateTimeText::timeText(when.time());
        const WriteResult written = writeSnapshot(picture, cameraName, when);
        result.path = written.path;
        if (written.failure) {
            result.statusText = failureText(timeText, QStringLiteral("picture"), written.path,
                                            written.failure->text);
            return result;
        }
        result.saved = true;
        result.picture = picture;
        result.statusText = timeText + QStringLiteral(" saved as ") + written.path;
    } catch (const std::exception &error) {
        result.saved = false;
        result.picture = Picture();
        result.statusText =
            QStringLiteral("Save Image failed: ") + QString::fromLocal8Bit(error.what());
    }
    return result;
}
