#include "HttpExchange.h"

#include <algorithm>
#include <mutex>

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <QSocketNotifier>

#include "DisplayText.h"
#include "MultipartReader.h"
#include "SnapshotResponse.h"

namespace {

// The most a body buffer is reserved for up front from a declared length, so a
// lying Content-Length costs little before its bytes really come.
constexpr qint64 ReserveLimit = 8 * 1024 * 1024;
constexpr qint64 FirstGrowth = 64 * 1024;
// Header lines of all answers of one fetch (redirects, challenges) together.
constexpr qsizetype HeaderLimit = 64 * 1024;
constexpr long ReadBufferBytes = 256 * 1024;

void initialiseCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

struct HttpExchange::Transfer
{
    HttpExchange *owner = nullptr;
    FetchId id = 0;
    CURL *easy = nullptr;
    curl_slist *headers = nullptr;
    FetchRequest request;
    char errorText[CURL_ERROR_SIZE] = {};

    QByteArray header; // the latest answer's header lines
    int status = 0;
    QByteArray reason;
    int answers = 0;
    bool bodyStarted = false;
    QByteArray body;
    std::unique_ptr<MultipartReader> stream;
    bool streamDone = false;
    bool tooLarge = false;
    qint64 declared = -1;
    qint64 reported = 0;      // body bytes the last progress signal told of
    bool headerEnded = false; // in this read, not yet told

    QByteArray certificateSha256;
    QString certificateSubject;
    QString certificateProblem; // why the certificate was not taken
    bool pinMismatch = false;

