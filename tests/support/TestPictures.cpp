#include "TestPictures.h"

#include <chrono>
#include <thread>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

namespace TestPictures {

QImage quadrants(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    const int w = size.width() / 2;
    const int h = size.height() / 2;
    painter.fillRect(0, 0, w, h, Qt::red);
    painter.fillRect(w, 0, size.width() - w, h, Qt::green);
    painter.fillRect(0, h, w, size.height() - h, Qt::blue);
    painter.fillRect(w, h, size.width() - w, size.height() - h, Qt::white);
    return image;
}

QImage fromPixels(const QSize &size, const std::function<QRgb(int x, int y)> &pixel)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, pixel(x, y));
    return image;
}

QByteArray encode(const QImage &image, const char *format, bool progressive, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    writer.setQuality(quality);
    if (!writer.write(image))
        qFatal("cannot write %s: %s", format, qPrintable(writer.errorString()));
    return bytes;
}

QByteArray jpegOf(const QColor &color, const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return encode(image, "jpeg");
}

QByteArray pathView(const QSize &size, int personAt)
{
    const int top = size.height() / 4;
    const int bottom = size.height() * 11 / 12;
    const int width = size.width() / 6;
    return encode(fromPixels(size,
                             [=](int x, int y) {
                                 if (personAt >= 0 && x >= personAt && x < personAt + width &&
                                     y >= top && y < bottom)
                                     return qRgb(25, 20, 40);
                                 const int v = 70 + (x * 3 + y * 5) % 110;
                                 return qRgb(v, v + 10, v);
                             }),
                  "jpeg", false, 90);
}

namespace {

void put16(QByteArray &out, int value)
{
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

// LZW codes of three bits, least significant bit first. A clear code after
// every two pixels keeps the table from growing, so the width never changes.
QByteArray lzwPixels(const QList<int> &pixels)
{
    constexpr int Clear = 4;
    constexpr int End = 5;
    QByteArray out;
    quint32 bits = 0;
    int count = 0;
    auto put = [&](int code) {
        bits |= quint32(code) << count;
        count += 3;
        while (count >= 8) {
            out.append(char(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    };
    for (qsizetype i = 0; i < pixels.size(); ++i) {
        if (i % 2 == 0)
            put(Clear);
        put(pixels[i]);
    }
    put(End);
    if (count > 0)
        out.append(char(bits & 0xFF));
    return out;
}

} // namespace

QByteArray gif(const QSize &size)
{
    QByteArray out("GIF89a");
    put16(out, size.width());
    put16(out, size.height());
    out.append(char(0x81)); // a global table of four colours
    out.append('\0');
    out.append('\0');
    out.append(QByteArray("\xFF\x00\x00"
                          "\x00\xFF\x00"
                          "\x00\x00\xFF"
                          "\xFF\xFF\xFF",
                          12));
    out.append(QByteArray("\x2C\0\0\0\0", 5));
    put16(out, size.width());
    put16(out, size.height());
    out.append('\0');
    out.append('\x02'); // minimum code size
    QList<int> pixels;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            pixels.append((x >= size.width() / 2 ? 1 : 0) + (y >= size.height() / 2 ? 2 : 0));
    }
    const QByteArray data = lzwPixels(pixels);
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        out.append(char(block.size()));
        out.append(block);
    }
    out.append('\0');
    out.append(';');
    return out;
}

QByteArray manyScanJpeg(const QSize &size, int scans)
{
    QByteArray jpeg = encode(quadrants(size), "jpeg", true);
    // The last scan runs from its SOS marker to the end-of-image marker.
    const qsizetype lastScan = jpeg.lastIndexOf(QByteArrayView("\xFF\xDA", 2));
    const qsizetype end = jpeg.lastIndexOf(QByteArrayView("\xFF\xD9", 2));
    if (lastScan < 0 || end < lastScan)
        qFatal("no scans in a progressive JPEG");
    int have = int(jpeg.count(QByteArrayView("\xFF\xDA", 2)));
    const QByteArray scan = jpeg.mid(lastScan, end - lastScan);
    QByteArray extra;
    for (; have < scans; ++have)
        extra.append(scan);
    jpeg.insert(end, extra);
    return jpeg;
}

ChildUsage runInChild(const std::function<void()> &work, int seconds)
{
    ChildUsage usage;
    const pid_t child = fork();
    if (child < 0)
        return usage;
    if (child == 0) {
        work();
        _exit(0);
    }
    int status = 0;
    rusage used{};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    pid_t done = 0;
    while ((done = wait4(child, &status, WNOHANG, &used)) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            wait4(child, &status, 0, &used);
            return usage;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (done != child)
        return usage;
    usage.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    usage.peakRssKiB = used.ru_maxrss;
    usage.cpuSeconds = double(used.ru_utime.tv_sec + used.ru_stime.tv_sec) +
                       double(used.ru_utime.tv_usec + used.ru_stime.tv_usec) / 1e6;
    return usage;
}

} // namespace TestPictures
