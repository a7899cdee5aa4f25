#include "RetentionKeeper.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include "PictureSaver.h"
#include "Settings.h"

static_assert(Settings::DefaultMinFreeBytes == PictureRetention::DefaultMinFreeBytes);

RetentionKeeper::RetentionKeeper(PictureSaver *saver, const QString &directory, QObject *parent)
    : QObject(parent)
    , m_saver(saver)
    , m_directory(directory)
    , m_timer(new QTimer(this))
{
    m_timer->setInterval(EnforceEveryMs);
    connect(m_timer, &QTimer::timeout, this, [this] {
        enforceNow();
        checkFreeSpace();
    });
    if (saver) {
        saver->setRoomCheck([this] { return roomToSave(); });
        connect(saver, &PictureSaver::pictureSaved, this, &RetentionKeeper::onSaved);
    }
}

RetentionKeeper::~RetentionKeeper()
{
    if (m_saver)
        m_saver->setRoomCheck({});
}

PictureRetention::Limits RetentionKeeper::storedLimits()
{
    PictureRetention::Limits limits;
    limits.keepDays = Settings::keepDays();
    limits.keepBytes = Settings::keepSize();
    limits.minFreeBytes = Settings::minFree();
    return limits;
}

void RetentionKeeper::start()
{
    enforceNow();
    checkFreeSpace();
    m_timer->start();
}

void RetentionKeeper::stop()
{
    m_timer->stop();
}

qint64 RetentionKeeper::nowMs() const
{
    if (m_clock)
        return m_clock();
    static const QElapsedTimer started = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return started.elapsed();
}

bool RetentionKeeper::roomToSave()
{
    // Reading the free space means a look at the mount table: once a second
    // is plenty, even with 24 cameras saving.
    if (!m_checked || nowMs() - m_lastCheckMs >= SpaceCheckEveryMs)
        checkFreeSpace();
    return !m_paused;
}

void RetentionKeeper::checkFreeSpace()
{
    m_checked = true;
    m_lastCheckMs = nowMs();
    const std::optional<qint64> available = PictureRetention::availableBytes(m_directory);
    // Unknown free space never stops a recording.
    const bool below = m_limits.minFreeBytes > 0 && available && *available < m_limits.minFreeBytes;
    if (below == m_paused)
        return;
    m_paused = below;
    const QString where = QDir::toNativeSeparators(m_directory);
    const QString free = available ? PictureRetention::sizeText(*available) : QStringLiteral("?");
    const QString floor = PictureRetention::sizeText(m_limits.minFreeBytes);
    QString text = tr("%1 free on the disk of %2").arg(free, where);
    if (m_paused)
        text += tr(", below the %1 to keep free").arg(floor);
    emit pauseChanged(m_paused, text);
}

PictureRetention::Report RetentionKeeper::enforceNow()
{
    return enforce(m_limits);
}

PictureRetention::Report RetentionKeeper::enforce(const PictureRetention::Limits &limits)
{
    const QDateTime now = m_timeSource ? m_timeSource() : QDateTime::currentDateTime();
    const PictureRetention::Report report = PictureRetention::enforce(m_directory, limits, now);
    m_keptBytes = report.keptBytes;
    if (report.removed > 0 || !report.failures.isEmpty())
        emit enforced(report);
    return report;
}

void RetentionKeeper::onSaved(const SaveReport &report)
{
    if (m_limits.keepBytes <= 0)
        return;
    m_keptBytes += QFileInfo(report.path).size();
    if (m_keptBytes <= m_limits.keepBytes)
        return;
    // Down to a twentieth below the limit, so that a full folder is not
    // listed again at every following save.
    PictureRetention::Limits below = m_limits;
    below.keepBytes = std::max<qint64>(1, m_limits.keepBytes - m_limits.keepBytes / 20);
    enforce(below);
}
