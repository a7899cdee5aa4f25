#include "WebServer.h"

#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

#include "GridPicture.h"
#include "PictureIndex.h"
#include "SnapshotNameReader.h"
#include "WebCameraBoard.h"
#include "WebPages.h"
#include "WebPassword.h"
#include "WebSessions.h"

// What the deadline watcher knows of one connection.
struct WebServer::Connection
{
    MHD_socket fd = MHD_INVALID_SOCKET;
    qint64 phaseStartMs = 0; // when the connection or its current request began
    bool inRequest = false;  // the header is in: the deadline no longer applies
    bool cutOff = false;
};

namespace {

qint64 steadyMs()
{
    static QElapsedTimer timer;
    static std::once_flag started;
    std::call_once(started, [] { timer.start(); });
    return timer.elapsed();
}

const QByteArray kHtml = "text/html; charset=utf-8";
constexpr qint64 SessionCookieMaxAge = WebSessions::ExpireAfterSecs;

WebReply reply(int status, const QByteArray &type, const QByteArray &body)
{
    WebReply r;
    r.status = status;
    r.contentType = type;
    r.body = body;
    return r;
}

WebReply redirect(const QByteArray &to)
{
    WebReply r = reply(303, "text/plain; charset=utf-8", "See " + to + '\n');
    r.headers.emplace_back("Location", to);
    return r;
}

WebReply plain(int status, const QByteArray &text)
{
    return reply(status, "text/plain; charset=utf-8", text + '\n');
}

QByteArray sessionCookie(const QByteArray &token, qint64 maxAge)
{
    return QByteArray(WebServer::CookieName) + '=' + token +
           "; Path=/; Max-Age=" + QByteArray::number(maxAge) +
           "; HttpOnly; Secure; SameSite=Strict";
}

// "/camera/<id>" plus a rest: the id when the path has that shape, else -1.
int cameraId(const QByteArray &path, QByteArray *rest)
{
    static const QByteArray prefix = "/camera/";
    if (!path.startsWith(prefix))
        return -1;
    qsizetype end = prefix.size();
    while (end < path.size() && end - prefix.size() < 9 && path.at(end) >= '0' &&
           path.at(end) <= '9')
        ++end;
    if (end == prefix.size())
        return -1;
    *rest = path.mid(end);
    return path.mid(prefix.size(), end - prefix.size()).toInt();
}

// Digits only, at most maxDigits of them: the number, else nothing. No sign,
// no space, no exponent, no hex.
std::optional<qint64> strictNumber(QByteArrayView text, int maxDigits)
{
    if (text.isEmpty() || text.size() > maxDigits)
        return std::nullopt;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "/saved/<ms>-<hash>.jpg" or ".small.jpg": the key's two numbers, and
// whether the small copy is asked for.
struct SavedAddress
{
    qint64 timeMs = 0;
    qint64 tag = 0;
    bool small = false;
};

std::optional<SavedAddress> savedAddress(const QByteArray &rest)
{
    static const QByteArray prefix = "/saved/";
    if (!rest.startsWith(prefix))
        return std::nullopt;
    QByteArray name = rest.mid(prefix.size());
    SavedAddress address;
    if (name.endsWith(".small.jpg")) {
        address.small = true;
        name.chop(10);
    } else if (name.endsWith(".jpg")) {
        name.chop(4);
    } else {
        return std::nullopt;
    }
    const qsizetype dash = name.indexOf('-');
    if (dash < 0)
        return std::nullopt;
    const std::optional<qint64> time = strictNumber(name.left(dash), 15);
    const std::optional<qint64> tag = strictNumber(name.mid(dash + 1), 10);
    if (!time || !tag || *tag > 0xffffffffLL)
        return std::nullopt;
    address.timeMs = *time;
    address.tag = *tag;
    return address;
}

quint32 fileTag(const QString &file)
{
    const QByteArray hash = QCryptographicHash::hash(file.toUtf8(), QCryptographicHash::Sha256);
    return quint32(quint8(hash[0])) << 24 | quint32(quint8(hash[1])) << 16 |
           quint32(quint8(hash[2])) << 8 | quint32(quint8(hash[3]));
}

// A regular file's bytes (a link is not followed), up to max; nothing when
// it is gone, not a file or too large.
std::optional<QByteArray> readRegularFile(const QString &path, qint64 max)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info = {};
    std::optional<QByteArray> bytes;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= max) {
        QByteArray read(qsizetype(info.st_size), Qt::Uninitialized);
        qsizetype at = 0;
        while (at < read.size()) {
            const ssize_t n = ::read(fd, read.data() + at, size_t(read.size() - at));
            if (n <= 0)
                break;
            at += n;
        }
        read.truncate(at); // shortened while it was read
        bytes = read;
    }
    ::close(fd);
    return bytes;
}

