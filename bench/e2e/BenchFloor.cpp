// The floor of the end-to-end benchmark, measured against the same demo
// camera in the same run: what one picture must cost at least (its bytes read
// from the socket, one panel-size scaled decode), and what a saved picture
// must cost at least (one full decode, one quality-90 encode).
//
//   tessaly-bench-floor --port P [--cameras N] [--rounds R] [--decode-size WxH]
//
// --decode-size: the size each picture is decoded at, the panel's by default
// (the wall's tiles are larger).
//   tessaly-bench-floor --set-autosave 0|1      (stores "autoSave" in $TESSALY_HOME)
//
// Prints human lines and, last, one line of key=value figures for scripts.

#include <cstdio>
#include <ctime>

#include <turbojpeg.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QHostAddress>
#include <QImage>
#include <QImageReader>
#include <QTcpSocket>

#include "AppInfo.h"
#include "Picture.h"
#include "Settings.h"

namespace {

double processCpuMs()
{
    timespec now = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// One snapshot the way a panel fetches it: connect, GET, read until the server
// closes. The whole response, or empty on any failure.
QByteArray fetch(quint16 port, int camera)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return {};
    const QByteArray request = "GET /cam" + QByteArray::number(camera) +
                               ".jpg HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                               "Accept: */*\r\n\r\n";
    if (socket.write(request) != request.size())
        return {};
    QByteArray response;
    while (socket.waitForReadyRead(5000))
        response += socket.readAll();
    response += socket.readAll();
    return response;
}

QByteArray bodyOf(const QByteArray &response)
{
    const qsizetype end = response.indexOf("\r\n\r\n");
    return end < 0 ? QByteArray() : response.mid(end + 4);
}

QImage decode(const QByteArray &body, const QSize &scaledSize)
{
    QByteArray copy = body;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    if (scaledSize.isValid())
        reader.setScaledSize(scaledSize);
    return reader.read();
}

// Quality 90, 4:2:0, as the JPEG writer saves.
bool encodeQ90(tjhandle handle, const QImage &image)
{
    const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
    unsigned char *jpeg = nullptr;
    unsigned long size = 0;
    const bool ok =
        tjCompress2(handle, pixels.constBits(), pixels.width(), int(pixels.bytesPerLine()),
                    pixels.height(), TJPF_BGRX, &jpeg, &size, TJSAMP_420, 90, 0) == 0;
    tjFree(jpeg);
    return ok && size > 0;
}

int usage(const char *text)
{
    std::fprintf(
        stderr,
        "tessaly-bench-floor: %s\n"
        "usage: tessaly-bench-floor --port P [--cameras N] [--rounds R] [--decode-size WxH]\n"
        "       tessaly-bench-floor --set-autosave 0|1\n",
        text);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    AppInfo::applyToApplication();
    const QStringList args = app.arguments().mid(1);

    quint16 port = 0;
    int cameras = 24;
    int rounds = 5;
    QSize decodeSize = Picture::panelSize();
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        const QString value = i + 1 < args.size() ? args.at(i + 1) : QString();
        bool ok = false;
        if (a == QLatin1String("--set-autosave") && (value == "0" || value == "1")) {
            if (!Settings::setAutoSave(value == QLatin1String("1"))) {
                std::fprintf(stderr, "tessaly-bench-floor: cannot store autoSave\n");
                return 1;
            }
            return 0;
        } else if (a == QLatin1String("--port")) {
            port = value.toUShort(&ok);
        } else if (a == QLatin1String("--cameras")) {
            cameras = value.toInt(&ok);
            ok = ok && cameras >= 1 && cameras <= 24;
        } else if (a == QLatin1String("--decode-size")) {
            const QStringList parts = value.split(QLatin1Char('x'));
            bool okHeight = false;
            decodeSize =
                parts.size() == 2 ? QSize(parts[0].toInt(&ok), parts[1].toInt(&okHeight)) : QSize();
            ok = ok && okHeight && !decodeSize.isEmpty();
        } else if (a == QLatin1String("--rounds")) {
            rounds = value.toInt(&ok);
            ok = ok && rounds >= 1 && rounds <= 1000;
        }
        if (!ok)
            return usage("bad or unknown option");
        ++i;
    }
    if (port == 0)
        return usage("--port is needed");

    tjhandle encoder = tjInitCompress();
    if (!encoder)
        return usage("no JPEG encoder");

    int pictures = 0;
    double readMs = 0;
    double panelMs = 0;
    double fullMs = 0;
    double encodeMs = 0;
    qint64 bytes = 0;
    for (int round = 0; round < rounds; ++round) {
        for (int camera = 1; camera <= cameras; ++camera) {
            const double t0 = processCpuMs();
            const QByteArray body = bodyOf(fetch(port, camera));
            const double t1 = processCpuMs();
            const QImage thumb = decode(body, decodeSize);
            const double t2 = processCpuMs();
            if (body.isEmpty() || thumb.isNull()) {
                std::fprintf(stderr, "tessaly-bench-floor: camera %d gave no picture\n", camera);
                tjDestroy(encoder);
                return 1;
            }
            const QImage full = decode(body, QSize());
            const double t3 = processCpuMs();
            const bool encoded = encodeQ90(encoder, full);
            const double t4 = processCpuMs();
            if (!encoded) {
                std::fprintf(stderr, "tessaly-bench-floor: cannot encode\n");
                tjDestroy(encoder);
                return 1;
            }
            ++pictures;
            bytes += body.size();
            readMs += t1 - t0;
            panelMs += t2 - t1;
            fullMs += t3 - t2;
            encodeMs += t4 - t3;
        }
    }
    tjDestroy(encoder);

    const double n = pictures;
    std::printf("floor: %d pictures of %.0f KB; socket read %.2f ms + %dx%d decode %.2f ms "
                "= %.2f ms CPU per picture\n",
                pictures, double(bytes) / n / 1024.0, readMs / n, decodeSize.width(),
                decodeSize.height(), panelMs / n, (readMs + panelMs) / n);
    std::printf("save floor: full decode %.2f ms + quality-90 encode %.2f ms = %.2f ms CPU per "
                "picture\n",
                fullMs / n, encodeMs / n, (fullMs + encodeMs) / n);
    std::printf("floor_ms=%.3f read_ms=%.3f panel_decode_ms=%.3f full_decode_ms=%.3f "
                "encode_ms=%.3f save_floor_ms=%.3f\n",
                (readMs + panelMs) / n, readMs / n, panelMs / n, fullMs / n, encodeMs / n,
                (fullMs + encodeMs) / n);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
