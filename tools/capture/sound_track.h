// The sound of a capture: what the show's PlaySoundA calls make heard, as
// 48 kHz stereo float samples, each call placed at the sample where it was
// made. PlaySoundA's rules apply: one sound at a time, a new sound ends the
// old one, SND_LOOP repeats until stopped, a null name stops, and a file that
// cannot be read is replaced by the stand-in's default sound unless
// SND_NODEFAULT says otherwise.
#pragma once

#include <standin.h>
#include <stddef.h>
#include <stdint.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "winmm/wav.h"

constexpr uint32_t kTrackRate = 48000;
constexpr int kTrackChannels = 2;

// A sound ready to place: interleaved stereo float at kTrackRate.
struct TrackClip {
  std::vector<float> samples;
  size_t frames = 0;
};

// Longest stretch of one sound that is kept: far beyond anything the show
// can play, short enough that a huge file cannot take gigabytes as float.
constexpr uint32_t kMaxClipSeconds = 15 * 60;

// Converts decoded PCM to a clip: resampled to kTrackRate with
// libswresample; a mono sound goes to both sides at full level, as a
// Windows sound card plays it. Only the first `maxSeconds` are kept.
bool MakeClip(const WavSound& sound, TrackClip* clip, std::string* reason, uint32_t maxSeconds = kMaxClipSeconds);

class SoundTrack {
 public:
  // Queues a call to take effect at `atSample`. Calls come in the order
  // they were made. A call placed before the current position changes
  // nothing already rendered, but the sound it starts keeps its place: a
  // sound started before the rendered stretch is heard from the middle.
  void AddCall(int64_t atSample, const StandinSoundCallRecord& call);

  // Appends the samples from the current position up to `endSample`
  // (interleaved stereo) to `out` and moves the position there.
  void RenderTo(int64_t endSample, std::vector<float>* out);

  int64_t position() const { return position_; }
  // Takes the notes about sounds that could not be reproduced faithfully
  // (one line each), clearing them.
  std::vector<std::string> TakeWarnings();

 private:
  struct Pending {
    int64_t at;
    StandinSoundCallRecord call;
  };
  void Apply(const Pending& pending);
  bool PlayingAt(int64_t sample) const;
  // The clip for a request, or null for silence.
  const TrackClip* Resolve(const StandinSoundCallRecord& call);
  // The clip of a readable WAV file, or null; remembered either way.
  const TrackClip* FileClip(const std::string& windowsPath);
  const TrackClip* Cached(const std::string& key, const WavSound& sound);

  std::deque<Pending> pending_;
  // By Linux path, or "(default sound)"; null for a file that cannot be read.
  std::map<std::string, std::unique_ptr<TrackClip>> clips_;
  const TrackClip* current_ = nullptr;
  int64_t start_ = 0;
  bool loop_ = false;
  int64_t position_ = 0;
  std::vector<std::string> warnings_;
};