QByteArray pictureType(const QByteArray &bytes)
{
    if (bytes.startsWith("\xff\xd8"))
        return "image/jpeg";
    if (bytes.startsWith("\x89PNG"))
        return "image/png";
    if (bytes.startsWith("GIF8"))
        return "image/gif";
    if (bytes.startsWith("BM"))
        return "image/bmp";
    return "application/octet-stream";
}

QString addressOf(const sockaddr *address)
{
    if (!address)
        return {};
    QHostAddress host(address);
    // An IPv4 client on a dual-stack socket counts as its IPv4 address.
    bool ok = false;
    const quint32 v4 = host.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : host.toString();
}

struct Body
{
    QByteArray bytes;
};

ssize_t readBody(void *context, uint64_t position, char *buffer, size_t max)
{
    const QByteArray &bytes = static_cast<Body *>(context)->bytes;
    if (position >= uint64_t(bytes.size()))
        return MHD_CONTENT_READER_END_OF_STREAM;
    const size_t n = std::min(max, size_t(uint64_t(bytes.size()) - position));
    std::memcpy(buffer, bytes.constData() + position, n);
    return ssize_t(n);
}

void freeBody(void *context)
{
    delete static_cast<Body *>(context);
}

// A request under way: its body as it arrives.
struct Pending
{
    QByteArray body;
    bool tooLarge = false;
};

// Paths stay as the client sent them: our routes hold no escapes, so
// "%2e%2e", "%2f" and "%00" simply name nothing, instead of becoming dots,
// slashes and an early end after decoding.
size_t keepEscapes(void *, MHD_Connection *, char *text)
{
    return std::strlen(text);
}

void swallowLog(void *, const char *, va_list)
{
    // A hostile client makes libmicrohttpd talk; none of it is ours to print.
}

} // namespace