    ~Transfer()
    {
        if (easy)
            curl_easy_cleanup(easy);
        curl_slist_free_all(headers);
    }
};

namespace {

// Every certificate chain the peer shows passes through here instead of
// OpenSSL's own check, so the leaf's fingerprint is known whatever the outcome,
// and a pinned certificate is taken on its fingerprint alone.
int verifyChain(X509_STORE_CTX *store, void *arg)
{
    auto *t = static_cast<HttpExchange::Transfer *>(arg);
    X509 *leaf = X509_STORE_CTX_get0_cert(store);
    if (!leaf) {
        t->certificateProblem = QStringLiteral("no certificate");
        return 0;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(leaf, EVP_sha256(), digest, &length) == 1)
        t->certificateSha256 = QByteArray(reinterpret_cast<const char *>(digest), int(length));
    char subject[512] = {};
    X509_NAME_oneline(X509_get_subject_name(leaf), subject, sizeof subject);
    t->certificateSubject = DisplayText::fromCamera(QByteArrayView(subject));

    if (t->request.probeCertificate)
        return 1;
    if (!t->request.pinnedSha256.isEmpty()) {
        if (t->certificateSha256 == t->request.pinnedSha256) {
            X509_STORE_CTX_set_error(store, X509_V_OK);
            return 1;
        }
        t->pinMismatch = true;
        t->certificateProblem = QStringLiteral("it is not the certificate trusted for this camera");
        X509_STORE_CTX_set_error(store, X509_V_ERR_CERT_REJECTED);
        return 0;
    }
    if (X509_verify_cert(store) == 1)
        return 1;
    t->certificateProblem =
        QString::fromLatin1(X509_verify_cert_error_string(X509_STORE_CTX_get_error(store)));
    return 0;
}

CURLcode onSslContext(CURL *, void *context, void *arg)
{
    auto *ctx = static_cast<SSL_CTX *>(context);
    SSL_CTX_set_cert_verify_callback(ctx, verifyChain, arg);
    // A refused chain ends the handshake, before any request (or password)
    // goes out.
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    return CURLE_OK;
}

} // namespace

// ---- callbacks from curl ------------------------------------------------------

namespace {

size_t onHeaderLine(char *data, size_t size, size_t count, void *arg)
{
    auto *t = static_cast<HttpExchange::Transfer *>(arg);
    const size_t bytes = size * count;
    const QByteArrayView line(data, qsizetype(bytes));
    if (line.startsWith("HTTP/")) {
        // A new answer: a redirect or a challenge came before it.
        t->header.clear();
        ++t->answers;
        QByteArrayView rest = line.trimmed();
        const qsizetype blank = rest.indexOf(' ');
        t->status = 0;
        t->reason.clear();
        if (blank > 0) {
            rest = rest.sliced(blank + 1);
            const qsizetype next = rest.indexOf(' ');
            t->status = (next < 0 ? rest : rest.first(next)).toInt();
            if (next >= 0)
                t->reason = rest.sliced(next + 1).toByteArray();
        }
    }
    if (line == "\r\n" || line == "\n") {
        // A redirect or a challenge is followed by another answer; only a final
        // one is worth telling about.
        long code = 0;
        curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &code);
        const bool more =
            (code / 100 == 3 && !SnapshotResponse::headerValue(t->header, "Location").isEmpty()) ||
            (code == 401 && t->request.address.hasUserInfo &&
             !SnapshotResponse::headerValue(t->header, "WWW-Authenticate").isEmpty());
        if (!more && code / 100 != 1) {
            t->headerEnded = true;
            curl_off_t declared = -1;
            curl_easy_getinfo(t->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared);
            t->declared = declared;
        }
        return bytes;
    }
    if (t->header.size() + line.size() > HeaderLimit)
        return 0;
    t->header.append(line);
    return bytes;
}

size_t onBody(char *data, size_t size, size_t count, void *arg)
{
    auto *t = static_cast<HttpExchange::Transfer *>(arg);
    const size_t bytes = size * count;
    const qint64 cap = t->request.maxBytes;
    if (!t->bodyStarted) {
        t->bodyStarted = true;
        curl_off_t declared = -1;
        curl_easy_getinfo(t->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared);
        t->declared = declared;
        if (const auto boundary = MultipartReader::boundaryOf(
                SnapshotResponse::headerValue(t->header, "Content-Type")))
            t->stream = std::make_unique<MultipartReader>(*boundary, cap);
        else if (declared > 0 && declared <= cap)
            t->body.reserve(qsizetype(std::min<qint64>(declared, ReserveLimit)));
    }
    if (t->stream) {
        // One picture is all a snapshot needs: the connection ends here.
        if (t->stream->feed(QByteArrayView(data, qsizetype(bytes))) !=
            MultipartReader::State::NeedMore) {
            t->streamDone = true;
            return 0;
        }
        return bytes;
    }
    const qint64 needed = qint64(t->body.size()) + qint64(bytes);
    if (needed > cap) {
        t->tooLarge = true;
        return 0;
    }
    if (needed > t->body.capacity()) {
        // Grow by doubling, but never beyond the cap: a body just under it must
        // not cost twice the cap in memory.
        const qint64 doubled = std::max<qint64>(FirstGrowth, qint64(t->body.capacity()) * 2);
        t->body.reserve(qsizetype(std::min(cap, std::max(needed, doubled))));
    }
    t->body.append(data, qsizetype(bytes));
    return bytes;
}

} // namespace

int HttpExchange::onSocket(void *, int fd, int what, void *self, void *)
{
    static_cast<HttpExchange *>(self)->watch(fd, what);
    return 0;
}

int HttpExchange::onTimer(void *, long timeoutMs, void *self)
{
    auto *exchange = static_cast<HttpExchange *>(self);
    if (timeoutMs < 0)
        exchange->m_timer.stop();
    else
        exchange->m_timer.start(int(std::min<long>(timeoutMs, 24L * 3600 * 1000)));
    return 0;
}

// ---- the exchange -------------------------------------------------------------

HttpExchange::HttpExchange(QObject *parent)
    : QObject(parent)
{
    initialiseCurl();
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &HttpExchange::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &HttpExchange::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    // A recorder serves all its cameras from one address: no limit per host.
    curl_multi_setopt(m_multi, CURLMOPT_MAX_HOST_CONNECTIONS, 0L);
    curl_multi_setopt(m_multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, 0L);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
}

