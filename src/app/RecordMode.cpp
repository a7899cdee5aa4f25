#include "RecordMode.h"

#include <csignal>
#include <cstdio>

#include <QCoreApplication>
#include <QDir>

#include "AppInfo.h"
#include "CamListFile.h"
#include "CameraEngine.h"
#include "DisplayText.h"
#include "MessageBoxes.h"
#include "PictureRetention.h"
#include "Recorder.h"
#include "Settings.h"
#include "StopSignals.h"

namespace {

void writeLine(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) != size_t(bytes.size()) ||
        std::fflush(stream) != 0) {
        // A reader that went away must not stop the recording; say it once.
        static bool told = false;
        if (!told && stream != stderr) {
            told = true;
            std::fprintf(stderr, "tessaly: cannot write to standard output; recording goes on\n");
        }
        std::clearerr(stream);
    }
}

// Without a desktop nobody can press a button: a box is told on standard
// error and answered the careful way (Abort, Cancel, No, else the first button).
MessageBoxes::Button answerOnConsole(const MessageBoxes::Request &request)
{
    writeLine(stderr, QStringLiteral("tessaly: %1: %2").arg(request.title, request.text));
    if (!request.details.isEmpty())
        writeLine(stderr, QStringLiteral("tessaly: ") + request.details);
    return MessageBoxes::carefulAnswer(request);
}

// Stores one switch and says what it now is, for the operator.
bool storeSwitch(const QString &title, const QString &key, bool on, bool (*store)(bool))
{
    if (!store(on)) {
        writeLine(stderr, QStringLiteral("tessaly: \"%1\" could not be stored").arg(title));
        return false;
    }
    writeLine(stderr, QStringLiteral("tessaly: \"%1\" is %2 (\"%3\" = \"%4\" for %5)")
                          .arg(title, on ? QStringLiteral("on") : QStringLiteral("off"), key,
                               Settings::switchText(on),
                               QDir::toNativeSeparators(AppInfo::programDirectory())));
    return true;
}

// Stores one limit and says what it now is.
template <typename T>
bool storeLimit(const QString &title, const QString &key, T value, const QString &shown,
                bool (*store)(T))
{
    if (!store(value)) {
        writeLine(stderr, QStringLiteral("tessaly: \"%1\" could not be stored").arg(title));
        return false;
    }
    writeLine(stderr, QStringLiteral("tessaly: \"%1\" is %2 (\"%3\" = \"%4\" for %5)")
                          .arg(title, shown, key, QString::number(value),
                               QDir::toNativeSeparators(AppInfo::programDirectory())));
    return true;
}

QString sizeShown(qint64 bytes, const QString &none)
{
    return bytes > 0 ? PictureRetention::sizeText(bytes) : none;
}

} // namespace

int RecordMode::run(int &argc, char **argv, const StoredSwitches &switches, bool record)
{
    // A closed pipe on standard output is reported by the write, not by a signal
    // that would end the recording.
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    AppInfo::applyToApplication();
    MessageBoxes::setAsker(answerOnConsole);

    if (switches.autoSave &&
        !storeSwitch(QStringLiteral("AutoSave New Pictures"), QStringLiteral("autoSave"),
                     *switches.autoSave, &Settings::setAutoSave))
        return 1;
    if (switches.keepOriginal && !storeSwitch(QStringLiteral("Keep the camera's own pictures"),
                                              QStringLiteral("keepOriginal"),
                                              *switches.keepOriginal, &Settings::setKeepOriginal))
        return 1;
    if (switches.keepDays &&
        !storeLimit<int>(QStringLiteral("Keep pictures for"), QStringLiteral("keepDays"),
                         *switches.keepDays,
                         *switches.keepDays > 0 ? QStringLiteral("%1 days").arg(*switches.keepDays)
                                                : QStringLiteral("no limit"),
                         &Settings::setKeepDays))
        return 1;
    if (switches.keepSize &&
        !storeLimit<qint64>(
            QStringLiteral("Keep at most"), QStringLiteral("keepSize"), *switches.keepSize,
            sizeShown(*switches.keepSize, QStringLiteral("no limit")), &Settings::setKeepSize))
        return 1;
    if (switches.minFree &&
        !storeLimit<qint64>(
            QStringLiteral("Keep free on the disk"), QStringLiteral("minFree"), *switches.minFree,
            sizeShown(*switches.minFree, QStringLiteral("nothing")), &Settings::setMinFree))
        return 1;
    if (!record)
        return 0;

    StopSignals stopSignals;
    if (!stopSignals.isActive())
        writeLine(stderr, QStringLiteral("tessaly: cannot catch SIGINT/SIGTERM"));

    CameraEngine engine;
    Recorder recorder(&engine);
    QObject::connect(&recorder, &Recorder::reported,
                     [](const QString &line) { writeLine(stdout, line); });
    QObject::connect(&recorder, &Recorder::notice, [](const QString &text) {
        writeLine(stderr, QStringLiteral("tessaly: ") + DisplayText::escapeControls(text));
    });

    if (!recorder.start()) {
        writeLine(stderr, QStringLiteral("tessaly: ") + recorder.startError());
        return 1;
    }
    writeLine(stderr,
              QStringLiteral("tessaly: recording %1 cameras from %2, autosave %3 "
                             "(pictures into %4); SIGINT or SIGTERM stops")
                  .arg(recorder.openedCameras().size())
                  .arg(QDir::toNativeSeparators(CamListFile::path()),
                       recorder.autoSave() ? recorder.keepOriginal()
                                                 ? QStringLiteral("on, camera's own pictures")
                                                 : QStringLiteral("on")
                                           : QStringLiteral("off"),
                       QDir::toNativeSeparators(AppInfo::programFile(QStringLiteral("cam")))));

    QObject::connect(&stopSignals, &StopSignals::stopRequested, &app, [&](int) {
        recorder.stop();
        QCoreApplication::quit();
    });
    app.exec();
    recorder.stop();
    writeLine(stderr, QStringLiteral("tessaly: ") + recorder.summaryLine());
    // Camera names come from the list file: shown, never obeyed.
    writeLine(stderr, QStringLiteral("tessaly: ") +
                          DisplayText::escapeControls(recorder.failureSummaryLine()));
    return 0;
}
