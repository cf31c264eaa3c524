// Reads an MP4 back with libavformat and libavcodec for the video tests:
// the streams' parameters, the video frame count, and the sound decoded to
// 48 kHz stereo float on the file's own timeline.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct MediaInfo {
  std::string error;  // empty when the file was read
  std::string formatName;
  int videoStreams = 0;
  int audioStreams = 0;
  // The video stream.
  std::string videoCodec;
  int width = 0;
  int height = 0;
  std::string pixelFormat;
  int frameRateNum = 0;
  int frameRateDen = 0;
  int64_t videoPackets = 0;
  // Y, Cb and Cr of the first decoded picture at its centre.
  int centreY = -1;
  int centreU = -1;
  int centreV = -1;
  double videoStart = 0.0;     // seconds
  double videoDuration = 0.0;  // seconds
  // The audio stream.
  std::string audioCodec;
  int sampleRate = 0;
  int channels = 0;
  double audioStart = 0.0;
  // Decoded sound, interleaved stereo; sample 0 is at file time
  // `firstSampleTime` (seconds; priming the decoder drops is not counted).
  std::vector<float> samples;
  double firstSampleTime = 0.0;
};

// Reads `path`; with `decode` the first picture and the whole sound track
// are decoded.
MediaInfo ReadMedia(const std::string& path, bool decode);

// The first sample frame from `from` on whose left or right value exceeds
// `threshold` in magnitude, or -1.
int64_t FirstLoudFrame(const std::vector<float>& samples, int64_t from, float threshold);
