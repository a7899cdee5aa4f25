#include "FfProbe.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace FfProbe {

Video probe(const QString &path)
{
    Video video;
    const QString program = QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
    if (program.isEmpty()) {
        video.error = QStringLiteral("ffprobe is not installed (Debian package ffmpeg)");
        return video;
    }
    QProcess process;
    process.start(program,
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                   QStringLiteral("v:0"), QStringLiteral("-count_frames"),
                   QStringLiteral("-show_entries"),
                   QStringLiteral("stream=codec_name,pix_fmt,width,height,nb_read_frames:"
                                  "format=duration"),
                   QStringLiteral("-of"), QStringLiteral("default=noprint_wrappers=1"), path});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        video.error = QStringLiteral("ffprobe failed: ") +
                      QString::fromLocal8Bit(process.readAllStandardError());
        return video;
    }
    const QStringList lines =
        QString::fromLocal8Bit(process.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString key = line.section(QLatin1Char('='), 0, 0);
        const QString value = line.section(QLatin1Char('='), 1);
        if (key == QLatin1String("codec_name"))
            video.codec = value;
        else if (key == QLatin1String("pix_fmt"))
            video.pixelFormat = value;
        else if (key == QLatin1String("width"))
            video.width = value.toInt();
        else if (key == QLatin1String("height"))
            video.height = value.toInt();
        else if (key == QLatin1String("nb_read_frames"))
            video.frames = value.toInt();
        else if (key == QLatin1String("duration"))
            video.durationSeconds = value.toDouble();
    }
    return video;
}

} // namespace FfProbe
