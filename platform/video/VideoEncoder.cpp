#include "platform/video/VideoEncoder.h"

#include "platform/system/FilePath.h"
#include "platform/system/NewFile.h"

#include <QFileInfo>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int kMaxSide = 16384;

struct Container {
    const char* extension;
    const char* muxer;
    const char* encoder;
    const char* codecName;
};
constexpr Container kContainers[] = {
    {"mp4", "mp4", "libx264", "H.264"},
    {"webm", "webm", "libvpx-vp9", "VP9"},
};

const Container* containerFor(const QString& path)
{
    const QString extension = QFileInfo(path).suffix();
    for (const Container& container : kContainers)
        if (extension.compare(QLatin1String(container.extension), Qt::CaseInsensitive) == 0)
            return &container;
    return nullptr;
}

QString quoted(const QString& path)
{
    return QStringLiteral("“%1”").arg(FilePath::forDisplay(path));
}

QString describeAvError(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

// FFmpeg passes the system's errors on as negated errno values; its own
// codes lie far beyond them.
bool isSystemError(int error)
{
    return error < 0 && error > -4096;
}

// The encoders' statistics and notes mean nothing to the user; what goes
// wrong reaches the user as error().
void quietenFFmpeg()
{
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_ERROR);
        return true;
    }();
    (void)quiet;
}

} // namespace

struct VideoEncoder::Private {
    QString path;
    Format format;
    const Container* container = nullptr;
    std::unique_ptr<NewFile> file;

    AVFormatContext* muxer = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* converter = nullptr;
    std::int64_t nextPts = 0;

    QString error;
    bool finished = false;

    ~Private() { discard(); }

    bool fail(const QString& message)
    {
        error = message;
        discard();
        return false;
    }
    bool failWriting(int avError)
    {
        return fail(isSystemError(avError) ? NewFile::failure(-avError, path)
                                           : QStringLiteral("%1 could not be written: %2.")
                                                 .arg(quoted(path), describeAvError(avError)));
    }

    // Drops everything and the temporary file with it; whatever was under
    // the video's name stays as it was.
    void discard()
    {
        sws_freeContext(converter);
        converter = nullptr;
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        if (muxer) {
            avio_closep(&muxer->pb);
            avformat_free_context(muxer);
            muxer = nullptr;
        }
        file.reset();
    }

    bool start();
    bool setUpEncoder(const AVCodec* encoder);
    // Sends a frame, or with nullptr the end, and writes what comes out.
    bool send(const AVFrame* input);
};

bool VideoEncoder::Private::start()
{
    const AVCodec* encoder = avcodec_find_encoder_by_name(container->encoder);
    if (!encoder)
        return fail(QStringLiteral("The FFmpeg libraries on this system have no %1 encoder, so Ferlow cannot write "
                                   "%2 videos such as %3.")
                        .arg(QLatin1String(container->encoder), QLatin1String(container->codecName), quoted(path)));

    QString why;
    file = NewFile::create(path, &why);
    if (!file)
        return fail(why);

    // "file:" keeps a colon in the name from being read as a protocol. The
    // MP4 muxer opens the file again by this name to move its index to the
    // front.
    const QByteArray url = "file:" + file->temporaryPath();
    int result = avformat_alloc_output_context2(&muxer, nullptr, container->muxer, url.constData());
    if (result < 0)
        return failWriting(result);
    if (!setUpEncoder(encoder))
        return false;
    if ((result = avio_open(&muxer->pb, url.constData(), AVIO_FLAG_WRITE)) < 0)
        return failWriting(result);
    AVDictionary* options = nullptr;
    // So that a browser starts playing the video while it still downloads.
    if (std::strcmp(container->muxer, "mp4") == 0)
        av_dict_set(&options, "movflags", "+faststart", 0);
    result = avformat_write_header(muxer, &options);
    av_dict_free(&options);
    if (result < 0)
        return failWriting(result);
    return true;
}