// libmicrohttpd's callbacks, which reach into the server.
struct WebServerGlue
{
    static MHD_Result onRequest(void *self, MHD_Connection *connection, const char *url,
                                const char *method, const char *, const char *uploadData,
                                size_t *uploadSize, void **requestContext)
    {
        auto *server = static_cast<WebServer *>(self);
        if (!*requestContext) {
            // The header is in: the deadline for it no longer applies.
            if (const MHD_ConnectionInfo *info =
                    MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT)) {
                if (auto *watched = static_cast<WebServer::Connection *>(info->socket_context)) {
                    const std::lock_guard lock(server->m_watchMutex);
                    watched->inRequest = true;
                }
            }
            *requestContext = new Pending;
            const char *length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                                             MHD_HTTP_HEADER_CONTENT_LENGTH);
            if (!length || QByteArray(length).toLongLong() <= WebServer::MaxBodyBytes)
                return MHD_YES;
            static_cast<Pending *>(*requestContext)->tooLarge = true;
        }
        auto *pending = static_cast<Pending *>(*requestContext);
        if (*uploadSize > 0 && !pending->tooLarge) {
            if (pending->body.size() + qint64(*uploadSize) > WebServer::MaxBodyBytes)
                pending->tooLarge = true;
            else
                pending->body.append(uploadData, qsizetype(*uploadSize));
            *uploadSize = 0;
            if (!pending->tooLarge)
                return MHD_YES;
        }
        // A body over the limit is answered at once, without reading it; the
        // connection then closes.
        *uploadSize = 0;

        WebRequest request;
        request.method = method;
        request.path = url;
        request.body = pending->body;
        if (const char *cookie =
                MHD_lookup_connection_value(connection, MHD_COOKIE_KIND, WebServer::CookieName))
            request.sessionCookie = cookie;
        if (const char *origin =
                MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_ORIGIN))
            request.origin = origin;
        if (const char *host =
                MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_HOST))
            request.host = host;
        if (const char *around =
                MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "around"))
            request.around = QByteArray(around).left(64);
        if (const MHD_ConnectionInfo *info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS))
            request.clientAddress = addressOf(info->client_addr);
        if (const MHD_ConnectionInfo *info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE))
            request.headerBytes = qint64(info->header_size);

        WebReply answer =
            pending->tooLarge ? plain(413, "Request body too large") : server->respond(request);
        auto *body = new Body{answer.body};
        MHD_Response *response = MHD_create_response_from_callback(
            uint64_t(body->bytes.size()), 64 * 1024, readBody, body, freeBody);
        if (!response) {
            delete body;
            return MHD_NO;
        }
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE,
                                answer.contentType.constData());
        // Every answer: no framing, no guessing of types, our own origin only,
        // and nothing kept by a cache or told to another site. (No referrer at
        // all would make the browser send "Origin: null" with our own forms.)
        MHD_add_response_header(response, "Content-Security-Policy", "default-src 'self'");
        MHD_add_response_header(response, "X-Frame-Options", "DENY");
        MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
        MHD_add_response_header(response, "Referrer-Policy", "same-origin");
        MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
        for (const auto &[name, value] : answer.headers)
            MHD_add_response_header(response, name.constData(), value.constData());
        const MHD_Result queued =
            MHD_queue_response(connection, static_cast<unsigned int>(answer.status), response);
        MHD_destroy_response(response);
        ++server->m_served;
        return queued;
    }

    static void onCompleted(void *self, MHD_Connection *connection, void **requestContext,
                            MHD_RequestTerminationCode)
    {
        delete static_cast<Pending *>(*requestContext);
        *requestContext = nullptr;
        auto *server = static_cast<WebServer *>(self);
        if (const MHD_ConnectionInfo *info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT)) {
            if (auto *watched = static_cast<WebServer::Connection *>(info->socket_context)) {
                // A kept-alive connection starts a new header: the deadline again.
                const std::lock_guard lock(server->m_watchMutex);
                watched->inRequest = false;
                watched->phaseStartMs = steadyMs();
            }
        }
    }

    static void onConnection(void *self, MHD_Connection *connection, void **socketContext,
                             MHD_ConnectionNotificationCode change)
    {
        auto *server = static_cast<WebServer *>(self);
        const std::lock_guard lock(server->m_watchMutex);
        if (change == MHD_CONNECTION_NOTIFY_STARTED) {
            auto watched = std::make_unique<WebServer::Connection>();
            if (const MHD_ConnectionInfo *info =
                    MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD))
                watched->fd = info->connect_fd;
            watched->phaseStartMs = steadyMs();
            *socketContext = watched.get();
            server->m_connections.emplace(watched.get(), std::move(watched));
        } else if (*socketContext) {
            // Called before libmicrohttpd closes the socket, so the watcher,
            // which shuts sockets down under this lock, never meets a reused one.
            server->m_connections.erase(static_cast<WebServer::Connection *>(*socketContext));
            *socketContext = nullptr;
        }
    }
};

