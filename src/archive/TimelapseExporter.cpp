#include "TimelapseExporter.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <vector>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <turbojpeg.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "TimelapsePlan.h"

namespace {

QString avText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

Failure encodeFailure(const QString &what, int code = 0)
{
    return Failure::of(Failure::Kind::Encode,
                       code ? what + QStringLiteral(": ") + avText(code) : what);
}

// One JPEG decoded to its own planes (Y, Cb, Cr at the file's subsampling),
// which is what the DCT gives: no colour conversion on the way.
class JpegPlanes
{
public:
    JpegPlanes() { m_handle = tjInitDecompress(); }
    ~JpegPlanes() { tjDestroy(m_handle); }
    JpegPlanes(const JpegPlanes &) = delete;
    JpegPlanes &operator=(const JpegPlanes &) = delete;

    bool decode(const QString &path)
    {
        QFile file(path);
        if (!m_handle || !file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = file.readAll();
        const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
        int colorspace = 0;
        if (tjDecompressHeader3(m_handle, data, (unsigned long)bytes.size(), &width, &height,
                                &subsampling, &colorspace) != 0)
            return false;
        if (subsampling < 0 || subsampling >= TJ_NUMSAMP || width <= 0 || height <= 0)
            return false;
        const int planeCount = subsampling == TJSAMP_GRAY ? 1 : 3;
        unsigned char *planes[3] = {};
        for (int p = 0; p < planeCount; ++p) {
            strides[p] = tjPlaneWidth(p, width, subsampling);
            const unsigned long size = tjPlaneSizeYUV(p, width, 0, height, subsampling);
            if (m_buffers[p].size() < size)
                m_buffers[p].resize(size);
            planes[p] = m_buffers[p].data();
        }
        // A picture cut short still gives the rows it has; take it.
        const int rc = tjDecompressToYUVPlanes(m_handle, data, (unsigned long)bytes.size(), planes,
                                               width, strides, height, TJFLAG_FASTDCT);
        if (rc != 0 && tjGetErrorCode(m_handle) != TJERR_WARNING)
            return false;
        for (int p = 0; p < 3; ++p)
            pointers[p] = p < planeCount ? m_buffers[p].data() : nullptr;
        return true;
    }

    AVPixelFormat format() const
    {
        switch (subsampling) {
        case TJSAMP_444:
            return AV_PIX_FMT_YUV444P;
        case TJSAMP_422:
            return AV_PIX_FMT_YUV422P;
        case TJSAMP_440:
            return AV_PIX_FMT_YUV440P;
        case TJSAMP_411:
            return AV_PIX_FMT_YUV411P;
        case TJSAMP_GRAY:
            return AV_PIX_FMT_GRAY8;
        default:
            return AV_PIX_FMT_YUV420P;
        }
    }

    int width = 0;
    int height = 0;
    int subsampling = -1;
    int strides[3] = {};
    const uint8_t *pointers[3] = {};

private:
    tjhandle m_handle = nullptr;
    std::vector<unsigned char> m_buffers[3];
};

// The encoder and the muxer of one export, and all they own.
class Encoder
{
public:
    ~Encoder()
    {
        sws_freeContext(m_sws);
        av_frame_free(&m_frame);
        av_packet_free(&m_packet);
        avcodec_free_context(&m_codec);
        if (m_format) {
            if (m_format->pb)
                avio_closep(&m_format->pb);
            avformat_free_context(m_format);
        }
    }

