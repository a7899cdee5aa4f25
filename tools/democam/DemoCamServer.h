#pragma once

#include <functional>

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTcpServer>

#include "DemoCamJpegEncoder.h"
#include "DemoCamOptions.h"
#include "DemoCamScene.h"

class DemoCamConnection;

// Serves the demo cameras over HTTP/1.1 on 127.0.0.1: GET /camN.jpg answers
// with the camera's current picture and closes the connection, as a simple
// snapshot camera does. A camera's picture changes every few seconds; the
// picture and its Last-Modified stay the same in between, and the encoded JPEG
// is kept so that a repeat request costs nothing.
class DemoCamServer : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    // What one connection is to send. `bytes` empty with `answer` false: keep
    // the connection open and say nothing.
    struct Response
    {
        QByteArray bytes;
        bool answer = true;
        int camera = 0; // 0: not a camera path
    };

    // The picture a camera shows during one change period.
    struct Snapshot
    {
        qint64 moment = -1;      // seconds since the epoch when it appeared
        QByteArray jpeg;         // empty when encoding failed
        QByteArray lastModified; // RFC 1123 date of the moment
    };

    static constexpr qsizetype kMaxRequestBytes = 16 * 1024;
    static constexpr int kMaxConnections = 256;

    explicit DemoCamServer(const DemoCamOptions &options, QObject *parent = nullptr);
    ~DemoCamServer() override;

    // Listens on 127.0.0.1 at options.port (0: a free port).
    bool listen();
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }
    const DemoCamOptions &options() const { return m_options; }

    QString url(int camera) const;
    // The line scripts read to learn the port.
    QString listeningLine() const;

    // Tests drive time through this instead of waiting for it.
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // How long a client may take to send its request head (10 s by default).
    void setRequestTimeoutMs(int ms) { m_requestTimeoutMs = ms; }
    int requestTimeoutMs() const { return m_requestTimeoutMs; }

    // The start of the change period that `now` falls in for this camera.
    // Cameras are offset by a second each so that they do not all change together.
    qint64 momentFor(int camera, qint64 nowSecs) const;
    // The camera's current picture, rendered and encoded only when its moment changed.
    const Snapshot &snapshot(int camera);
    // Pictures rendered and encoded so far (each moment of each camera counts once).
    int renderCount() const { return m_renderCount; }
    int openConnections() const { return int(m_connections.size()); }

    // The whole answer to a complete request head (up to its blank line).
    Response respond(const QByteArray &requestHead);

    // "Sun, 06 Nov 1994 08:49:37 GMT", in English whatever the locale.
    static QByteArray httpDate(qint64 secsSinceEpoch);

signals:
    // After a connection has sent its last byte (or was dropped), for tests and logs.
    void connectionFinished();

private:
    void onNewConnection();
    QByteArray pictureResponse(int camera, bool headOnly);

    DemoCamOptions m_options;
    QTcpServer m_server;
    Clock m_clock;
    int m_requestTimeoutMs = 10000;
    DemoCamScene m_scene;
    DemoCamJpegEncoder m_encoder;
    QHash<int, Snapshot> m_snapshots;
    QSet<DemoCamConnection *> m_connections;
    int m_renderCount = 0;
};
