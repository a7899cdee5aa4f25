#include "CameraEvents.h"

#include <cmath>

#include <QDateTime>
#include <QFileInfo>
#include <QSysInfo>
#include <QTimer>

#include "AppInfo.h"
#include "BrokerAddress.h"
#include "Camera.h"
#include "CameraEngine.h"
#include "CertificatePins.h"
#include "EventTopics.h"
#include "PictureSaver.h"
#include "Settings.h"
#include "TessalyError.h"

CameraEvents::CameraEvents(const CameraEngine &engine, const PictureSaver &saver, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_stateTimer(new QTimer(this))
{
    // Stale is a matter of time passing without pictures, so it is looked at
    // every second as well as when the health changes; only changes go out.
    m_stateTimer->setInterval(1000);
    connect(m_stateTimer, &QTimer::timeout, this, &CameraEvents::tellStates);
    connect(&engine, &CameraEngine::healthChanged, this, &CameraEvents::tellStates);
    connect(&engine, &CameraEngine::changeJudged, this,
            [this](Camera *camera, const CameraChangeWatch::Outcome &outcome) {
                if (outcome.verdict.started) {
                    m_inChange.insert(camera->panel(), camera->name());
                    changeStarted(camera->name(), int(std::lround(outcome.verdict.changedPercent)));
                }
                if (outcome.verdict.ended && m_inChange.remove(camera->panel()))
                    changeEnded(camera->name());
            });
    // A camera closed in a change would leave "motion" on for good.
    connect(&engine, &CameraEngine::stopped, this, [this](int panel) {
        if (m_inChange.contains(panel))
            changeEnded(m_inChange.take(panel));
    });
    connect(&saver, &PictureSaver::pictureSaved, this, [this](const SaveReport &report) {
        if (m_publisher && report.saved())
            m_publisher->pictureSaved(report.camera, QDateTime::currentDateTime(),
                                      QFileInfo(report.path).fileName(), report.picture.bytes());
    });
}

CameraEvents::~CameraEvents() = default;

std::optional<EventsPublisher::Options> CameraEvents::storedOptions(QString *problem)
{
    const auto off = [problem](const QString &why) {
        if (problem)
            *problem = QStringLiteral("events are off: ") + why;
        return std::nullopt;
    };
    QString stored;
    QString id;
    bool thumbnails = false;
    try {
        stored = Settings::mqttBroker();
        id = Settings::mqttId();
        thumbnails = Settings::mqttThumbnails();
    } catch (const TessalyError &error) {
        return off(QStringLiteral("the settings cannot be read: ") +
                   QString::fromLocal8Bit(error.what()));
    }
    if (stored.isEmpty())
        return std::nullopt;
    const Result<BrokerAddress> broker = BrokerAddress::parse(stored);
    if (!broker)
        return off(broker.errorText());
    if (id.isEmpty() || !EventTopics::isValidId(id))
        id = EventTopics::defaultId(QSysInfo::machineHostName());
    EventsPublisher::Options options;
    options.broker = broker.value();
    options.id = id;
    options.thumbnails = thumbnails;
    options.pinnedSha256 = CertificatePins::pinFor(broker.value().hostPort());
    options.version = AppInfo::versionString();
    return options;
}

bool CameraEvents::start(const QStringList &cameras)
{
    stop();
    m_problem.clear();
    const std::optional<EventsPublisher::Options> options = storedOptions(&m_problem);
    if (!options)
        return false;
    auto publisher = std::make_unique<EventsPublisher>();
    connect(publisher.get(), &EventsPublisher::notice, this, &CameraEvents::notice);
    publisher->setCameras(cameras);
    if (!publisher->start(*options)) {
        m_problem = publisher->error();
        return false;
    }
    m_publisher = std::move(publisher);
    tellStates();
    m_stateTimer->start();
    return true;
}

void CameraEvents::stop()
{
    for (const QString &camera : std::as_const(m_inChange))
        changeEnded(camera);
    m_inChange.clear();
    m_stateTimer->stop();
    if (m_publisher)
        m_publisher->stop();
    m_publisher.reset();
}

void CameraEvents::setCameras(const QStringList &cameras)
{
    if (!m_publisher)
        return;
    m_publisher->setCameras(cameras);
    tellStates();
}

void CameraEvents::changeStarted(const QString &camera, int percent)
{
    if (m_publisher)
        m_publisher->changeStarted(camera, percent);
}

void CameraEvents::changeEnded(const QString &camera)
{
    if (m_publisher)
        m_publisher->changeEnded(camera);
}

void CameraEvents::tellStates()
{
    if (!m_publisher)
        return;
    for (const Camera *camera : m_engine.cameras())
        m_publisher->cameraState(camera->name(), camera->isStale());
}
