#include "PictureRetention.h"

#include <algorithm>
#include <cmath>

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
    QDateTime modified;
};

// The rule joins the camera name, the date M/d/yyyy and the time h:mm:ss AP
// with the separators taken out: 6 to 8 date digits and 5 or 6 time digits.
const QRegularExpression &ownPictureName()
{
    static const QRegularExpression rule(QStringLiteral("^.*\\d{11,14}(AM|PM)(-\\d{1,4})?\\.jpg$"),
                                         QRegularExpression::DontCaptureOption);
    return rule;
}

QList<Saved> ownPictures(const QString &directory)
{
    QList<Saved> found;
    const QDir dir(directory);
    // No symlinks and no folders: a link to somewhere else is the user's.
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks | QDir::System);
    for (const QFileInfo &entry : entries) {
        if (entry.isSymLink() || !entry.isFile() ||
            !PictureRetention::isOwnPictureName(entry.fileName()))
            continue;
        found.append(
            {entry.absoluteFilePath(), entry.fileName(), entry.size(), entry.lastModified()});
    }
    std::sort(found.begin(), found.end(), [](const Saved &a, const Saved &b) {
        return a.modified != b.modified ? a.modified < b.modified : a.name < b.name;
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
    const QDateTime oldestKept =
        limits.keepDays > 0 ? now.addDays(-qint64(limits.keepDays)) : QDateTime();

    for (const Saved &picture : pictures) {
        const bool tooOld = oldestKept.isValid() && picture.modified < oldestKept;
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
