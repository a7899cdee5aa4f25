#include "RecordMode.h"

#include <csignal>
#include <cstdio>
#include <memory>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>
#include <QTimer>

#include "AppInfo.h"
#include "BrokerAddress.h"
#include "CamListFile.h"
#include "Camera.h"
#include "CameraEngine.h"
#include "CameraEvents.h"
#include "CameraWebFeed.h"
#include "CertificatePins.h"
#include "DisplayText.h"
#include "EventTopics.h"
#include "EventsPublisher.h"
#include "MessageBoxes.h"
#include "PictureRetention.h"
#include "PictureSaver.h"
#include "Recorder.h"
#include "Settings.h"
#include "StopSignals.h"
#include "TessalyError.h"
#include "WebCertificate.h"
#include "WebView.h"

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

// How the web view is to listen, stored for the next runs and the window.
bool storeWebView(const Settings::WebView &view)
{
    if (!Settings::setWebView(view)) {
        writeLine(stderr, QStringLiteral("tessaly: \"Web view\" could not be stored"));
        return false;
    }
    const QString text = Settings::webViewText(view);
    writeLine(stderr,
              QStringLiteral("tessaly: \"Web view\" is %1 (\"webView\" = \"%2\")")
                  .arg(view.on ? QStringLiteral("on at https://%1/").arg(text) : text, text));
    if (view.on && Settings::webPasswordHash().isEmpty())
        writeLine(stderr, QStringLiteral("tessaly: set its password with: tessaly --web-password"));
    return true;
}

// The user's own certificate and key, checked to be a pair before they are stored.
bool storeWebCertificate(const QString &certificate, const QString &key)
{
    const QString certificatePath = QFileInfo(certificate).absoluteFilePath();
    const QString keyPath = QFileInfo(key).absoluteFilePath();
    const Result<WebCertificate> pair = WebCertificate::load(certificatePath, keyPath);
    if (!pair) {
        writeLine(stderr, QStringLiteral("tessaly: ") + pair.errorText());
        return false;
    }
    if (!Settings::setWebCertificate(certificatePath, keyPath)) {
        writeLine(stderr,
                  QStringLiteral("tessaly: the web view's certificate could not be stored"));
        return false;
    }
    writeLine(stderr,
              QStringLiteral("tessaly: the web view uses %1 (SHA-256 %2)")
                  .arg(QDir::toNativeSeparators(certificatePath), pair.value().fingerprintText()));
    return true;
}

// Stores one text setting and says what it now is; shown is what a person
// may see of it (a broker address without its password).
bool storeText(const QString &title, const QString &key, const QString &value, const QString &shown,
               bool (*store)(const QString &))
{
    if (!store(value)) {
        writeLine(stderr, QStringLiteral("tessaly: \"%1\" could not be stored").arg(title));
        return false;
    }
    writeLine(stderr,
              QStringLiteral("tessaly: \"%1\" is %2 (\"%3\" for %4)")
                  .arg(title, shown, key, QDir::toNativeSeparators(AppInfo::programDirectory())));
    return true;
}

// ---- MQTT events -----------------------------------------------------------

// Starts the events for a running recorder, or answers nullptr when they are
// off. The caller keeps them until the recorder stops.
std::unique_ptr<CameraEvents> startEvents(const CameraEngine &engine, Recorder &recorder)
{
    const PictureSaver *saver = recorder.findChild<PictureSaver *>();
    if (!saver)
        return nullptr;
    auto events = std::make_unique<CameraEvents>(engine, *saver);
    QObject::connect(events.get(), &CameraEvents::notice, [](const QString &text) {
        writeLine(stderr, QStringLiteral("tessaly: ") + DisplayText::escapeControls(text));
    });
    if (!events->start(recorder.openedCameras())) {
        if (!events->problem().isEmpty())
            writeLine(stderr, QStringLiteral("tessaly: ") + events->problem());
        return nullptr;
    }
    return events;
}
// ---------------------------------------------------------------------------