    std::optional<Failure> open(const QString &path, int width, int height,
                                const TimelapseOptions &options)
    {
        const QByteArray name = QFile::encodeName(path);
        int rc = avformat_alloc_output_context2(&m_format, nullptr, "mp4", name.constData());
        if (rc < 0 || !m_format)
            return encodeFailure(QStringLiteral("cannot make an MP4 file"), rc);
        const AVCodec *codec = avcodec_find_encoder_by_name("libx264");
        if (!codec)
            codec = avcodec_find_encoder(AV_CODEC_ID_H264);
        if (!codec)
            return encodeFailure(QStringLiteral("this libavcodec has no H.264 encoder"));
        m_stream = avformat_new_stream(m_format, nullptr);
        m_codec = avcodec_alloc_context3(codec);
        m_packet = av_packet_alloc();
        m_frame = av_frame_alloc();
        if (!m_stream || !m_codec || !m_packet || !m_frame)
            return encodeFailure(QStringLiteral("out of memory"));
        m_codec->width = width;
        m_codec->height = height;
        m_codec->pix_fmt = AV_PIX_FMT_YUV420P;
        m_codec->time_base = AVRational{1, options.fps};
        m_codec->framerate = AVRational{options.fps, 1};
        m_codec->gop_size = options.fps * 2;
        // Camera JPEGs are BT.601; the video says so, in the range players expect.
        m_codec->color_range = AVCOL_RANGE_MPEG;
        m_codec->colorspace = AVCOL_SPC_SMPTE170M;
        m_codec->color_primaries = AVCOL_PRI_SMPTE170M;
        m_codec->color_trc = AVCOL_TRC_SMPTE170M;
        m_codec->thread_count = 0;
        if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
            m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        AVDictionary *codecOptions = nullptr;
        av_dict_set(&codecOptions, "preset", options.preset.toUtf8().constData(), 0);
        av_dict_set(&codecOptions, "crf", "23", 0);
        rc = avcodec_open2(m_codec, codec, &codecOptions);
        av_dict_free(&codecOptions);
        if (rc < 0)
            return encodeFailure(QStringLiteral("cannot open the H.264 encoder"), rc);
        rc = avcodec_parameters_from_context(m_stream->codecpar, m_codec);
        if (rc < 0)
            return encodeFailure(QStringLiteral("cannot describe the video stream"), rc);
        m_stream->time_base = m_codec->time_base;
        m_stream->avg_frame_rate = m_codec->framerate;

        m_frame->format = AV_PIX_FMT_YUV420P;
        m_frame->width = width;
        m_frame->height = height;
        rc = av_frame_get_buffer(m_frame, 0);
        if (rc < 0)
            return encodeFailure(QStringLiteral("out of memory"), rc);

        rc = avio_open(&m_format->pb, name.constData(), AVIO_FLAG_WRITE);
        if (rc < 0)
            return Failure::of(Failure::Kind::File,
                               QStringLiteral("cannot write %1: %2").arg(path, avText(rc)),
                               AVUNERROR(rc));
        AVDictionary *muxOptions = nullptr;
        // The index at the front: a player or a browser starts at once.
        av_dict_set(&muxOptions, "movflags", "+faststart", 0);
        rc = avformat_write_header(m_format, &muxOptions);
        av_dict_free(&muxOptions);
        if (rc < 0)
            return encodeFailure(QStringLiteral("cannot start the MP4 file"), rc);
        return std::nullopt;
    }

    // Puts a decoded picture into the frame, scaled to the video's size.
    bool load(const JpegPlanes &picture)
    {
        const AVPixelFormat format = picture.format();
        SwsContext *next = sws_getCachedContext(m_sws, picture.width, picture.height, format,
                                                m_codec->width, m_codec->height, AV_PIX_FMT_YUV420P,
                                                SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!next)
            return false;
        if (next != m_sws || format != m_lastFormat) {
            m_sws = next;
            m_lastFormat = format;
            // JPEG's YCbCr uses the full 0..255 range; the video the usual 16..235.
            const int *matrix = sws_getCoefficients(SWS_CS_ITU601);
            sws_setColorspaceDetails(m_sws, matrix, 1, matrix, 0, 0, 1 << 16, 1 << 16);
        }
        if (av_frame_make_writable(m_frame) < 0)
            return false;
        sws_scale(m_sws, picture.pointers, picture.strides, 0, picture.height, m_frame->data,
                  m_frame->linesize);
        return true;
    }

    std::optional<Failure> send(qint64 pts)
    {
        m_frame->pts = pts;
        const int rc = avcodec_send_frame(m_codec, m_frame);
        if (rc < 0)
            return encodeFailure(QStringLiteral("the H.264 encoder refused a frame"), rc);
        return drain();
    }

    std::optional<Failure> finish()
    {
        int rc = avcodec_send_frame(m_codec, nullptr);
        if (rc < 0)
            return encodeFailure(QStringLiteral("the H.264 encoder did not finish"), rc);
        if (auto failure = drain())
            return failure;
        rc = av_write_trailer(m_format);
        if (rc < 0)
            return encodeFailure(QStringLiteral("cannot finish the MP4 file"), rc);
        rc = avio_closep(&m_format->pb);
        if (rc < 0)
            return Failure::of(Failure::Kind::File,
                               QStringLiteral("cannot close the video file: ") + avText(rc),
                               AVUNERROR(rc));
        return std::nullopt;
    }

private:
    std::optional<Failure> drain()
    {
        for (;;) {
            int rc = avcodec_receive_packet(m_codec, m_packet);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return std::nullopt;
            if (rc < 0)
                return encodeFailure(QStringLiteral("the H.264 encoder failed"), rc);
            av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
            m_packet->stream_index = m_stream->index;
            rc = av_interleaved_write_frame(m_format, m_packet);
            if (rc < 0)
                return Failure::of(Failure::Kind::File,
                                   QStringLiteral("cannot write the video: ") + avText(rc),
                                   AVUNERROR(rc));
        }
    }

    AVFormatContext *m_format = nullptr;
    AVStream *m_stream = nullptr;
    AVCodecContext *m_codec = nullptr;
    AVPacket *m_packet = nullptr;
    AVFrame *m_frame = nullptr;
    SwsContext *m_sws = nullptr;
    AVPixelFormat m_lastFormat = AV_PIX_FMT_NONE;
};

// The name the video grows under: beside the output, so the last step is a
// rename within one file system, and hidden, so nobody takes it for done.
QString temporaryNameFor(const QString &output)
{
    const QFileInfo info(output);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".") +
           QUuid::createUuid().toString(QUuid::Id128).left(8) + QStringLiteral(".part");
}

} // namespace

