#include "export/CZoAviWrite.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
}

#include <climits>
#include <cstdio>
#include <cstring>
#include <numeric>

#include "export/EncoderRegistry.h"

namespace zo::exporter {

namespace {

// An AVRational for rate/scale: exact when it fits, else the nearest.
AVRational TimeBase(uint32_t rate, uint32_t scale) {
    int num = 0, den = 0;
    av_reduce(&num, &den, scale, rate, INT_MAX);
    return AVRational{num, den};
}

// The muxer writes the stream header's handler from the codec tag, which is
// also the bitmap's compression field. Uncompressed pictures need tag 0
// there, so the handler "DIB " is put into the video stream header once the
// file is complete.
bool PatchVideoHandler(const std::string& path, uint32_t handler) {
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    if (!f)
        return false;
    bool ok = true;
    uint8_t head[8192];
    const size_t n = std::fread(head, 1, sizeof head, f);
    for (size_t i = 0; i + 16 <= n; ++i) {
        if (std::memcmp(head + i, "strh", 4) == 0 && std::memcmp(head + i + 8, "vids", 4) == 0) {
            uint8_t code[4];
            for (int k = 0; k < 4; ++k)
                code[k] = static_cast<uint8_t>(handler >> (8 * k));
            ok = std::fseek(f, static_cast<long>(i + 12), SEEK_SET) == 0 && std::fwrite(code, 1, 4, f) == 4;
            break;
        }
    }
    return std::fclose(f) == 0 && ok;
}

}  // namespace

CZoAviWrite::CZoAviWrite() { ResetSharedOptions(); }

CZoAviWrite::~CZoAviWrite() { Close(); }

int CZoAviWrite::OpenFile(const std::string& path) {
    pictureFormat_ = BitmapHeader{};
    if (context_)
        Close();
    closeError_.clear();
    avError_ = 0;
    // Written under a temporary name beside `path`, renamed into place by Close.
    if (!output_.Open(path)) {
        closeError_ = output_.Error();
        failed_ = true;
        return 0;
    }
    AVFormatContext* context = nullptr;
    if (avformat_alloc_output_context2(&context, nullptr, "avi", path.c_str()) < 0 || !context) {
        output_.Abort();
        failed_ = true;
        return 0;
    }
    if (avio_open(&context->pb, output_.TemporaryPath().c_str(), AVIO_FLAG_WRITE) < 0) {
        avformat_free_context(context);
        output_.Abort();
        failed_ = true;
        return 0;
    }
    context_ = context;
    path_ = path;
    soundPosition_ = 0;
    videoFrames_ = 0;
    videoFailed_ = false;
    hasSound_ = false;
    headerWritten_ = false;
    handler_ = 0;
    return 1;
}

int CZoAviWrite::CreateStreams(uint32_t rate, uint32_t scale, const BitmapHeader& header,
                               const codec::WaveFormat* sound) {
    hasSound_ = false;
    pictureFormat_ = header;
    if (!context_ || headerWritten_ || rate == 0 || scale == 0 || header.width <= 0 || header.height <= 0 ||
        header.bitCount != 24 ||
        header.sizeImage != static_cast<uint32_t>(header.width) * static_cast<uint32_t>(header.height) * 3) {
        failed_ = true;
        return 0;
    }
    const CompressionOptions options = SharedOptions();
    const bool xvid = IsXvidHandler(options.handler);
    if (!xvid && options.handler != kHandlerUncompressed && options.handler != 0) {
        failed_ = true;  // no such compressor
        return 0;
    }
    handler_ = xvid ? kHandlerXvid : kHandlerUncompressed;

    AVStream* video = avformat_new_stream(context_, nullptr);
    if (!video) {
        failed_ = true;
        return 0;
    }
    videoIndex_ = video->index;
    video->time_base = TimeBase(rate, scale);
    video->avg_frame_rate = AVRational{video->time_base.den, video->time_base.num};
    AVCodecParameters* vp = video->codecpar;
    vp->codec_type = AVMEDIA_TYPE_VIDEO;
    vp->width = header.width;
    vp->height = header.height;
    if (xvid) {
        vp->codec_id = AV_CODEC_ID_MPEG4;
        vp->codec_tag = FourCc('X', 'V', 'I', 'D');
        if (!xvid_.Open(header.width, header.height, rate, scale, XvidSettingsFrom(options))) {
            failed_ = true;
            return 0;
        }
    } else {
        vp->codec_id = AV_CODEC_ID_RAWVIDEO;
        vp->codec_tag = 0;
        vp->format = AV_PIX_FMT_BGR24;
        vp->bits_per_coded_sample = 24;
    }

    if (sound) {
        soundFormat_ = *sound;
        AVStream* s = avformat_new_stream(context_, nullptr);
        const int block = sound->blockAlign > 0 ? sound->blockAlign : 1;
        if (!s || sound->samplesPerSec == 0) {
            failed_ = true;
            return 0;
        }
        soundIndex_ = s->index;
        AVCodecParameters* ap = s->codecpar;
        ap->codec_type = AVMEDIA_TYPE_AUDIO;
        if (sound->formatTag == 6)
            ap->codec_id = AV_CODEC_ID_PCM_ALAW;
        else
            ap->codec_id = sound->bitsPerSample == 16 ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_PCM_U8;
        ap->codec_tag = sound->formatTag;
        av_channel_layout_default(&ap->ch_layout, sound->channels > 0 ? sound->channels : 1);
        ap->sample_rate = static_cast<int>(sound->samplesPerSec);
        ap->block_align = block;
        ap->bits_per_coded_sample = sound->bitsPerSample;
        ap->bit_rate = static_cast<int64_t>(sound->avgBytesPerSec) * 8;
        s->time_base = AVRational{1, static_cast<int>(sound->samplesPerSec)};
        hasSound_ = true;
    }

    AVDictionary* muxerOptions = nullptr;
    av_dict_set(&muxerOptions, "flipped_raw_rgb", "1", 0);  // our pictures are bottom-up
    const int ret = avformat_write_header(context_, &muxerOptions);
    av_dict_free(&muxerOptions);
    if (ret < 0) {
        failed_ = true;
        return 0;
    }
    headerWritten_ = true;
    if (!packet_)
        packet_ = av_packet_alloc();
    if (!packet_) {
        failed_ = true;
        return 0;
    }
    return 1;
}

int CZoAviWrite::WriteVideo(int64_t n, const uint8_t* picture) {
    if (videoFailed_)
        return 0;
    if (!headerWritten_ || !picture || n < 0) {
        videoFailed_ = true;
        return 0;
    }
    const uint8_t* data = picture;
    int size = static_cast<int>(pictureFormat_.sizeImage);
    bool key = true;
    if (xvid_.IsOpen()) {
        size = xvid_.Encode(picture, key);
        data = xvid_.Output();
        if (size < 0) {
            videoFailed_ = true;
            return 0;
        }
    }
    av_packet_unref(packet_);
    packet_->data = const_cast<uint8_t*>(data);
    packet_->size = size;
    packet_->stream_index = videoIndex_;
    packet_->pts = n;
    packet_->dts = n;
    packet_->duration = 1;
    packet_->flags = key ? AV_PKT_FLAG_KEY : 0;
    const int ret = av_write_frame(context_, packet_);
    packet_->data = nullptr;
    packet_->size = 0;
    if (ret < 0) {
        NoteError(ret);
        videoFailed_ = true;
        return 0;
    }
    ++videoFrames_;
    return 1;
}

int CZoAviWrite::WriteSound(const uint8_t* data, int length) {
    if (!hasSound_)
        return 1;
    if (failed_)
        return 0;
    const int block = soundFormat_.blockAlign > 0 ? soundFormat_.blockAlign : 1;
    const int samples = length > 0 ? length / block : 0;
    if (samples == 0)
        return 1;
    av_packet_unref(packet_);
    packet_->data = const_cast<uint8_t*>(data);
    packet_->size = samples * block;
    packet_->stream_index = soundIndex_;
    packet_->pts = soundPosition_;
    packet_->dts = soundPosition_;
    packet_->duration = samples;
    packet_->flags = AV_PKT_FLAG_KEY;
    const int ret = av_write_frame(context_, packet_);
    packet_->data = nullptr;
    packet_->size = 0;
    if (ret < 0) {
        NoteError(ret);
        failed_ = true;
        return 0;
    }
    soundPosition_ += samples;
    return 1;
}

void CZoAviWrite::NoteError(int error) {
    if (avError_ == 0)
        avError_ = error;
}

bool CZoAviWrite::Release() {
    xvid_.Close();
    bool ok = true;
    const bool opened = context_ != nullptr;
    if (context_) {
        if (headerWritten_) {
            const int ret = av_write_trailer(context_);
            if (ret < 0) {
                NoteError(ret);
                ok = false;
            }
        }
        if (context_->pb && context_->pb->error < 0) {
            NoteError(context_->pb->error);
            ok = false;
        }
        if (const int ret = avio_closep(&context_->pb); ret < 0) {
            NoteError(ret);
            ok = false;
        }
        avformat_free_context(context_);
        context_ = nullptr;
        if (ok && headerWritten_ && handler_ == kHandlerUncompressed &&
            !PatchVideoHandler(output_.TemporaryPath(), kHandlerUncompressed))
            ok = false;
    }
    // Only a file with its streams, every write and its index complete is
    // put in place; anything else leaves no file behind.
    const bool complete = opened && ok && headerWritten_ && !failed_ && !videoFailed_;
    bool placed = false;
    if (complete) {
        placed = output_.Commit();
        if (!placed)
            closeError_ = output_.Error();
    } else if (output_.IsOpen() || !output_.TemporaryPath().empty()) {
        if (opened && headerWritten_) {
            char reason[AV_ERROR_MAX_STRING_SIZE] = "a write failed";
            if (avError_ < 0)
                av_strerror(avError_, reason, sizeof reason);
            closeError_ = path_ + ": cannot write: " + reason;
        }
        output_.Abort();
    }
    av_packet_free(&packet_);
    headerWritten_ = false;
    hasSound_ = false;
    videoIndex_ = soundIndex_ = -1;
    return !opened || placed;
}

int CZoAviWrite::Close() {
    const bool ok = Release();
    failed_ = false;
    return ok ? 1 : 0;
}

}  // namespace zo::exporter