// "off", "on", "on, camera's own pictures", "only changes", "only changes, every
// 10 min as well"; detection off is said, since it stops change saving.
QString autoSaveText(const Recorder &recorder)
{
    QString text;
    switch (recorder.autoSaveMode()) {
    case Settings::AutoSaveMode::Off:
        text = QStringLiteral("off");
        break;
    case Settings::AutoSaveMode::Every:
        text = QStringLiteral("on");
        break;
    case Settings::AutoSaveMode::Change:
        text = QStringLiteral("only changes");
        break;
    }
    if (recorder.autoSave() && recorder.keepOriginal())
        text += QStringLiteral(", camera's own pictures");
    text += recorder.detect() ? QStringLiteral(", change detection on")
                              : QStringLiteral(", change detection off");
    return text;
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

    if (switches.autoSave) {
        if (*switches.autoSave != Settings::AutoSaveMode::Change) {
            if (!storeSwitch(QStringLiteral("AutoSave New Pictures"), QStringLiteral("autoSave"),
                             *switches.autoSave == Settings::AutoSaveMode::Every,
                             &Settings::setAutoSave))
                return 1;
        } else if (!storeText(QStringLiteral("AutoSave New Pictures"), QStringLiteral("autoSave"),
                              QStringLiteral("change"), QStringLiteral("on, only changes"),
                              [](const QString &) {
                                  return Settings::setAutoSaveMode(Settings::AutoSaveMode::Change);
                              })) {
            return 1;
        }
    }
    if (switches.detect &&
        !storeSwitch(QStringLiteral("Change detection"), QStringLiteral("detect"), *switches.detect,
                     &Settings::setDetect))
        return 1;
    if (switches.alsoEveryMinutes &&
        !storeLimit<int>(QStringLiteral("Also save every"), QStringLiteral("alsoEvery"),
                         *switches.alsoEveryMinutes,
                         *switches.alsoEveryMinutes > 0
                             ? QStringLiteral("%1 minutes").arg(*switches.alsoEveryMinutes)
                             : QStringLiteral("never"),
                         &Settings::setAlsoEveryMinutes))
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
    if (switches.webView && !storeWebView(*switches.webView))
        return 1;
    if (switches.webCertificate && switches.webKey &&
        !storeWebCertificate(*switches.webCertificate, *switches.webKey))
        return 1;
    if (switches.mqttBroker) {
        const QString &address = *switches.mqttBroker;
        const Result<BrokerAddress> broker = BrokerAddress::parse(address);
        if (!storeText(QStringLiteral("MQTT broker"), QStringLiteral("mqttBroker"), address,
                       broker ? broker.value().display() : QStringLiteral("off"),
                       &Settings::setMqttBroker))
            return 1;
    }
    if (switches.mqttId && !storeText(QStringLiteral("MQTT id"), QStringLiteral("mqttId"),
                                      *switches.mqttId, *switches.mqttId, &Settings::setMqttId))
        return 1;
    if (switches.mqttThumbnails &&
        !storeSwitch(QStringLiteral("MQTT thumbnails"), QStringLiteral("mqttThumbnails"),
                     *switches.mqttThumbnails, &Settings::setMqttThumbnails))
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
                  .arg(QDir::toNativeSeparators(CamListFile::path()), autoSaveText(recorder),
                       QDir::toNativeSeparators(AppInfo::programFile(QStringLiteral("cam")))));

    // The web view, when it is on: a web view that cannot start is told, and
    // the recording goes on without it.
    WebView web;
    QObject feeding;
    if (Settings::webView().on) {
        web.setPictureIndex(recorder.pictureIndex());
        const Result<QStringList> started = web.start();
        if (started) {
            for (const QString &line : started.value())
                writeLine(stderr, QStringLiteral("tessaly: ") + line);
            CameraWebFeed::follow(engine, web, &feeding);
        } else {
            writeLine(stderr,
                      QStringLiteral("tessaly: web view not started: ") + started.errorText());
        }
    }
    std::unique_ptr<CameraEvents> events = startEvents(engine, recorder);

    QObject::connect(&stopSignals, &StopSignals::stopRequested, &app, [&](int) {
        recorder.stop();
        QCoreApplication::quit();
    });
    app.exec();
    web.stop();
    recorder.stop();
    if (events)
        events->stop(); // "offline" goes out before the last line
    writeLine(stderr, QStringLiteral("tessaly: ") + recorder.summaryLine());
    // Camera names come from the list file: shown, never obeyed.
    writeLine(stderr, QStringLiteral("tessaly: ") +
                          DisplayText::escapeControls(recorder.failureSummaryLine()));
    return 0;
}
