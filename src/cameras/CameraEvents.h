#pragma once

#include <memory>
#include <optional>

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include "EventsPublisher.h"

class CameraEngine;
class PictureSaver;
class QTimer;

// MQTT events for the cameras of an engine and the pictures of its saver, as
// the stored settings ("mqttBroker", "mqttId", "mqttThumbnails") ask: this
// program's availability, each camera's state (ok or stale, from the camera
// objects' health), its changes (ON and OFF, from its change detection) and a
// message per saved picture, with discovery. The
// window and the recorder each run one beside their engine and saver; both
// must outlive it.
class CameraEvents : public QObject
{
    Q_OBJECT
public:
    CameraEvents(const CameraEngine &engine, const PictureSaver &saver, QObject *parent = nullptr);
    ~CameraEvents() override;

    // The stored settings as the publisher takes them. Empty when events are
    // off, and also when the stored ones cannot be used: then problem says why.
    static std::optional<EventsPublisher::Options> storedOptions(QString *problem = nullptr);

    // (Re)starts from the stored settings for cameras (names as listed); a
    // running publisher says "offline" first. False when events are off or
    // cannot start; problem() then says why, and is empty when they are off.
    bool start(const QStringList &cameras);
    // Says "offline" and disconnects.
    void stop();
    bool isRunning() const { return m_publisher != nullptr; }
    QString problem() const { return m_problem; }
    // Null while stopped.
    EventsPublisher *publisher() const { return m_publisher.get(); }

    // The cameras told about changed (the camera list was edited).
    void setCameras(const QStringList &cameras);
    // A change began (percent of the picture) or ended on camera; the engine's
    // change detection is followed without being asked.
    void changeStarted(const QString &camera, int percent);
    void changeEnded(const QString &camera);

signals:
    // One line for the operator, already masked: connected, down, back.
    void notice(const QString &text);

private:
    void tellStates();

    const CameraEngine &m_engine;
    std::unique_ptr<EventsPublisher> m_publisher;
    QTimer *m_stateTimer = nullptr;
    QString m_problem;
    // The cameras in a change, by panel, told "OFF" when they close or events stop.
    QHash<int, QString> m_inChange;
};