HttpExchange::~HttpExchange()
{
    for (auto &[id, transfer] : m_transfers)
        curl_multi_remove_handle(m_multi, transfer->easy);
    m_transfers.clear();
    for (auto &[fd, w] : m_watches) {
        delete w.read;
        delete w.write;
    }
    curl_multi_cleanup(m_multi);
}

HttpExchange::FetchId HttpExchange::start(const FetchRequest &request)
{
    auto transfer = std::make_unique<Transfer>();
    Transfer &t = *transfer;
    t.owner = this;
    t.id = m_nextId++;
    t.request = request;
    t.easy = curl_easy_init();
    CURL *e = t.easy;
    const CameraAddress &a = request.address;

    curl_easy_setopt(e, CURLOPT_PRIVATE, &t);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.errorText);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_URL, a.fetchUrl().constData());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    // The path goes out as written ("/a/../b" included), blanks already %20.
    curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    // Cameras are reached directly, whatever proxy the environment names.
    curl_easy_setopt(e, CURLOPT_PROXY, "");
    // One connection per fetch, closed after it.
    curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    // Curl reads once per wake-up of the event loop; with its 16 KB default a
    // 1080p picture takes twenty wake-ups, each a poll over every socket.
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, ReadBufferBytes);

    // The request a plain camera has always had: Host, Connection: close,
    // Accept: */*, in that order. Curl writes its own Host line first; a
    // custom Accept takes the place of curl's after the custom Connection.
    const QString natural =
        (a.connectHost.contains(QLatin1Char(':'))
             ? QLatin1Char('[') + a.connectHost + QLatin1Char(']')
             : a.connectHost) +
        (a.port == (a.https ? CameraAddress::HttpsPort : CameraAddress::HttpPort)
             ? QString()
             : QLatin1Char(':') + QString::number(a.port));
    if (a.hostText != natural)
        t.headers = curl_slist_append(t.headers, ("Host: " + a.hostText.toUtf8()).constData());
    t.headers = curl_slist_append(t.headers, "Connection: close");
    t.headers = curl_slist_append(t.headers, "Accept: */*");
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, t.headers);

    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, a.https ? "https" : "http,https");
    // Credentials follow a redirect only to the same host (curl's default).
    curl_easy_setopt(e, CURLOPT_UNRESTRICTED_AUTH, 0L);
    if (a.hasUserInfo) {
        curl_easy_setopt(e, CURLOPT_USERNAME, a.user.toUtf8().constData());
        curl_easy_setopt(e, CURLOPT_PASSWORD, a.password.toUtf8().constData());
        // More than one method: nothing is sent until the camera's 401 names one.
        curl_easy_setopt(e, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC | CURLAUTH_DIGEST));
    }

    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(request.maxBytes));
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, onHeaderLine);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
    if (request.timeoutMs > 0)
        curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, long(request.timeoutMs));

    curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, onSslContext);
    curl_easy_setopt(e, CURLOPT_SSL_CTX_DATA, &t);
    if (!request.caFile.isEmpty())
        curl_easy_setopt(e, CURLOPT_CAINFO, request.caFile.toUtf8().constData());
    if (request.probeCertificate || !request.pinnedSha256.isEmpty()) {
        // The fingerprint decides (see verifyChain); the name is part of what
        // the user looked at when trusting it.
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
    }
    if (request.probeCertificate)
        curl_easy_setopt(e, CURLOPT_CONNECT_ONLY, 1L);

    const FetchId id = t.id;
    m_transfers.emplace(id, std::move(transfer));
    curl_multi_add_handle(m_multi, e);
    return id;
}

