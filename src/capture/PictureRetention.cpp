#include "PictureRetention.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStorageInfo>

namespace {

struct Saved
{
    QString path;
    QString name;
    qint64 bytes = 0;
    qint64 modifiedMs = 0; // since the Unix epoch
};

// The rule joins the camera name, the date M/d/yyyy and the time h:mm:ss AP
// with the separators taken out: 6 to 8 date digits and 5 or 6 time digits.
const QRegularExpression &ownPictureName()
{
    // \z, not $: a $ also matches before a final line break, and
    // "x.jpg\n" is no name of ours.
    static const QRegularExpression rule(
        QStringLiteral("^.*\\d{11,14}(AM|PM)(-\\d{1,4})?\\.jpg\\z"),
        QRegularExpression::DontCaptureOption);
    return rule;
}

// A folder of a few weeks of pictures holds hundreds of thousands of files:
// read with one lstat each and plain numbers for the times. QFileInfo's
// local-time QDateTime made a look at 20,000 files take half a second.
QList<Saved> ownPictures(const QString &directory)
{
    namespace fs = std::filesystem;
    QList<Saved> found;
    std::error_code error;
    fs::directory_iterator it(fs::path(QFile::encodeName(directory).toStdString()), error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const fs::directory_entry &entry = *it;
        std::error_code statError;
        // The link's own type: a link to somewhere else is the user's, and so
        // is a folder.
        if (entry.symlink_status(statError).type() != fs::file_type::regular || statError)
            continue;
        const QString name = QFile::decodeName(QByteArray::fromStdString(entry.path().filename()));
        if (!PictureRetention::isOwnPictureName(name))
            continue;
        const std::uintmax_t bytes = entry.file_size(statError);
        const fs::file_time_type modified = entry.last_write_time(statError);
        if (statError)
            continue; // gone since the folder was read
        const qint64 modifiedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::file_clock::to_sys(modified).time_since_epoch())
                                      .count();
        found.append({QFile::decodeName(QByteArray::fromStdString(entry.path())), name,
                      qint64(bytes), modifiedMs});
    }
    std::sort(found.begin(), found.end(), [](const Saved &a, const Saved &b) {
        return a.modifiedMs != b.modifiedMs ? a.modifiedMs < b.modifiedMs : a.name < b.name;
    });
    return found;
}

} // namespace

PictureRetention::Report PictureRetention::enforce(const QString &directory, const Limits &limits,
                                                   const QDateTime &now)
{
    Report report;
    const QList<Saved> pictures = ownPictures(directory);
    qint64 total = 0;
    for (const Saved &picture : pictures)
        total += picture.bytes;
    const qint64 oldestKeptMs =
        limits.keepDays > 0 ? now.addDays(-qint64(limits.keepDays)).toMSecsSinceEpoch() : 0;

    for (const Saved &picture : pictures) {
        const bool tooOld = limits.keepDays > 0 && picture.modifiedMs < oldestKeptMs;
        const bool tooMuch = limits.keepBytes > 0 && total > limits.keepBytes;
        if (!tooOld && !tooMuch) {
            ++report.kept;
            report.keptBytes += picture.bytes;
            continue;
        }
        // remove() unlinks the name: it never follows a link, even one that
        // took the picture's place since the folder was read.
        QFile file(picture.path);
        if (file.remove()) {
            ++report.removed;
            report.removedBytes += picture.bytes;
            report.removedPaths.append(picture.path);
            total -= picture.bytes;
        } else {
            report.failures.append(picture.name + QStringLiteral(": ") + file.errorString());
            ++report.kept;
            report.keptBytes += picture.bytes;
        }
    }
    return report;
}

bool PictureRetention::belowFreeSpaceFloor(const QString &directory, const Limits &limits)
{
    if (limits.minFreeBytes <= 0)
        return false;
    const std::optional<qint64> available = availableBytes(directory);
    return available && *available < limits.minFreeBytes;
}

std::optional<qint64> PictureRetention::availableBytes(const QString &directory)
{
    // The folder may not be made yet; its disk is the nearest existing parent's.
    QString path = QDir(directory).absolutePath();
    while (!QFileInfo::exists(path) && path != QDir(path).absoluteFilePath(QStringLiteral("..")))
        path = QFileInfo(path).absolutePath();
    QStorageInfo storage(path);
    if (!storage.isValid() || !storage.isReady())
        return std::nullopt;
    const qint64 available = storage.bytesAvailable();
    return available >= 0 ? std::optional<qint64>(available) : std::nullopt;
}

bool PictureRetention::isOwnPictureName(const QString &fileName)
{
    return !fileName.contains(QLatin1Char('/')) && ownPictureName().match(fileName).hasMatch();
}

std::optional<qint64> PictureRetention::parseSize(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^\\s*(\\d+(?:\\.\\d+)?)\\s*([kmgt]?)(?:i?b)?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const double number = match.captured(1).toDouble(&ok);
    if (!ok)
        return std::nullopt;
    static const QString units = QStringLiteral("kmgt");
    const QString unit = match.captured(2).toLower();
    const int power = unit.isEmpty() ? 0 : int(units.indexOf(unit)) + 1;
    const double bytes = number * std::pow(1024.0, power);
    // Below 2^62 stays exact enough and can never overflow a qint64 sum.
    if (!std::isfinite(bytes) || bytes >= std::ldexp(1.0, 62))
        return std::nullopt;
    return qint64(std::llround(bytes));
}

QString PictureRetention::sizeText(qint64 bytes)
{
    static const char *const units[] = {"", "K", "M", "G", "T"};
    int unit = 0;
    qint64 whole = bytes;
    while (unit < 4 && whole >= 1024 && whole % 1024 == 0) {
        whole /= 1024;
        ++unit;
    }
    if (whole < 10240 || unit == 4)
        return QString::number(whole) + QLatin1String(units[unit]);
    // Not a round number: one decimal of the largest unit that keeps it above 1.
    double value = double(bytes);
    unit = 0;
    while (unit < 4 && value >= 1024) {
        value /= 1024;
        ++unit;
    }
    QString text = QString::number(value, 'f', 1) + QLatin1String(units[unit]);
    // At the very top of the range, rounding (already in the double) can take
    // it past the largest size that reads back: a tenth less does.
    for (double lower = std::floor(value * 10) / 10; !parseSize(text); lower -= 0.1)
        text = QString::number(lower, 'f', 1) + QLatin1String(units[unit]);
    return text;
}
