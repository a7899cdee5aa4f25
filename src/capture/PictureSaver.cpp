#include "PictureSaver.h"

#include <exception>
#include <memory>

#include "AppInfo.h"
#include "CameraEngine.h"
#include "DateTimeText.h"
#include "DibSection.h"
#include "JpegWriter.h"
#include "SnapshotFileName.h"
#include "TessalyError.h"

namespace {

// The writer's failure in words a user can act on: a file failure carries the
// system error number, which the system can name.
QString reasonFor(const Failure &failure)
{
    if (failure.systemError != 0)
        return failure.text + QStringLiteral(" (") + qt_error_string(failure.systemError) +
               QLatin1Char(')');
    return failure.text;
}

struct WriteResult
{
    bool written = false;
    QString path;
    QString reason;
    // The file's bytes, as the writer wrote them.
    QByteArray bytes;
};

// Encodes picture at quality 90 under the safe snapshot name for camName at
// when, in cam/, never over an existing file. The picture is decoded at most
// once (not at all while someone else holds its full decode).
WriteResult writeSnapshot(const Picture &picture, const QString &camName, const QDateTime &when)
{
    WriteResult result;
    const QString directory = PictureSaver::camDirectory();
    const QString name = SnapshotFileName::make(camName, when);
    result.path = directory + QLatin1Char('/') + name;
    // make() never lets a separator through; the file goes into cam/ or nowhere.
    if (name.contains(QLatin1Char('/')) || name == QLatin1String(".") ||
        name == QLatin1String("..")) {
        result.reason = QStringLiteral("the camera name makes no file name");
        return result;
    }

    DibSection dib;
    {
        const std::shared_ptr<const QImage> pixels = picture.full();
        if (pixels->isNull()) {
            result.reason = QStringLiteral("the picture could not be decoded");
            return result;
        }
        dib.CreateFromPicture(*pixels);
    }
    if (dib.isEmpty()) {
        result.reason = QStringLiteral("not enough memory for the picture");
        return result;
    }

    for (int attempt = 0; attempt <= PictureSaver::MaxNameRetries; ++attempt) {
        const QString path = SnapshotFileName::freePath(directory, name);
        if (path.isEmpty()) {
            result.reason =
                QStringLiteral("every name up to -%1 is taken").arg(SnapshotFileName::MaxSuffix);
            return result;
        }
        result.path = path;
        // Keep: a file that appeared since freePath looked is someone else's
        // snapshot, never ours to replace.
        const Result<QByteArray> written =
            WriteJpegFile(dib, path, PictureSaver::Quality, JpegExisting::Keep);
        if (written) {
            result.bytes = written.value();
            result.written = true;
            return result;
        }
        if (written.failure().kind != Failure::Kind::NameTaken) {
            result.reason = reasonFor(written.failure());
            return result;
        }
    }
    result.reason = QStringLiteral("the name was taken again on every try");
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

PictureSaver::PictureSaver(CameraEngine *engine, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
{
    if (engine) {
        connect(engine, &CameraEngine::pictureArrived, this, &PictureSaver::savePictureIfNew,
                Qt::DirectConnection);
    }
}

void PictureSaver::setAutoSave(bool on)
{
    m_autoSave = on;
    if (m_engine)
        m_engine->setFullDecodeForNewPictures(on);
}

void PictureSaver::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

QDateTime PictureSaver::now() const
{
    return m_clock ? m_clock() : QDateTime::currentDateTime();
}

QString PictureSaver::camDirectory()
{
    return AppInfo::programFile(QStringLiteral("cam"));
}

void PictureSaver::savePictureIfNew(int index, bool isNew, bool decoded)
{
    if (!m_autoSave || !isNew || !decoded || !m_engine)
        return;
    // Picture arrival runs inside the event loop: nothing may escape from here.
    QString path;
    try {
        const CameraPanel &panel = m_engine->panel(index);
        const Picture shown = panel.picture;
        const QDateTime when = now();
        const QString timeText = DateTimeText::timeText(when.time());

        const WriteResult result = writeSnapshot(shown, panel.caption, when);
        path = result.path;
        if (!result.written) {
            emit statusText(
                failureText(timeText, QStringLiteral("new picture"), result.path, result.reason));
            emit saveFailed(index, result.path, result.reason);
            return;
        }

        const Picture saved = savedPicture(result.bytes, shown);
        if (!saved.isNull())
            m_engine->setPanelPicture(index, saved);
        if (m_engine->selectedCam() == index)
            emit statusText(timeText + QStringLiteral(" new picture saved as ") + result.path);
        emit pictureSaved(index, result.path);
    } catch (const std::exception &error) {
        reportUnexpected(index, path, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        reportUnexpected(index, path, QStringLiteral("unexpected error"));
    }
}

void PictureSaver::reportUnexpected(int index, const QString &path, const QString &reason)
{
    emit statusText(
        failureText(DateTimeText::currentTimeText(), QStringLiteral("new picture"), path, reason));
    emit saveFailed(index, path, reason);
}

SaveImageResult PictureSaver::saveSelectedPicture(const CameraEngine &engine, const QDateTime &when)
{
    SaveImageResult result;
    try {
        const int selected = engine.selectedCam();
        if (selected < 0 || selected >= CameraEngine::PanelCount) {
            result.statusText = QStringLiteral("Save Image: no camera is selected");
            return result;
        }
        const CameraPanel &panel = engine.panel(selected);
        const Picture shown = panel.picture;
        if (shown.isNull() || shown.isSameAs(engine.notFoundPicture())) {
            result.statusText = QStringLiteral("Save Image: the selected camera shows no picture");
            return result;
        }

        const QString timeText = DateTimeText::timeText(when.time());
        const WriteResult written = writeSnapshot(shown, panel.txtName, when);
        result.path = written.path;
        if (!written.written) {
            result.statusText =
                failureText(timeText, QStringLiteral("picture"), written.path, written.reason);
            return result;
        }
        result.saved = true;
        result.picture = shown;
        result.statusText = timeText + QStringLiteral(" saved as ") + written.path;
    } catch (const std::exception &error) {
        result.saved = false;
        result.picture = Picture();
        result.statusText =
            QStringLiteral("Save Image failed: ") + QString::fromLocal8Bit(error.what());
    }
    return result;
}

SaveImageResult PictureSaver::saveSelectedPicture()
{
    if (!m_engine) {
        SaveImageResult result;
        result.statusText = QStringLiteral("Save Image: no camera is selected");
        return result;
    }
    return saveSelectedPicture(*m_engine, now());
}