TimelapseExporter::TimelapseExporter(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<TimelapseSummary>();
}

TimelapseExporter::~TimelapseExporter()
{
    m_cancel = true;
    wait();
}

TimelapseSummary TimelapseExporter::exportNow(const QList<TimelapsePicture> &pictures,
                                              const TimelapseOptions &options,
                                              const Progress &progress,
                                              const std::atomic<bool> &cancel)
{
    TimelapseSummary summary;
    QElapsedTimer clock;
    clock.start();
    if (pictures.isEmpty()) {
        summary.failure =
            Failure::of(Failure::Kind::Refused, QStringLiteral("no pictures in that time"));
        return summary;
    }
    if (options.fps < 1 || options.fps > 240 || options.output.isEmpty()) {
        summary.failure =
            Failure::of(Failure::Kind::Refused, QStringLiteral("no output or a wrong frame rate"));
        return summary;
    }

    QList<qint64> times;
    times.reserve(pictures.size());
    for (const TimelapsePicture &picture : pictures)
        times.append(picture.timeMs);
    const TimelapsePlan plan =
        options.lengthSeconds > 0
            ? TimelapsePlan::byFrameCount(
                  times, std::max(1, int(std::lround(options.lengthSeconds * options.fps))),
                  options.maxGapFrames)
            : TimelapsePlan::bySpeed(times, options.speed * 1000.0 / options.fps,
                                     options.maxGapFrames);
    summary.gapsCut = plan.gapsCut;
    summary.cutMs = plan.cutMs;
    const int total = int(plan.frames.size());

    // The video takes the size of the first picture that decodes.
    JpegPlanes decoded;
    int shown = -1;
    for (int k = 0; k < total && shown < 0; ++k) {
        const int candidate = plan.frames.at(k);
        if (candidate == shown)
            continue;
        if (decoded.decode(pictures.at(candidate).path))
            shown = candidate;
        else
            ++summary.unreadable;
    }
    if (shown < 0) {
        summary.failure = Failure::of(Failure::Kind::Decode,
                                      QStringLiteral("no picture in that time could be read"));
        return summary;
    }
    summary.width = decoded.width & ~1;
    summary.height = decoded.height & ~1;
    if (summary.width < 2 || summary.height < 2) {
        summary.failure = Failure::of(Failure::Kind::Encode,
                                      QStringLiteral("the pictures are too small for a video"));
        return summary;
    }

    const QString partial = temporaryNameFor(options.output);
    auto fail = [&](Failure failure) {
        QFile::remove(partial);
        summary.failure = std::move(failure);
        summary.elapsedMs = clock.elapsed();
        return summary;
    };
    {
        Encoder encoder;
        if (auto failure = encoder.open(partial, summary.width, summary.height, options))
            return fail(*failure);
        if (!encoder.load(decoded))
            return fail(encodeFailure(QStringLiteral("cannot convert a picture")));
        summary.pictures = 1;
        int loaded = shown;
        for (int k = 0; k < total; ++k) {
            if (cancel.load()) {
                QFile::remove(partial);
                summary.cancelled = true;
                summary.elapsedMs = clock.elapsed();
                return summary;
            }
            const int wanted = plan.frames.at(k);
            if (wanted != loaded && wanted > shown) {
                // A picture that will not decode leaves the one before on screen.
                if (decoded.decode(pictures.at(wanted).path) && encoder.load(decoded))
                    ++summary.pictures;
                else
                    ++summary.unreadable;
                loaded = wanted;
            }
            if (auto failure = encoder.send(k))
                return fail(*failure);
            ++summary.frames;
            if (progress && (k % 8 == 0 || k + 1 == total))
                progress(k + 1, total);
        }
        if (auto failure = encoder.finish())
            return fail(*failure);
    }
    // rename() replaces an older file of that name in one step.
    if (std::rename(QFile::encodeName(partial).constData(),
                    QFile::encodeName(options.output).constData()) != 0) {
        const int error = errno;
        return fail(Failure::of(Failure::Kind::File,
                                QStringLiteral("cannot name the video %1: %2")
                                    .arg(options.output, QString::fromLocal8Bit(strerror(error))),
                                error));
    }
    summary.elapsedMs = clock.elapsed();
    return summary;
}

bool TimelapseExporter::start(const QList<TimelapsePicture> &pictures,
                              const TimelapseOptions &options)
{
    if (m_running.load())
        return false;
    wait();
    m_cancel = false;
    m_running = true;
    m_worker = std::thread([this, pictures, options] {
        const TimelapseSummary summary = exportNow(
            pictures, options, [this](int done, int total) { emit progress(done, total); },
            m_cancel);
        m_running = false;
        emit finished(summary);
    });
    return true;
}

void TimelapseExporter::wait()
{
    if (m_worker.joinable())
        m_worker.join();
}
