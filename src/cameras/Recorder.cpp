#include "Recorder.h"

#include <exception>

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include "AppInfo.h"
#include "CamListFile.h"
#include "Camera.h"
#include "CameraEngine.h"
#include "DisplayText.h"
#include "PictureIndex.h"
#include "PictureSaver.h"
#include "RetentionKeeper.h"
#include "Settings.h"
#include "TessalyError.h"

Recorder::Recorder(CameraEngine *engine, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
{
    m_saver = new PictureSaver(this);
    // Nobody looks at the pictures here: an arriving one is only checked, not
    // decoded; the saver decodes what it saves on its own thread.
    m_engine->setDecodeRule([](const Camera &, bool) { return PictureDecode::StructureOnly; });
    connect(m_engine, &CameraEngine::pictureArrived, this, &Recorder::onPictureArrived);
    connect(m_engine, &CameraEngine::fetchFailed, this, &Recorder::onFetchFailed);
    m_saver->follow(m_engine);
    connect(m_saver, &PictureSaver::pictureSaved, this, &Recorder::onPictureSaved);
    connect(m_saver, &PictureSaver::saveFailed, this, &Recorder::onSaveFailed);
    connect(m_saver, &PictureSaver::picturesDropped, this,
            [this](const QString &camera, qint64 droppedInAll) {
                if (!m_running)
                    return;
                report(QStringLiteral("dropped %1: the disk is too slow for every new picture; "
                                      "the oldest waiting one is not saved (%2 in all so far)")
                           .arg(camera)
                           .arg(droppedInAll));
            });
    connect(m_engine, &CameraEngine::healthChanged, this, &Recorder::onHealthChanged);
    connect(m_engine, &CameraEngine::changeJudged, this, &Recorder::onChangeJudged);
    m_keeper = new RetentionKeeper(m_saver, PictureSaver::camDirectory(), this);
    connect(m_keeper, &RetentionKeeper::pauseChanged, this, &Recorder::onPauseChanged);
    connect(m_keeper, &RetentionKeeper::enforced, this, &Recorder::onEnforced);
}

Recorder::~Recorder() = default;

QString Recorder::timestamp(const QDateTime &moment)
{
    return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

template <typename T>
T Recorder::readSetting(const QString &key, T (*read)(), T fallback)
{
    try {
        return read();
    } catch (const TessalyError &e) {
        // Recording with the switch off beats not recording; the operator is told why.
        emit notice(QStringLiteral("Cannot read the \"%1\" setting (error %2: %3); it is off")
                        .arg(key)
                        .arg(e.number())
                        .arg(e.description()));
    } catch (const std::exception &e) {
        emit notice(QStringLiteral("Cannot read the \"%1\" setting (%2); it is off")
                        .arg(key, QString::fromLocal8Bit(e.what())));
    }
    return fallback;
}

bool Recorder::start()
{
    if (m_running)
        return true;
    m_startError.clear();
    m_counts = {};
    m_opened.clear();
    m_fetchFailures.clear();
    m_changeSince.clear();

    const QString listPath = CamListFile::path();
    if (!QFileInfo::exists(listPath)) {
        m_startError = QStringLiteral("No camera list: %1 does not exist").arg(listPath);
        return false;
    }
    const CamListResult<QStringList> list = CamListFile::ReadCamList();
    if (!list.ok()) {
        m_startError = list.errorText();
        return false;
    }
    if (list.value().isEmpty()) {
        m_startError = QStringLiteral("The camera list %1 holds no camera").arg(listPath);
        return false;
    }

    m_autoSave = readSetting(QStringLiteral("autoSave"), &Settings::autoSaveMode,
                             Settings::AutoSaveMode::Off);
    m_saver->setAutoSaveMode(m_autoSave);
    m_detect = readSetting(QStringLiteral("detect"), &Settings::detect, false);
    ChangeCapture::Options capture;
    capture.alsoEveryMinutes =
        readSetting(QStringLiteral("alsoEvery"), &Settings::alsoEveryMinutes, 0);
    m_engine->setDetection(m_detect, capture);
    if (m_autoSave == Settings::AutoSaveMode::Change && !m_detect)
        emit notice(QStringLiteral("Change detection is off (--detect off): \"save only "
                                   "changes\" saves nothing until it is switched on"));
    m_saver->setKeepOriginal(
        readSetting(QStringLiteral("keepOriginal"), &Settings::keepOriginal, false));
    // The main window makes cam/ at start-up; the recorder is a start-up too.
    const QString camDir = AppInfo::programFile(QStringLiteral("cam"));
    if (!QFileInfo(camDir).isDir() && !QDir().mkpath(camDir))
        emit notice(QStringLiteral("Cannot create the picture folder %1").arg(camDir));

    // Running from the first start on: an address without a path fails inside
    // it, and a full disk is told as a line.
    m_running = true;
    m_keeper->setDirectory(camDir);
    try {
        m_keeper->setLimits(RetentionKeeper::storedLimits());
    } catch (const std::exception &e) {
        // The limits are a safety net: recording with the defaults beats not recording.
        emit notice(QStringLiteral("Cannot read the picture limits (%1); the defaults apply")
                        .arg(QString::fromLocal8Bit(e.what())));
        m_keeper->setLimits({});
    }
    m_keeper->start();
    openPictureIndex(camDir, list.value());
    m_clock.start();
    if (!openCameras(list.value())) {
        m_running = false;
        m_keeper->stop();
        m_startError = QStringLiteral("No camera of %1 could be opened").arg(listPath);
        return false;
    }
    return true;
}

void Recorder::openPictureIndex(const QString &camDir, const QStringList &names)
{
    if (m_index)
        return;
    auto *index = new PictureIndex(camDir, this);
    if (const Result<bool> opened = index->open(); !opened) {
        // Recording goes on without it; the index is a cache a later start rebuilds.
        emit notice(QStringLiteral("The index of saved pictures cannot be opened: ") +
                    opened.errorText());
        delete index;
        return;
    }
    m_index = index;
    m_index->setKnownCameras(names);
    m_index->startScan();
    // Added on the writer's thread, as each file is written.
    m_saver->setWrittenHook([index](const SaveReport &report) {
        index->add(report.path, report.picture.bytes().size(), report.camera);
    });
    // The keeper deletes on this thread; the rows go right after their files.
    connect(
        m_keeper, &RetentionKeeper::enforced, index,
        [index](const PictureRetention::Report &removal) { index->remove(removal.removedPaths); });
}

bool Recorder::openCameras(const QStringList &names)
{
    QSet<QString> seen;
    int opened = 0;
    for (qsizetype n = 0; n < names.size(); ++n) {
        const QString &name = names.at(n);
        if (seen.contains(name)) {
            // The main window never opens one camera in two panels either.
            emit notice(
                QStringLiteral("Camera \"%1\" is listed twice; it is recorded once").arg(name));
            continue;
        }
        seen.insert(name);
        if (m_engine->lowestFreePanel() < 0) {
            emit notice(QStringLiteral("Only %1 cameras can be recorded at once; \"%2\" and the "
                                       "cameras after it are left out")
                            .arg(CameraEngine::PanelCount)
                            .arg(name));
            break;
        }
        const CamListResult<std::optional<CamEntry>> found = CamListFile::FindCamEntry(name);
        if (!found.ok()) {
            emit notice(found.errorText());
            continue;
        }
        if (!found.value()) {
            // Listed but not findable: a marker in other letter case, text before
            // it, an empty name. Opening it from the list finds nothing either.
            emit notice(QStringLiteral("Camera \"%1\" is listed, but no entry has exactly that "
                                       "name line; it is not recorded")
                            .arg(name));
            continue;
        }
        // Marked ours before the start: an address without a path fails inside it.
        m_opened << found.value()->name;
        if (!m_engine->open(found.value()->name, found.value()->address, found.value()->refresh)) {
            m_opened.removeLast();
            continue;
        }
        ++opened;
    }
    return opened > 0;
}

void Recorder::stop(int graceMs)
{
    if (!m_running)
        return;
    m_saver->setAutoSave(false);
    m_engine->stopAll();
    // A change still going on when the recording stops is told as ended.
    for (auto it = m_changeSince.cbegin(); it != m_changeSince.cend(); ++it)
        report(QStringLiteral("change ended %1 after %2 (recording stopped)")
                   .arg(it.key(),
                        CameraChangeWatch::durationText(it.value().secsTo(m_engine->now()))));
    m_changeSince.clear();
    // What is queued already is saved while there is time, and its lines told.
    m_counts.abandoned += m_saver->finishQueue(graceMs);
    m_running = false;
    m_keeper->stop();
}

QStringList Recorder::openedCameras() const
{
    return m_opened;
}

QString Recorder::summaryLine() const
{
    const double seconds = m_clock.isValid() ? double(m_clock.elapsed()) / 1000.0 : 0.0;
    const qint64 notSaved = m_saver->dropped() + m_counts.abandoned;
    return QStringLiteral("recorded %1 pictures (%2 new, %3 saved, %4 failed%5) from %6 cameras "
                          "in %7 s")
        .arg(m_counts.pictures)
        .arg(m_counts.newPictures)
        .arg(m_counts.saved)
        .arg(m_counts.failed)
        .arg(notSaved > 0 ? QStringLiteral(", %1 not saved").arg(notSaved) : QString())
        .arg(openedCameras().size())
        .arg(seconds, 0, 'f', 1);
}

QString Recorder::failureSummaryLine() const
{
    QStringList parts;
    for (const QString &name : m_opened)
        parts << QStringLiteral("%1 %2").arg(name).arg(m_fetchFailures.value(name));
    return QStringLiteral("failures by camera: ") + parts.join(QStringLiteral(", "));
}

qint64 Recorder::fetchFailures(const QString &camera) const
{
    return m_fetchFailures.value(camera);
}

void Recorder::report(const QString &verbAndText)
{
    // A line for a terminal or the journal: nothing a camera (or a camera
    // list) holds may write control sequences into it.
    emit reported(timestamp(QDateTime::currentDateTime()) + QLatin1Char(' ') +
                  DisplayText::escapeControls(verbAndText));
}

bool Recorder::isOurs(const Camera *camera) const
{
    return m_running && camera && m_opened.contains(camera->name());
}

void Recorder::onPictureArrived(Camera *camera, const Picture &, bool isNew)
{
    if (!isOurs(camera))
        return;
    ++m_counts.pictures;
    if (isNew)
        ++m_counts.newPictures;
}

void Recorder::onChangeJudged(Camera *camera, const CameraChangeWatch::Outcome &outcome)
{
    if (!isOurs(camera))
        return;
    if (outcome.verdict.started) {
        ++m_counts.changes;
        m_changeSince.insert(camera->name(), m_engine->now());
    }
    if (outcome.verdict.ended)
        m_changeSince.remove(camera->name());
    for (const QString &line : outcome.lines)
        report(line);
}

void Recorder::onFetchFailed(Camera *camera)
{
    // Counted only: the line comes from the change of health, one when the
    // camera starts failing, not one per fetch.
    if (!isOurs(camera))
        return;
    ++m_counts.failed;
    ++m_fetchFailures[camera->name()];
}

void Recorder::onHealthChanged(Camera *camera, CameraHealth::Change change)
{
    if (!isOurs(camera))
        return;
    const CameraHealth &health = camera->health();
    const QString name = camera->name();
    switch (change) {
    case CameraHealth::Change::StartedFailing:
        report(QStringLiteral("failed %1: %2").arg(name, health.lastFailure()));
        break;
    case CameraHealth::Change::StillFailing:
        report(QStringLiteral("still failing %1: %2 failures in %3, last: %4")
                   .arg(name)
                   .arg(health.failuresInRun())
                   .arg(CameraHealth::spanText(m_engine->nowMs() - health.downSinceMs()),
                        health.lastFailure()));
        break;
    case CameraHealth::Change::Recovered:
        report(QStringLiteral("recovered %1 after %2 failures in %3")
                   .arg(name)
                   .arg(health.failuresInRun())
                   .arg(CameraHealth::spanText(health.lastPictureMs() - health.downSinceMs())));
        break;
    case CameraHealth::Change::None:
        break;
    }
}

void Recorder::onPauseChanged(bool paused, const QString &text)
{
    if (m_running)
        report(
            (paused ? QStringLiteral("paused autosave: ") : QStringLiteral("resumed autosave: ")) +
            text);
}

void Recorder::onEnforced(const PictureRetention::Report &removal)
{
    if (!m_running)
        return;
    if (removal.removed > 0)
        report(QStringLiteral("removed %1 old pictures (%2), keeping %3 (%4)")
                   .arg(removal.removed)
                   .arg(PictureRetention::sizeText(removal.removedBytes))
                   .arg(removal.kept)
                   .arg(PictureRetention::sizeText(removal.keptBytes)));
    for (const QString &failure : removal.failures)
        emit notice(QStringLiteral("Cannot remove an old picture: ") + failure);
}

void Recorder::onPictureSaved(const SaveReport &saved)
{
    if (!m_running)
        return;
    ++m_counts.saved;
    report(
        QStringLiteral("saved %1 -> %2").arg(saved.camera, QDir::toNativeSeparators(saved.path)));
}

void Recorder::onSaveFailed(const SaveReport &failed)
{
    if (!m_running)
        return;
    ++m_counts.failed;
    report(QStringLiteral("failed %1: cannot save %2: %3")
               .arg(failed.camera, QDir::toNativeSeparators(failed.path),
                    failed.failure ? failed.failure->text : QString()));
}

bool Recorder::keepOriginal() const
{
    return m_saver->keepOriginal();
}