WebServer::WebServer(WebCameraBoard *board, WebSessions *sessions, QString passwordHash)
    : m_board(board)
    , m_sessions(sessions)
    , m_passwordHash(std::move(passwordHash))
    , m_monotonicMs(steadyMs)
    , m_wallSecs([] { return QDateTime::currentSecsSinceEpoch(); })
{
}

WebServer::~WebServer()
{
    stop();
}

void WebServer::setClocks(Clock monotonicMs, Clock wallSecs)
{
    m_monotonicMs = monotonicMs ? std::move(monotonicMs) : Clock(steadyMs);
    m_wallSecs =
        wallSecs ? std::move(wallSecs) : Clock([] { return QDateTime::currentSecsSinceEpoch(); });
}

void WebServer::setPictureIndex(PictureIndex *index)
{
    const std::unique_lock lock(m_indexMutex);
    m_index = index;
}

QByteArray WebServer::savedKey(qint64 timeMs, const QString &file)
{
    return QByteArray::number(timeMs) + '-' + QByteArray::number(fileTag(file));
}

QString WebServer::noPasswordText()
{
    return QStringLiteral("The web view has no password yet, so it does not start. Set one "
                          "with: tessaly --web-password");
}

Result<bool> WebServer::start(const QString &address, quint16 port,
                              const WebCertificate &certificate)
{
    stop();
    if (m_passwordHash.isEmpty())
        return Failure::of(Failure::Kind::Refused, noPasswordText());
    QHostAddress host;
    if (!host.setAddress(address))
        return Failure::of(Failure::Kind::BadAddress,
                           QStringLiteral("\"%1\" is not an IP address.").arg(address));
    sockaddr_storage storage{};
    unsigned int flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_TLS;
    if (host.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *v6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = host.toIPv6Address();
        std::memcpy(&v6->sin6_addr, bytes.c, sizeof bytes.c);
        flags |= MHD_USE_IPv6;
    } else {
        auto *v4 = reinterpret_cast<sockaddr_in *>(&storage);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        v4->sin_addr.s_addr = htonl(host.toIPv4Address());
    }
    // libmicrohttpd keeps pointers to these for as long as it runs.
    m_certificatePem = certificate.certificatePem;
    m_keyPem = certificate.keyPem;
    m_stopping = false;
    m_daemon = MHD_start_daemon(
        flags, port, nullptr, nullptr,
        reinterpret_cast<MHD_AccessHandlerCallback>(&WebServerGlue::onRequest), this,
        MHD_OPTION_SOCK_ADDR, reinterpret_cast<sockaddr *>(&storage), MHD_OPTION_HTTPS_MEM_CERT,
        m_certificatePem.constData(), MHD_OPTION_HTTPS_MEM_KEY, m_keyPem.constData(),
        MHD_OPTION_HTTPS_PRIORITIES, "NORMAL:-VERS-TLS1.0:-VERS-TLS1.1:-VERS-DTLS-ALL",
        MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned int>(m_limits.connections),
        MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        static_cast<unsigned int>(m_limits.connectionsPerAddress), MHD_OPTION_CONNECTION_TIMEOUT,
        static_cast<unsigned int>(m_limits.idleSeconds),
        // The request header lives in this pool: a little over MaxHeaderBytes
        // lets our own check answer 431; far over, libmicrohttpd answers it.
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, size_t(MaxHeaderBytes + 8 * 1024),
        MHD_OPTION_THREAD_POOL_SIZE, static_cast<unsigned int>(m_limits.threads),
        MHD_OPTION_NOTIFY_COMPLETED,
        reinterpret_cast<MHD_RequestCompletedCallback>(&WebServerGlue::onCompleted), this,
        MHD_OPTION_NOTIFY_CONNECTION,
        reinterpret_cast<MHD_NotifyConnectionCallback>(&WebServerGlue::onConnection), this,
        MHD_OPTION_UNESCAPE_CALLBACK, &keepEscapes, nullptr, MHD_OPTION_EXTERNAL_LOGGER,
        &swallowLog, nullptr, MHD_OPTION_END);
    if (!m_daemon)
        return Failure::of(Failure::Kind::Network,
                           QStringLiteral("The web view cannot listen on %1:%2 (taken, or an "
                                          "address this machine does not have).")
                               .arg(address)
                               .arg(port));
    const MHD_DaemonInfo *info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    m_port = info ? info->port : port;
    m_watcher = std::thread([this] { watchDeadlines(); });
    return true;
}

