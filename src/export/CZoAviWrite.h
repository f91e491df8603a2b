// CZoAviWrite: writes one AVI file with one video stream and optionally one
// sound stream. The file is written by libavformat's AVI muxer, which adds
// the extended (OpenDML) index beyond 1 GB. Video is either stored as the
// 24-bit bottom-up pictures themselves (handler "DIB ") or encoded to
// MPEG-4 by Xvid (codec tag "XVID"), as the shared compression options say
// when the streams are created.
//
// Life: OpenFile creates the file under a temporary name beside the final
// one; CreateStreams writes the header; WriteVideo and WriteSound append;
// Close, a new OpenFile or the destructor complete the file and rename it
// over the final name (replacing a file of that name), or remove it when it
// could not be completed.
//
// Threads: one thread at a time. The export opens the file and creates the
// streams on the user-interface thread and writes on its own thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/CZoAdec.h"
#include "export/BitmapHeader.h"
#include "export/XvidEncoder.h"
#include "platform/OutputFile.h"

struct AVFormatContext;
struct AVPacket;

namespace zo::exporter {

class CZoAviWrite {
public:
    // Resets the shared compression options to the defaults.
    CZoAviWrite();
    virtual ~CZoAviWrite();
    CZoAviWrite(const CZoAviWrite&) = delete;
    CZoAviWrite& operator=(const CZoAviWrite&) = delete;

    // Creates the AVI file. 1, or 0 with failed set.
    int OpenFile(const std::string& path);
    int IsOpen() const { return context_ != nullptr; }

    // Video stream of rate/scale pictures per second for pictures as
    // `header` describes (copied), and a sound stream when `sound` is given.
    // 1 if all streams were created; 0 with failed set otherwise.
    int CreateStreams(uint32_t rate, uint32_t scale, const BitmapHeader& header, const codec::WaveFormat* sound);

    // Writes `picture` (header.sizeImage bytes, 24-bit, bottom row first) as
    // frame number `n`; numbers must rise, and the numbers skipped stay empty
    // frames. 1 if written; a failure blocks further video writes.
    virtual int WriteVideo(int64_t n, const uint8_t* picture);

    // Appends `length` bytes of sound (whole sample frames; a rest is
    // dropped) at the current sample position. 1 if written or if there is
    // no sound stream; a failure blocks further writes.
    int WriteSound(const uint8_t* data, int length);

    // Completes and closes the file and renames it into place; clears
    // failed. 1, or 0 when a file was open but could not be completed (a
    // write, the index, the close or the rename failed, or it never got its
    // streams): no file is left behind then, and CloseError() says why.
    int Close();
    const std::string& CloseError() const { return closeError_; }

    bool Failed() const { return failed_; }
    bool VideoFailed() const { return videoFailed_; }
    bool HasSound() const { return hasSound_; }
    int64_t SoundPosition() const { return soundPosition_; }
    // The handler of the video stream as created ("DIB " or "qvzt").
    uint32_t VideoHandler() const { return handler_; }
    const BitmapHeader& PictureFormat() const { return pictureFormat_; }
    const codec::WaveFormat& SoundFormat() const { return soundFormat_; }
    // Video frames written (empty ones not counted).
    int64_t VideoFramesWritten() const { return videoFrames_; }

private:
    // Completes the file; true if it was put in place (or none was open).
    bool Release();
    void NoteError(int error);

    bool videoFailed_ = false;
    codec::WaveFormat soundFormat_;
    BitmapHeader pictureFormat_;
    AVFormatContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    bool headerWritten_ = false;
    int videoIndex_ = -1;
    int soundIndex_ = -1;
    int64_t soundPosition_ = 0;
    bool failed_ = false;
    bool hasSound_ = false;
    uint32_t handler_ = 0;
    int64_t videoFrames_ = 0;
    std::string path_;
    platform::OutputFile output_;
    std::string closeError_;
    int avError_ = 0;  // the first error libavformat reported for this file
    XvidEncoder xvid_;
};

}  // namespace zo::exporter