void HttpExchange::cancel(FetchId id)
{
    const auto it = m_transfers.find(id);
    if (it != m_transfers.end()) {
        std::unique_ptr<Transfer> transfer = std::move(it->second);
        m_transfers.erase(it);
        drop(std::move(transfer));
    }
    for (Pending &p : m_pending) {
        if (p.id == id)
            p.id = 0;
    }
}

void HttpExchange::drop(std::unique_ptr<Transfer> transfer)
{
    // Signals are delivered outside curl's callbacks, so this is never called
    // from inside one.
    curl_multi_remove_handle(m_multi, transfer->easy);
}

void HttpExchange::watch(int fd, int what)
{
    if (what == CURL_POLL_REMOVE) {
        const auto it = m_watches.find(fd);
        if (it == m_watches.end())
            return;
        // The notifier may be the one whose signal is running right now.
        for (QSocketNotifier *n : {it->second.read, it->second.write}) {
            if (n) {
                n->setEnabled(false);
                n->deleteLater();
            }
        }
        m_watches.erase(it);
        return;
    }
    Watch &w = m_watches[fd];
    const bool wantRead = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
    const bool wantWrite = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;
    if (wantRead && !w.read) {
        w.read = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
        connect(w.read, &QSocketNotifier::activated, this,
                [this, fd] { act(fd, CURL_CSELECT_IN); });
    }
    if (wantWrite && !w.write) {
        w.write = new QSocketNotifier(qintptr(fd), QSocketNotifier::Write, this);
        connect(w.write, &QSocketNotifier::activated, this,
                [this, fd] { act(fd, CURL_CSELECT_OUT); });
    }
    if (w.read)
        w.read->setEnabled(wantRead);
    if (w.write)
        w.write->setEnabled(wantWrite);
}

void HttpExchange::act(int fd, int events)
{
    int running = 0;
    curl_multi_socket_action(m_multi, curl_socket_t(fd), events, &running);
    // Progress of every transfer that took body bytes in this step.
    for (auto &[id, t] : m_transfers) {
        const bool grew = t->bodyStarted && !t->stream && t->body.size() != t->reported;
        if (!grew && !t->headerEnded)
            continue;
        t->reported = t->body.size();
        m_pending.push_back(Pending{id, false, t->reported, t->declared, t->headerEnded, {}});
        t->headerEnded = false;
    }
    collectDone();
    deliver();
}

void HttpExchange::collectDone()
{
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        Transfer *raw = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &raw);
        if (!raw)
            continue;
        const int code = int(message->data.result);
        const auto it = m_transfers.find(raw->id);
        if (it == m_transfers.end())
            continue;
        std::unique_ptr<Transfer> transfer = std::move(it->second);
        m_transfers.erase(it);
        finish(*transfer, code);
        drop(std::move(transfer));
    }
}

