#include "tests/support/VideoProbe.h"

#include "platform/system/FilePath.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

struct Reader {
    AVFormatContext* container = nullptr;
    AVCodecContext* decoder = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* converter = nullptr;

    ~Reader()
    {
        sws_freeContext(converter);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&decoder);
        avformat_close_input(&container);
    }

    QImage image()
    {
        converter = sws_getCachedContext(converter, frame->width, frame->height, AVPixelFormat(frame->format),
                                         frame->width, frame->height, AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr,
                                         nullptr);
        // As a player would: by the colours the stream says it holds.
        const int* matrix = sws_getCoefficients(frame->colorspace);
        sws_setColorspaceDetails(converter, matrix, frame->color_range == AVCOL_RANGE_JPEG, matrix, 1, 0, 1 << 16,
                                 1 << 16);
        QImage image(frame->width, frame->height, QImage::Format_RGB32);
        uint8_t* const rows[] = {image.bits()};
        const int strides[] = {int(image.bytesPerLine())};
        sws_scale(converter, frame->data, frame->linesize, 0, frame->height, rows, strides);
        return image;
    }
};

QString failure(const char* what, int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QLatin1String(text));
}

} // namespace

VideoFacts probeVideo(const QString& path, int keepEvery, int keepAtMost)
{
    VideoFacts facts;
    const auto fail = [&facts](const char* what, int error) {
        facts.error = failure(what, error);
        return facts;
    };
    Reader reader;
    const QByteArray url = "file:" + FilePath::toNative(path);
    if (int error = avformat_open_input(&reader.container, url.constData(), nullptr, nullptr); error < 0)
        return fail("cannot open", error);
    if (int error = avformat_find_stream_info(reader.container, nullptr); error < 0)
        return fail("cannot read the streams", error);
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(reader.container, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (index < 0)
        return fail("no video stream", index);
    const AVStream* stream = reader.container->streams[index];
    reader.decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(reader.decoder, stream->codecpar);
    if (int error = avcodec_open2(reader.decoder, codec, nullptr); error < 0)
        return fail("cannot decode", error);

    facts.codec = QLatin1String(avcodec_get_name(stream->codecpar->codec_id));
    facts.width = stream->codecpar->width;
    facts.height = stream->codecpar->height;
    facts.pixelFormat = QLatin1String(av_get_pix_fmt_name(AVPixelFormat(stream->codecpar->format)));
    facts.durationSeconds = stream->duration != AV_NOPTS_VALUE ? stream->duration * av_q2d(stream->time_base)
                                                                : double(reader.container->duration) / AV_TIME_BASE;

    const auto receive = [&] {
        while (avcodec_receive_frame(reader.decoder, reader.frame) >= 0) {
            if (facts.frameCount == 0)
                facts.firstFrameIsKeyframe = reader.frame->key_frame;
            if (keepEvery > 0 && facts.frameCount % keepEvery == 0 && facts.frames.size() < keepAtMost)
                facts.frames.append(reader.image());
            ++facts.frameCount;
        }
    };
    while (av_read_frame(reader.container, reader.packet) >= 0) {
        const int error = reader.packet->stream_index == index ? avcodec_send_packet(reader.decoder, reader.packet) : 0;
        if (error < 0 && facts.error.isEmpty())
            facts.error = failure("cannot decode a frame", error);
        av_packet_unref(reader.packet);
        receive();
    }
    avcodec_send_packet(reader.decoder, nullptr);
    receive();
    return facts;
}