void WebServer::stop()
{
    if (!m_daemon)
        return;
    {
        const std::lock_guard lock(m_watchMutex);
        m_stopping = true;
    }
    m_watchWake.notify_all();
    if (m_watcher.joinable())
        m_watcher.join();
    MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
    m_connections.clear();
}

void WebServer::watchDeadlines()
{
    std::unique_lock lock(m_watchMutex);
    while (!m_stopping) {
        m_watchWake.wait_for(lock, std::chrono::milliseconds(250));
        const qint64 now = steadyMs();
        for (auto &[key, connection] : m_connections) {
            if (connection->inRequest || connection->cutOff ||
                now - connection->phaseStartMs < m_limits.requestDeadlineMs)
                continue;
            // Too slow with its handshake or header (or idle between requests):
            // libmicrohttpd sees the end of the stream and closes it.
            connection->cutOff = true;
            ::shutdown(connection->fd, SHUT_RDWR);
            ++m_cutOff;
        }
    }
}

bool WebServer::hasSession(const WebRequest &request)
{
    return !request.sessionCookie.isEmpty() &&
           m_sessions->touch(request.sessionCookie, m_wallSecs());
}

WebReply WebServer::respond(const WebRequest &request)
{
    if (request.headerBytes > MaxHeaderBytes)
        return plain(431, "Request header fields too large");
    const QByteArray &path = request.path;
    const bool get = request.method == "GET" || request.method == "HEAD";
    const bool post = request.method == "POST";
    if (!get && !post) {
        WebReply r = plain(405, "Method not allowed");
        r.headers.emplace_back("Allow", "GET, HEAD, POST");
        return r;
    }
    if (path == "/login")
        return post ? login(request) : reply(200, kHtml, WebPages::login(QString()));
    if (path == "/style.css" && get)
        return reply(200, "text/css; charset=utf-8", WebPages::styleSheet());

    QByteArray rest;
    const int id = cameraId(path, &rest);
    QByteArray apiRest;
    const int apiId = path.startsWith("/api/") ? cameraId(path.mid(4), &apiRest) : -1;
    const bool isPage = get && (path == "/" || (id >= 0 && rest.isEmpty()));
    const bool isPicture = get && id >= 0 && (rest == "/latest.jpg" || rest == "/grid.jpg");
    const bool isSaved = get && id >= 0 && savedAddress(rest).has_value();
    const bool isSavedList = get && apiId >= 0 && apiRest == "/pictures";
    const bool isOther =
        (get && (path == "/api/cameras" || path == "/app.js")) || (post && path == "/logout");
    if (!isPage && !isPicture && !isSaved && !isSavedList && !isOther)
        return plain(404, "Not found");
    if (!hasSession(request))
        return isPage ? redirect("/login") : plain(401, "Log in first");

    if (post) {
        // SameSite=Strict keeps other sites' forms out already; an Origin that
        // is not ours is refused as well.
        if (!request.origin.isEmpty() && request.origin != "https://" + request.host)
            return plain(403, "Forbidden");
        return logout(request);
    }
    if (isPage)
        return page(request, path == "/" ? -1 : id);
    if (isPicture)
        return picture(id, rest == "/grid.jpg");
    if (isSaved)
        return savedPicture(id, rest);
    if (isSavedList)
        return savedPictures(apiId, request.around);
    if (path == "/app.js")
        return reply(200, "text/javascript; charset=utf-8", WebPages::script());
    return cameras();
}

