#include "sound_track.h"

#include <mmsystem.h>

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

#include "crt/path_translate.h"
#include "winmm/default_sound.h"

namespace {

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = "";
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace

bool MakeClip(const WavSound& sound, TrackClip* clip, std::string* reason, uint32_t maxSeconds) {
  clip->samples.clear();
  clip->frames = 0;
  if (sound.channels < 1 || sound.channels > 2 || (sound.bitsPerSample != 8 && sound.bitsPerSample != 16) ||
      sound.sampleRate == 0) {
    *reason = "unsupported sample format";
    return false;
  }
  const size_t frames = std::min(sound.frameCount, static_cast<size_t>(sound.sampleRate) * maxSeconds);
  if (frames == 0) return true;
  const AVSampleFormat inFormat = sound.bitsPerSample == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
  AVChannelLayout layout;
  av_channel_layout_default(&layout, sound.channels);
  SwrContext* swr = nullptr;
  int rc = swr_alloc_set_opts2(&swr, &layout, AV_SAMPLE_FMT_FLT, static_cast<int>(kTrackRate), &layout, inFormat,
                               static_cast<int>(sound.sampleRate), 0, nullptr);
  if (rc >= 0) rc = swr_init(swr);
  if (rc < 0) {
    *reason = "cannot set up the resampler: " + AvError(rc);
    swr_free(&swr);
    return false;
  }
  // Room for the whole sound and the resampler's tail.
  const int64_t capacity =
      av_rescale_rnd(static_cast<int64_t>(frames), kTrackRate, sound.sampleRate, AV_ROUND_UP) + 256;
  if (capacity > INT32_MAX / 2) {
    *reason = "sound too long";
    swr_free(&swr);
    return false;
  }
  std::vector<float> converted(static_cast<size_t>(capacity) * sound.channels);
  uint8_t* out = reinterpret_cast<uint8_t*>(converted.data());
  const uint8_t* in = sound.samples;
  int got = swr_convert(swr, &out, static_cast<int>(capacity), &in, static_cast<int>(frames));
  if (got >= 0) {
    uint8_t* tail = reinterpret_cast<uint8_t*>(converted.data() + static_cast<size_t>(got) * sound.channels);
    const int flushed = swr_convert(swr, &tail, static_cast<int>(capacity) - got, nullptr, 0);
    got = flushed < 0 ? flushed : got + flushed;
  }
  swr_free(&swr);
  if (got < 0) {
    *reason = "resampling failed: " + AvError(got);
    return false;
  }
  clip->frames = static_cast<size_t>(got);
  clip->samples.resize(clip->frames * kTrackChannels);
  for (size_t i = 0; i < clip->frames; ++i) {
    const float left = converted[i * sound.channels];
    const float right = sound.channels == 2 ? converted[i * 2 + 1] : left;
    clip->samples[2 * i] = left;
    clip->samples[2 * i + 1] = right;
  }
  return true;
}

void SoundTrack::AddCall(int64_t atSample, const StandinSoundCallRecord& call) {
  const Pending pending = {atSample, call};
  // Calls at or before the position act at once (in order after anything
  // still queued), so their effect is never lost.
  if (atSample <= position_ && pending_.empty()) {
    Apply(pending);
    return;
  }
  pending_.push_back(pending);
}

bool SoundTrack::PlayingAt(int64_t sample) const {
  if (!current_ || current_->frames == 0) return false;
  return loop_ || sample - start_ < static_cast<int64_t>(current_->frames);
}

void SoundTrack::Apply(const Pending& pending) {
  const StandinSoundCallRecord& call = pending.call;
  if (call.nameIsNull || (call.flags & SND_PURGE)) {
    current_ = nullptr;
    return;
  }
  // SND_NOSTOP refuses while a sound plays and leaves it playing.
  if ((call.flags & SND_NOSTOP) && PlayingAt(pending.at)) return;
  current_ = Resolve(call);
  start_ = pending.at;
  // A loop needs SND_ASYNC: a synchronous call plays the sound once.
  loop_ = (call.flags & SND_ASYNC) && (call.flags & SND_LOOP);
}

const TrackClip* SoundTrack::Cached(const std::string& key, const WavSound& sound) {
  auto found = clips_.find(key);
  if (found != clips_.end()) return found->second.get();
  std::unique_ptr<TrackClip> clip(new TrackClip);
  std::string reason;
  if (!MakeClip(sound, clip.get(), &reason)) {
    warnings_.push_back(key + ": " + reason + "; silence in its place");
    clip.reset();
  }
  const TrackClip* result = clip.get();
  clips_[key] = std::move(clip);
  return result;
}

const TrackClip* SoundTrack::FileClip(const std::string& windowsPath) {
  char path[kStandinMaxPath];
  if (!StandinTranslatePath(windowsPath.c_str(), path, sizeof path)) return nullptr;
  const std::string key = path;
  auto found = clips_.find(key);
  if (found != clips_.end()) return found->second.get();
  std::vector<uint8_t> bytes;
  WavSound sound;
  char reason[kWavReasonSize] = "";
  if (!ReadWavFile(path, &bytes, &sound, reason)) {
    clips_[key] = nullptr;  // unreadable now, unreadable on every later call
    return nullptr;
  }
  return Cached(key, sound);
}

const TrackClip* SoundTrack::Resolve(const StandinSoundCallRecord& call) {
  const bool resource = (call.flags & SND_RESOURCE) == SND_RESOURCE;
  const bool memory = !resource && (call.flags & SND_MEMORY);
  const bool aliasId = !resource && (call.flags & SND_ALIAS_ID) == SND_ALIAS_ID;
  if (memory && call.result) {
    // The image was in the caller's memory during the call; the log keeps
    // only that it was one, so what it sounded like cannot be known now.
    warnings_.push_back("a sound played from memory cannot be reproduced; silence in its place");
    return nullptr;
  }
  if (!resource && !memory && !aliasId) {
    const TrackClip* clip = FileClip(call.name);
    if (clip) return clip;
  }
  // Nothing readable: the default sound, unless the caller said
  // SND_NODEFAULT and PlaySoundA found nothing either. (A system alias that
  // PlaySoundA did find is the default sound too.)
  if ((call.flags & SND_NODEFAULT) && !call.result) return nullptr;
  return Cached("(default sound)", DefaultSound());
}

void SoundTrack::RenderTo(int64_t endSample, std::vector<float>* out) {
  while (position_ < endSample) {
    while (!pending_.empty() && pending_.front().at <= position_) {
      Apply(pending_.front());
      pending_.pop_front();
    }
    int64_t stop = endSample;
    if (!pending_.empty() && pending_.front().at < stop) stop = pending_.front().at;
    const size_t count = static_cast<size_t>(stop - position_);
    const size_t base = out->size();
    out->resize(base + count * kTrackChannels, 0.0f);
    float* dest = out->data() + base;
    if (current_ && current_->frames > 0) {
      size_t done = 0;
      int64_t offset = position_ - start_;  // never negative: calls act at their place
      while (done < count) {
        size_t at = static_cast<size_t>(offset);
        if (loop_) {
          at %= current_->frames;
        } else if (at >= current_->frames) {
          break;  // played out; the rest stays silent
        }
        const size_t run = std::min(count - done, current_->frames - at);
        std::copy(current_->samples.begin() + static_cast<ptrdiff_t>(at * kTrackChannels),
                  current_->samples.begin() + static_cast<ptrdiff_t>((at + run) * kTrackChannels),
                  dest + done * kTrackChannels);
        done += run;
        offset += static_cast<int64_t>(run);
      }
    }
    position_ = stop;
  }
  while (!pending_.empty() && pending_.front().at <= position_) {
    Apply(pending_.front());
    pending_.pop_front();
  }
}

std::vector<std::string> SoundTrack::TakeWarnings() {
  std::vector<std::string> taken;
  taken.swap(warnings_);
  return taken;
}