bool VideoEncoder::Private::setUpEncoder(const AVCodec* encoder)
{
    codec = avcodec_alloc_context3(encoder);
    stream = avformat_new_stream(muxer, nullptr);
    frame = av_frame_alloc();
    packet = av_packet_alloc();
    if (!codec || !stream || !frame || !packet)
        return fail(QStringLiteral("There is not enough memory to write %1.").arg(quoted(path)));

    codec->width = format.width;
    codec->height = format.height;
    codec->pix_fmt = AV_PIX_FMT_YUV420P;
    codec->time_base = {1, format.fps};
    codec->framerate = {format.fps, 1};
    codec->gop_size = 2 * format.fps;
    // Limited range BT.709 whatever the size: the stream says so, and
    // players follow what it says rather than guessing by the height.
    codec->color_range = AVCOL_RANGE_MPEG;
    codec->colorspace = AVCOL_SPC_BT709;
    codec->color_primaries = AVCOL_PRI_BT709;
    codec->color_trc = AVCOL_TRC_BT709;
    // Two cores are all a laptop may have, and the scene is drawn meanwhile.
    codec->thread_count = 2;
    if (muxer->oformat->flags & AVFMT_GLOBALHEADER)
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    // Tuned to keep up with the drawing of a 720p flight on two cores at a
    // quality where the terrain's texture survives.
    AVDictionary* options = nullptr;
    if (codec->codec_id == AV_CODEC_ID_H264) {
        av_dict_set(&options, "preset", "veryfast", 0);
        av_dict_set(&options, "crf", "20", 0);
    } else {
        av_dict_set(&options, "deadline", "realtime", 0);
        av_dict_set(&options, "cpu-used", "8", 0);
        av_dict_set(&options, "row-mt", "1", 0);
        av_dict_set(&options, "crf", "32", 0);
    }
    // The quality decides the size, not FFmpeg's default bit rate.
    codec->bit_rate = 0;
    const int result = avcodec_open2(codec, encoder, &options);
    av_dict_free(&options);
    if (result < 0)
        return fail(QStringLiteral("Ferlow could not start the %1 encoder for %2: %3.")
                        .arg(QLatin1String(container->codecName), quoted(path), describeAvError(result)));

    stream->time_base = codec->time_base;
    stream->avg_frame_rate = codec->framerate;
    if (avcodec_parameters_from_context(stream->codecpar, codec) < 0)
        return fail(QStringLiteral("There is not enough memory to write %1.").arg(quoted(path)));

    frame->format = codec->pix_fmt;
    frame->width = codec->width;
    frame->height = codec->height;
    if (av_frame_get_buffer(frame, 0) < 0)
        return fail(QStringLiteral("There is not enough memory to write %1.").arg(quoted(path)));
    converter = sws_getContext(format.width, format.height, AV_PIX_FMT_RGBA, format.width, format.height,
                               AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!converter)
        return fail(QStringLiteral("Ferlow could not convert the pictures for %1.").arg(quoted(path)));
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(converter, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    return true;
}

bool VideoEncoder::Private::send(const AVFrame* input)
{
    int result = avcodec_send_frame(codec, input);
    while (result >= 0) {
        result = avcodec_receive_packet(codec, packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return true;
        if (result < 0)
            break;
        // The encoders leave it unset, which would leave the last frame's
        // length to the muxer's guess.
        packet->duration = 1;
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if ((result = av_interleaved_write_frame(muxer, packet)) < 0)
            return failWriting(result);
    }
    return fail(QStringLiteral("Ferlow could not encode %1: %2.").arg(quoted(path), describeAvError(result)));
}

QString VideoEncoder::unsupportedFormat(const QString& path)
{
    if (containerFor(path))
        return {};
    const QString extension = QFileInfo(path).suffix();
    const QString formats = QStringLiteral("Ferlow writes videos as .mp4 (H.264) or .webm (VP9)");
    if (extension.isEmpty())
        return formats + QStringLiteral(", and %1 has no extension.").arg(quoted(QFileInfo(path).fileName()));
    return formats + QStringLiteral(", not as .%1.").arg(FilePath::forDisplay(extension));
}

std::unique_ptr<VideoEncoder> VideoEncoder::open(const QString& path, const Format& format, QString* error)
{
    const auto refuse = [error](const QString& why) {
        if (error)
            *error = why;
        return nullptr;
    };
    if (const QString unsupported = unsupportedFormat(path); !unsupported.isEmpty())
        return refuse(unsupported);
    const auto evenSide = [](int side) { return side > 0 && side <= kMaxSide && side % 2 == 0; };
    if (!evenSide(format.width) || !evenSide(format.height) || format.fps < 1 || format.fps > kMaxFps)
        return refuse(QStringLiteral("Ferlow writes videos with even widths and heights up to %1 pixels at 1 to %2 "
                                     "frames a second, not %3 × %4 at %5.")
                          .arg(kMaxSide)
                          .arg(kMaxFps)
                          .arg(format.width)
                          .arg(format.height)
                          .arg(format.fps));
    quietenFFmpeg();
    auto d = std::make_unique<Private>();
    d->path = path;
    d->format = format;
    d->container = containerFor(path);
    if (!d->start())
        return refuse(d->error);
    return std::unique_ptr<VideoEncoder>(new VideoEncoder(std::move(d)));
}

VideoEncoder::VideoEncoder(std::unique_ptr<Private> d)
    : d(std::move(d))
{
}

VideoEncoder::~VideoEncoder() = default;

bool VideoEncoder::encode(const std::uint8_t* rgbaBottomRowFirst)
{
    if (!d->codec) {
        if (d->finished)
            d->error = QStringLiteral("The video %1 is already finished.").arg(quoted(d->path));
        return false;
    }
    const int result = av_frame_make_writable(d->frame);
    if (result < 0)
        return d->fail(QStringLiteral("Ferlow could not encode %1: %2.").arg(quoted(d->path), describeAvError(result)));
    // Read from the last row up, with a negative stride, the picture comes
    // out top row first as the video wants it.
    const int stride = 4 * d->format.width;
    const std::uint8_t* const topRow = rgbaBottomRowFirst + std::ptrdiff_t(stride) * (d->format.height - 1);
    const int negativeStride = -stride;
    sws_scale(d->converter, &topRow, &negativeStride, 0, d->format.height, d->frame->data, d->frame->linesize);
    d->frame->pts = d->nextPts++;
    return d->send(d->frame);
}

bool VideoEncoder::finish()
{
    if (!d->codec)
        return d->finished;
    if (!d->send(nullptr))
        return false;
    if (const int result = av_write_trailer(d->muxer); result < 0)
        return d->failWriting(result);
    if (const int result = avio_closep(&d->muxer->pb); result < 0)
        return d->failWriting(result);
    if (QString why; !d->file->commit(&why))
        return d->fail(why);
    d->discard();
    d->finished = true;
    return true;
}

QString VideoEncoder::error() const
{
    return d->error;
}
