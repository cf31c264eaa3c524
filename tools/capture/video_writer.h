// Writes an MP4 file with FFmpeg's libraries: H.264 video (libx264,
// yuv420p, BT.709 limited range) and AAC sound (48 kHz stereo).
//
// The file is written as "<path>.partial" beside the target and renamed to
// the target only after its trailer is written, so a file at the target path
// is always complete; an unfinished or failed file is removed.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "frame_clock.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

struct VideoSettings {
  int width = 1280;
  int height = 720;
  FrameRate rate;
  // The H.264 encoder of libavcodec to use.
  const char* videoEncoder = "libx264";
  // x264's speed preset and constant rate factor: fast enough to encode
  // faster than the show plays, good enough to watch.
  const char* preset = "veryfast";
  int crf = 20;
  // Encoder threads of libavcodec (frame threads of x264).
  int threads = 2;
  int audioBitRate = 192000;
};

class Mp4Writer {
 public:
  Mp4Writer();
  ~Mp4Writer();  // an unfinished file is abandoned
  Mp4Writer(const Mp4Writer&) = delete;
  Mp4Writer& operator=(const Mp4Writer&) = delete;

  // Checks the target, sets up both encoders and starts the partial file.
  // On failure `error` says why and nothing is left on disk.
  bool Open(const std::string& path, const VideoSettings& settings, std::string* error);

  // One video frame of A8R8G8B8 pixels (`width` pixels a row, rows
  // `pitchPixels` apart), shown for one frame interval.
  bool AddVideoFrame(const uint32_t* pixels, size_t pitchPixels, std::string* error);

  // Interleaved stereo float samples at 48 kHz, following what came before.
  bool AddAudio(const float* samples, size_t frames, std::string* error);

  // Drains the encoders, writes the trailer and moves the file into place.
  bool Finish(std::string* error);

  // Stops and removes the partial file.
  void Abandon();

  int64_t videoFrames() const { return videoFrames_; }
  int64_t audioFrames() const { return audioQueued_; }
  const std::string& partialPath() const { return partialPath_; }

 private:
  bool OpenVideo(const VideoSettings& settings, std::string* error);
  bool OpenAudio(const VideoSettings& settings, std::string* error);
  bool SendAudioFrame(size_t frames, std::string* error);
  // Sends a frame (null to drain) and writes every packet that comes out.
  bool Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame, std::string* error);
  void Close();

  std::string path_;
  std::string partialPath_;
  AVFormatContext* format_ = nullptr;
  AVCodecContext* video_ = nullptr;
  AVCodecContext* audio_ = nullptr;
  AVStream* videoStream_ = nullptr;
  AVStream* audioStream_ = nullptr;
  AVFrame* videoFrame_ = nullptr;
  AVFrame* audioFrame_ = nullptr;
  AVPacket* packet_ = nullptr;
  bool fileOpen_ = false;
  bool partialOnDisk_ = false;
  bool headerWritten_ = false;
  int width_ = 0;
  int height_ = 0;
  int64_t videoFrames_ = 0;
  // Samples waiting for a whole encoder frame, interleaved stereo.
  std::vector<float> audioHold_;
  size_t audioFrameSize_ = 0;
  int64_t audioQueued_ = 0;  // samples handed in so far
  int64_t audioSent_ = 0;    // samples given to the encoder so far
};