WebReply WebServer::page(const WebRequest &request, int cameraId)
{
    WebReply r = reply(200, kHtml, cameraId < 0 ? WebPages::grid() : WebPages::camera());
    if (cameraId >= 0 && !m_board->camera(cameraId))
        r = reply(404, kHtml, WebPages::camera());
    // A page view keeps the browser's cookie as long-lived as the session.
    r.headers.emplace_back("Set-Cookie", sessionCookie(request.sessionCookie, SessionCookieMaxAge));
    return r;
}

WebReply WebServer::login(const WebRequest &request)
{
    const qint64 now = m_monotonicMs();
    if (const int wait = m_throttle.retryAfterSeconds(request.clientAddress, now); wait > 0) {
        WebReply r = reply(429, kHtml,
                           WebPages::login(QStringLiteral("Too many wrong passwords. Try again "
                                                          "in %1 seconds.")
                                               .arg(wait)));
        r.headers.emplace_back("Retry-After", QByteArray::number(wait));
        return r;
    }
    QByteArray password;
    // A urlencoded form; the last "password" field counts.
    const QUrlQuery form(QString::fromUtf8(QByteArray(request.body).replace('+', ' ')));
    password = form.queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded).toUtf8();
    const bool good = WebPassword::verify(m_passwordHash, password);
    WebPassword::wipe(password);
    if (!good) {
        m_throttle.failed(request.clientAddress, now);
        return reply(401, kHtml, WebPages::login(QStringLiteral("Wrong password.")));
    }
    m_throttle.succeeded(request.clientAddress);
    const QByteArray token = m_sessions->create(m_wallSecs());
    WebReply r = redirect("/");
    r.headers.emplace_back("Set-Cookie", sessionCookie(token, SessionCookieMaxAge));
    return r;
}

WebReply WebServer::logout(const WebRequest &request)
{
    m_sessions->end(request.sessionCookie);
    WebReply r = redirect("/login");
    r.headers.emplace_back("Set-Cookie", sessionCookie("", 0));
    return r;
}

WebReply WebServer::cameras()
{
    QJsonArray list;
    for (const WebCameraBoard::Camera &camera : m_board->cameras()) {
        const QString base = QStringLiteral("/camera/%1").arg(camera.id);
        const QString version = QStringLiteral("?v=%1").arg(camera.sequence);
        const bool hasPicture = !camera.jpeg.isEmpty();
        QJsonObject entry{
            {QStringLiteral("id"), camera.id},
            {QStringLiteral("name"), camera.name},
            {QStringLiteral("state"),
             camera.state == WebCameraBoard::State::NoPicture ? QStringLiteral("none")
             : camera.state == WebCameraBoard::State::Stale   ? QStringLiteral("stale")
                                                              : QStringLiteral("ok")},
            {QStringLiteral("time"),
             hasPicture ? QJsonValue(camera.time.toUTC().toString(Qt::ISODateWithMs))
                        : QJsonValue()},
            {QStringLiteral("picture"),
             hasPicture ? QJsonValue(base + QStringLiteral("/latest.jpg") + version)
                        : QJsonValue()},
            {QStringLiteral("grid"),
             hasPicture ? QJsonValue(base + QStringLiteral("/grid.jpg") + version) : QJsonValue()},
            {QStringLiteral("refresh"), camera.refresh},
            {QStringLiteral("health"), camera.health},
            {QStringLiteral("changed"),
             camera.changed ? QJsonValue(*camera.changed) : QJsonValue()},
        };
        list.append(entry);
    }
    return reply(200, "application/json", QJsonDocument(list).toJson(QJsonDocument::Compact));
}

WebReply WebServer::picture(int id, bool grid)
{
    if (grid) {
        const std::shared_ptr<const QByteArray> small = m_board->gridPicture(id, GridPicture::make);
        if (!small)
            return plain(404, "No picture");
        return reply(200, "image/jpeg", *small);
    }
    const std::optional<WebCameraBoard::Camera> camera = m_board->camera(id);
    if (!camera || camera->jpeg.isEmpty())
        return plain(404, "No picture");
    return reply(200, "image/jpeg", camera->jpeg);
}

