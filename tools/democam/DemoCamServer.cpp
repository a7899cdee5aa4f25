#include "DemoCamServer.h"

#include <utility>

#include <QHostAddress>
#include <QList>
#include <QLocale>
#include <QTcpSocket>

#include "AppInfo.h"
#include "DemoCamConnection.h"

namespace {

using Header = std::pair<QByteArray, QByteArray>;

QByteArray joinResponse(const QByteArray &statusLine, const QList<Header> &headers,
                        const QByteArray &body, bool lowercaseNames = false)
{
    QByteArray out = statusLine + "\r\n";
    for (const auto &[name, value] : headers)
        out += (lowercaseNames ? name.toLower() : name) + ": " + value + "\r\n";
    out += "\r\n";
    return out + body;
}

QByteArray serverHeader()
{
    return "tessaly-democam/" + AppInfo::versionString().toLatin1();
}

// Camera number of a path "/camN.jpg" (N from 1 to `cameras`, no leading zero), else 0.
int cameraOfPath(const QByteArray &path, int cameras)
{
    if (!path.startsWith("/cam") || !path.endsWith(".jpg"))
        return 0;
    const QByteArray digits = path.mid(4, path.size() - 8);
    if (digits.isEmpty() || digits.size() > 2 || digits.startsWith('0'))
        return 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return 0;
    }
    const int n = digits.toInt();
    return n >= 1 && n <= cameras ? n : 0;
}

// Bytes that can never be read as HTTP: no CR, so no header end is ever found.
QByteArray garbageBytes(qint64 seed)
{
    QByteArray bytes(4096, Qt::Uninitialized);
    quint32 state = quint32(seed) * 2246822519u + 1u;
    for (char &c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = char(state >> 24);
        if (c == '\r')
            c = '\n';
    }
    return bytes;
}

} // namespace