void HttpExchange::finish(Transfer &t, int curlCode)
{
    const auto code = CURLcode(curlCode);
    FetchResult r;
    r.status = t.status;
    r.reasonPhrase = t.reason;
    r.certificateSha256 = t.certificateSha256;
    r.certificateSubject = t.certificateSubject;
    long redirects = 0;
    curl_easy_getinfo(t.easy, CURLINFO_REDIRECT_COUNT, &redirects);
    r.redirects = int(redirects);
    const QString where = t.request.address.hostPort();
    const QString reason =
        QString::number(t.status) +
        (t.reason.isEmpty() ? QString() : QLatin1Char(' ') + DisplayText::fromCamera(t.reason));

    if (!t.certificateProblem.isEmpty() ||
        (!t.certificateSha256.isEmpty() &&
         (code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CONNECT_ERROR) &&
         !t.request.probeCertificate)) {
        r.kind = FetchResult::Kind::Certificate;
        const QString problem = !t.certificateProblem.isEmpty()
                                    ? t.certificateProblem
                                    : DisplayText::fromCamera(QByteArrayView(t.errorText));
        r.text = (t.pinMismatch ? QStringLiteral("The certificate of %1 has CHANGED: %2. "
                                                 "Trusted was SHA-256 %3; now shown is SHA-256 %4")
                                      .arg(where, problem, fingerprintText(t.request.pinnedSha256),
                                           fingerprintText(t.certificateSha256))
                                : QStringLiteral("The certificate of %1 is not trusted: %2. "
                                                 "SHA-256 %3")
                                      .arg(where, problem, fingerprintText(t.certificateSha256)));
    } else if (t.request.probeCertificate && code == CURLE_OK) {
        r.kind = t.certificateSha256.isEmpty() ? FetchResult::Kind::Network : FetchResult::Kind::Ok;
        if (!r.ok())
            r.text = QStringLiteral("%1 showed no certificate").arg(where);
    } else if (t.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        r.kind = FetchResult::Kind::TooLarge;
        r.text = QStringLiteral("Response from %1 is larger than %2 bytes; dropped")
                     .arg(where)
                     .arg(t.request.maxBytes);
    } else if (t.stream && (t.streamDone || code == CURLE_OK)) {
        if (t.stream->state() == MultipartReader::State::Complete && t.status / 100 == 2) {
            r.kind = FetchResult::Kind::Ok;
            r.fromStream = true;
            r.header = t.header + t.stream->partHeader();
            r.body = t.stream->partBody();
        } else if (t.status / 100 != 2) {
            r.kind = FetchResult::Kind::HttpStatus;
            r.text = reason;
        } else {
            r.kind = FetchResult::Kind::Stream;
            r.text = QStringLiteral("The stream from %1 ended before its first picture: %2")
                         .arg(where, t.stream->state() == MultipartReader::State::Failed
                                         ? QString::fromLatin1(t.stream->failure())
                                         : QStringLiteral("the connection closed"));
        }
    } else if (code == CURLE_OK || (code == CURLE_PARTIAL_FILE && t.status / 100 == 2)) {
        // A body shorter than its Content-Length is handed on as it came: the
        // picture check tells whether what arrived is a whole picture.
        r.header = t.header;
        r.body = std::move(t.body);
        if (t.status / 100 == 2) {
            r.kind = FetchResult::Kind::Ok;
        } else {
            r.kind = FetchResult::Kind::HttpStatus;
            r.text = reason;
        }
    } else {
        r.kind = FetchResult::Kind::Network;
        QString detail = DisplayText::fromCamera(QByteArrayView(t.errorText));
        if (detail.isEmpty())
            detail = QString::fromLatin1(curl_easy_strerror(code));
        r.text = detail;
    }
    if (!r.text.isEmpty())
        r.text = DisplayText::maskAddress(r.text);
    m_pending.push_back(Pending{t.id, true, 0, -1, false, std::move(r)});
}

void HttpExchange::deliver()
{
    if (m_delivering)
        return;
    m_delivering = true;
    // A slot may start, cancel (which blanks an entry's id) or add entries.
    for (size_t i = 0; i < m_pending.size(); ++i) {
        Pending p = std::move(m_pending[i]);
        if (p.id == 0)
            continue;
        if (p.done)
            emit finished(p.id, p.result);
        else
            emit progress(p.id, p.bodyBytes, p.declared, p.headerEnded);
    }
    m_pending.clear();
    m_delivering = false;
}

QString FetchResult::fingerprintText() const
{
    return HttpExchange::fingerprintText(certificateSha256);
}

QString HttpExchange::fingerprintText(const QByteArray &sha256)
{
    return QString::fromLatin1(sha256.toHex(':').toUpper());
}

QByteArray HttpExchange::fingerprintFromText(const QString &text)
{
    QByteArray hex;
    for (const QChar c : text) {
        if (c.isLetterOrNumber())
            hex += char(c.toLatin1());
        else if (c != QLatin1Char(':') && c != QLatin1Char(' '))
            return {};
    }
    const QByteArray bytes = QByteArray::fromHex(hex);
    return bytes.size() == 32 && bytes.toHex() == hex.toLower() ? bytes : QByteArray();
}