WebReply WebServer::savedPictures(int id, const QByteArray &around)
{
    const std::optional<WebCameraBoard::Camera> camera = m_board->camera(id);
    if (!camera)
        return plain(404, "No such camera");
    std::optional<qint64> aroundMs;
    if (!around.isEmpty()) {
        aroundMs = strictNumber(around, 15);
        if (!aroundMs)
            return plain(400, "around is milliseconds since 1970");
    }
    // The index names a camera by the part of its file names the name makes.
    const QString part = SnapshotNameReader::cameraPart(camera->name);
    QList<IndexedPicture> found;
    {
        const std::shared_lock lock(m_indexMutex);
        if (m_index && aroundMs) {
            const QDateTime moment = QDateTime::fromMSecsSinceEpoch(*aroundMs);
            found = m_index->lastBefore(part, moment, MaxSavedListed / 2) +
                    m_index->firstFrom(part, moment, MaxSavedListed / 2);
        } else if (m_index) {
            const QDate today = QDateTime::fromSecsSinceEpoch(m_wallSecs()).date();
            found = m_index->lastBefore(part, today.addDays(1).startOfDay(), MaxSavedListed);
            const qint64 start = today.startOfDay().toMSecsSinceEpoch();
            found.removeIf([start](const IndexedPicture &p) { return p.timeMs < start; });
        }
    }
    QJsonArray list;
    const QString base = QStringLiteral("/camera/%1/saved/").arg(id);
    for (auto it = found.crbegin(); it != found.crend(); ++it) {
        if (it->camera != part)
            continue;
        const QString key = QString::fromLatin1(savedKey(it->timeMs, it->file));
        list.append(QJsonObject{
            {QStringLiteral("time"), it->time().toUTC().toString(Qt::ISODateWithMs)},
            {QStringLiteral("picture"), base + key + QStringLiteral(".jpg")},
            {QStringLiteral("small"), base + key + QStringLiteral(".small.jpg")},
        });
    }
    return reply(200, "application/json", QJsonDocument(list).toJson(QJsonDocument::Compact));
}

WebReply WebServer::savedPicture(int id, const QByteArray &rest)
{
    const std::optional<SavedAddress> address = savedAddress(rest);
    const std::optional<WebCameraBoard::Camera> camera = m_board->camera(id);
    if (!address || !camera)
        return plain(404, "No picture");
    const QString part = SnapshotNameReader::cameraPart(camera->name);
    QString path;
    {
        const std::shared_lock lock(m_indexMutex);
        if (!m_index)
            return plain(404, "No picture");
        // The pictures of that one millisecond (of one second, in practice: a
        // few copies at most), the camera's own only; the key picks one.
        const QList<IndexedPicture> rows =
            m_index->between(part, QDateTime::fromMSecsSinceEpoch(address->timeMs),
                             QDateTime::fromMSecsSinceEpoch(address->timeMs + 1));
        for (const IndexedPicture &row : rows) {
            // A row names a file in cam/ only; anything else is not ours to open.
            if (row.camera != part || fileTag(row.file) != address->tag ||
                row.file.contains(QLatin1Char('/')) || row.file.startsWith(QLatin1Char('.')))
                continue;
            path = m_index->pathOf(row);
            break;
        }
    }
    if (path.isEmpty())
        return plain(404, "No picture");
    const std::optional<QByteArray> bytes = readRegularFile(path, MaxSavedBytes);
    if (!bytes || bytes->isEmpty())
        return plain(404, "No picture");
    if (!address->small)
        return reply(200, pictureType(*bytes), *bytes);
    const QByteArray small = GridPicture::make(*bytes);
    if (small.isEmpty())
        return plain(404, "No picture");
    return reply(200, "image/jpeg", small);
}