DemoCamServer::DemoCamServer(const DemoCamOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_scene(options.size, options.scene)
{
    connect(&m_server, &QTcpServer::newConnection, this, &DemoCamServer::onNewConnection);
}

DemoCamServer::~DemoCamServer()
{
    // Connections are children; make sure none reports back while we are torn down.
    const QSet<DemoCamConnection *> open = std::exchange(m_connections, {});
    for (DemoCamConnection *c : open) {
        c->disconnect(this);
        delete c;
    }
}

bool DemoCamServer::listen()
{
    return m_server.listen(QHostAddress::LocalHost, m_options.port);
}

QString DemoCamServer::url(int camera) const
{
    return QStringLiteral("http://127.0.0.1:%1/cam%2.jpg").arg(port()).arg(camera);
}

QString DemoCamServer::listeningLine() const
{
    QString line = QStringLiteral("tessaly-democam listening on ") + url(1);
    if (m_options.cameras > 1)
        line += QStringLiteral(" ... ") + url(m_options.cameras);
    line += m_options.cameras == 1 ? QStringLiteral(" (1 camera)")
                                   : QStringLiteral(" (%1 cameras)").arg(m_options.cameras);
    return line;
}

QByteArray DemoCamServer::httpDate(qint64 secsSinceEpoch)
{
    const QDateTime utc = QDateTime::fromSecsSinceEpoch(secsSinceEpoch, Qt::UTC);
    return QLocale::c().toString(utc, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")).toLatin1();
}

qint64 DemoCamServer::momentFor(int camera, qint64 nowSecs) const
{
    const qint64 period = m_options.changeEveryFor(camera);
    const qint64 offset = (qMax(camera, 1) - 1) % period;
    const qint64 shifted = nowSecs - offset;
    // Floor division, so moments before 1970 (a skewed test clock) still line up.
    qint64 periods = shifted / period;
    if (shifted % period < 0)
        --periods;
    return periods * period + offset;
}

const DemoCamServer::Snapshot &DemoCamServer::snapshot(int camera)
{
    const QDateTime now = m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
    const qint64 moment = momentFor(camera, now.toSecsSinceEpoch());
    Snapshot &snap = m_snapshots[camera];
    if (snap.moment == moment && !snap.jpeg.isEmpty())
        return snap;

    const QImage picture = m_scene.render(
        camera, QDateTime::fromSecsSinceEpoch(moment + m_options.sceneOffsetSeconds, Qt::UTC),
        m_options.changeEveryFor(camera));
    ++m_renderCount;
    snap.moment = moment;
    snap.lastModified = httpDate(moment);
    snap.jpeg = m_encoder.encode(picture, m_options.quality);
    return snap;
}

QByteArray DemoCamServer::pictureResponse(int camera, bool headOnly)
{
    const BrokenMode mode = m_options.brokenFor(camera);
    const QDateTime now = m_clock ? m_clock() : QDateTime::currentDateTimeUtc();
    const QByteArray date = httpDate(now.toSecsSinceEpoch());

    if (mode == BrokenMode::Garbage)
        return garbageBytes(now.toSecsSinceEpoch() + camera);

    if (mode == BrokenMode::Html) {
        const QByteArray page = "<html><head><title>500 Internal Server Error</title></head>"
                                "<body><h1>Camera unavailable</h1><p>The sensor of " +
                                DemoCamScene::cameraName(camera).toUtf8() +
                                " does not answer.</p></body></html>\n";
        return joinResponse("HTTP/1.1 500 Internal Server Error",
                            {{"Server", serverHeader()},
                             {"Date", date},
                             {"Content-Type", "text/html; charset=utf-8"},
                             {"Content-Length", QByteArray::number(page.size())},
                             {"Connection", "close"}},
                            headOnly ? QByteArray() : page);
    }

    const Snapshot &snap = snapshot(camera);
    if (snap.jpeg.isEmpty()) {
        const QByteArray text =
            "the picture could not be encoded: " + m_encoder.errorString().toUtf8() + "\n";
        return joinResponse("HTTP/1.1 500 Internal Server Error",
                            {{"Content-Type", "text/plain; charset=utf-8"},
                             {"Content-Length", QByteArray::number(text.size())},
                             {"Connection", "close"}},
                            headOnly ? QByteArray() : text);
    }

    QByteArray body = snap.jpeg;
    qsizetype announced = body.size();
    if (mode == BrokenMode::Truncate) {
        body.truncate(body.size() / 2);
    } else if (mode == BrokenMode::BadJpeg) {
        body = QByteArray("this is not a JPEG picture\n").repeated(64);
        announced = body.size();
    }

    QList<Header> headers{
        {"Server", serverHeader()}, {"Date", date}, {"Content-Type", "image/jpeg"}};
    if (mode != BrokenMode::NoLength)
        headers.append(Header{"Content-Length", QByteArray::number(announced)});
    if (mode != BrokenMode::NoLastModified)
        headers.append(Header{"Last-Modified", snap.lastModified});
    headers.append(Header{"Cache-Control", "no-cache"});
    if (mode == BrokenMode::HugeHeader)
        headers.append(Header{"X-Padding", QByteArray(40 * 1024, 'x')});
    headers.append(Header{"Connection", "close"});
    return joinResponse("HTTP/1.1 200 OK", headers, headOnly ? QByteArray() : body,
                        mode == BrokenMode::LowercaseHeaders);
}

DemoCamServer::Response DemoCamServer::respond(const QByteArray &requestHead)
{
    auto plain = [](const QByteArray &status, const QByteArray &text, bool headOnly,
                    QList<Header> extra = {}) {
        QList<Header> headers{{"Server", serverHeader()},
                              {"Content-Type", "text/plain; charset=utf-8"},
                              {"Content-Length", QByteArray::number(text.size())}};
        headers += extra;
        headers.append(Header{"Connection", "close"});
        return joinResponse("HTTP/1.1 " + status, headers, headOnly ? QByteArray() : text);
    };

    Response response;
    qsizetype lineEnd = requestHead.indexOf('\n');
    const QByteArray requestLine =
        (lineEnd < 0 ? requestHead : requestHead.left(lineEnd)).trimmed();
    const QList<QByteArray> parts = requestLine.simplified().split(' ');
    if (parts.size() != 3 || !parts[2].startsWith("HTTP/1.")) {
        response.bytes = plain("400 Bad Request", "bad request\n", false);
        return response;
    }
    const QByteArray &method = parts[0];
    const bool headOnly = method == "HEAD";
    if (method != "GET" && !headOnly) {
        response.bytes =
            plain("405 Method Not Allowed", "only GET and HEAD\n", false, {{"Allow", "GET, HEAD"}});
        return response;
    }

    QByteArray path = parts[1];
    // An absolute URL as a proxy would send it: keep only its path.
    if (path.toLower().startsWith("http://")) {
        const qsizetype slash = path.indexOf('/', 7);
        path = slash < 0 ? QByteArray("/") : path.mid(slash);
    }
    // Viewers often add a query to defeat caches; it does not change the camera.
    const qsizetype query = path.indexOf('?');
    if (query >= 0)
        path.truncate(query);

    const int camera = cameraOfPath(path, m_options.cameras);
    if (camera == 0) {
        response.bytes = plain("404 Not Found", "no such camera; try /cam1.jpg\n", headOnly);
        return response;
    }
    response.camera = camera;
    if (m_options.brokenFor(camera) == BrokenMode::NeverAnswer) {
        response.answer = false;
        return response;
    }
    response.bytes = pictureResponse(camera, headOnly);
    return response;
}

void DemoCamServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_connections.size() >= kMaxConnections) {
            // Too many at once: refuse rather than let clients pile up without bound.
            socket->abort();
            socket->deleteLater();
            continue;
        }
        DemoCamConnection::Limits limits;
        limits.maxRequestBytes = kMaxRequestBytes;
        limits.requestTimeoutMs = m_requestTimeoutMs;
        limits.slowBytesPerSecond = m_options.slowBytesPerSecond;
        auto *connection = new DemoCamConnection(
            socket,
            [this](const QByteArray &head) -> std::optional<QByteArray> {
                const Response r = respond(head);
                if (!r.answer)
                    return std::nullopt;
                return r.bytes;
            },
            limits, this);
        m_connections.insert(connection);
        connect(connection, &DemoCamConnection::finished, this, [this, connection] {
            m_connections.remove(connection);
            emit connectionFinished();
        });
    }
}
