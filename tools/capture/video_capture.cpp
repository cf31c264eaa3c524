#include "video_capture.h"

#include <signal.h>
#include <standin.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/build_config.h"
#include "app/main_loop.h"
#include "held_frames.h"
#include "progress.h"
#include "show/frame.h"
#include "show/loading.h"
#include "show_session.h"
#include "sound_track.h"
#include "video_writer.h"

namespace {

volatile sig_atomic_t g_Interrupted = 0;

void OnInterrupt(int) { g_Interrupted = 1; }

// CPU seconds of this thread, or of the whole process with its encoder
// threads: on a busy machine wall time would count the other processes too.
double CpuSeconds(clockid_t clock) {
  timespec t;
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Adds the CPU time this thread spends in its scope to `total`.
class CpuTimer {
 public:
  explicit CpuTimer(double* total) : total_(total), start_(CpuSeconds(CLOCK_THREAD_CPUTIME_ID)) {}
  ~CpuTimer() { *total_ += CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - start_; }
  CpuTimer(const CpuTimer&) = delete;
  CpuTimer& operator=(const CpuTimer&) = delete;

 private:
  double* total_;
  double start_;
};

// Where the main thread's time goes, for the summary.
struct TimeSpent {
  double drawing = 0.0;  // the show's frame function on the software renderer
  double video = 0.0;    // colour conversion and the H.264 encoder's calls
  double sound = 0.0;    // the sound track and the AAC encoder
};

void CatchInterrupts() {
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// The loading screen's progress frames, at their moments in milliseconds
// since the loading began.
struct LoadingCapture {
  DWORD startTick = 0;
  HeldFrames frames;
  bool sizeMismatch = false;
};

void OnLoadingPresent(DWORD, void* user) {
  LoadingCapture* capture = static_cast<LoadingCapture*>(user);
  StandinFrame frame;
  if (!StandinLastFrame(&frame)) return;
  if (frame.width != static_cast<UINT>(kScreenWidth) || frame.height != static_cast<UINT>(kScreenHeight)) {
    capture->sizeMismatch = true;
    return;
  }
  capture->frames.Add(static_cast<DWORD>(GetTickCount() - capture->startTick), frame.pixels,
                      static_cast<size_t>(frame.width) * frame.height);
}

// A sound call of the show with the moment it was made, for the report.
struct SoundNote {
  int64_t videoMs;
  StandinSoundCallRecord call;
};

std::string Describe(const SoundNote& note, int64_t showStartMs) {
  const int64_t showTime = note.videoMs - showStartMs;
  const std::string when = showTime >= 0 ? "sound " + std::to_string(showTime) : "sound (during loading)";
  char flags[16];
  snprintf(flags, sizeof flags, "0x%x", static_cast<unsigned>(note.call.flags));
  if (note.call.nameIsNull) return when + ": stop (PlaySoundA(NULL, NULL, " + flags + "))";
  return when + ": PlaySoundA(\"" + note.call.name + "\", NULL, " + flags + ")";
}

class VideoJob {
 public:
  explicit VideoJob(const VideoOptions& options)
      : options_(options), progress_(stderr, isatty(2) != 0, options.quiet) {}
  int Run();

 private:
  bool Fail(const std::string& message) {
    fprintf(stderr, "show-capture: %s\n", message.c_str());
    writer_.Abandon();
    return false;
  }
  bool Stopped() const { return g_Interrupted != 0; }
  int64_t SampleAt(int64_t videoMs) const { return videoMs * (kTrackRate / 1000) - originSample_; }
  // New PlaySoundA calls since the last look, made at `videoMs`.
  void TakeSoundCalls(int64_t videoMs);
  void TakeSoundCallsAtTicks(DWORD baseTick, int64_t baseVideoMs);
  // Sounds the track could not reproduce, said as they come up.
  void ReportTrackWarnings();
  bool EmitAudioTo(int64_t endSample);
  // Draws the show at `showTime` and returns its frame.
  bool DrawShowFrame(DWORD showTime, StandinFrame* frame);
  bool RunLoading();
  bool Encode();

  VideoOptions options_;
  ProgressLine progress_;
  Mp4Writer writer_;
  SoundTrack track_;
  LoadingCapture loading_;
  std::vector<SoundNote> notes_;
  std::vector<float> audio_;
  std::vector<DWORD> black_;
  size_t soundsSeen_ = 0;
  DWORD showStartTick_ = 0;
  int64_t showStartMs_ = 0;  // where the show begins in the video's timeline
  int64_t originSample_ = 0;
  TimeSpent spent_;
};

void VideoJob::TakeSoundCalls(int64_t videoMs) {
  for (; soundsSeen_ < StandinSoundCallCount(); ++soundsSeen_) {
    const StandinSoundCallRecord call = StandinSoundCall(soundsSeen_);
    track_.AddCall(SampleAt(videoMs), call);
    notes_.push_back(SoundNote{videoMs, call});
  }
  ReportTrackWarnings();
}

void VideoJob::ReportTrackWarnings() {
  for (const std::string& warning : track_.TakeWarnings()) fprintf(stderr, "show-capture: %s\n", warning.c_str());
}

void VideoJob::TakeSoundCallsAtTicks(DWORD baseTick, int64_t baseVideoMs) {
  // During loading the clock is the only measure of when a call was made.
  for (; soundsSeen_ < StandinSoundCallCount(); ++soundsSeen_) {
    const StandinSoundCallRecord call = StandinSoundCall(soundsSeen_);
    const int64_t videoMs = baseVideoMs + static_cast<int32_t>(call.tick - baseTick);
    track_.AddCall(SampleAt(videoMs), call);
    notes_.push_back(SoundNote{videoMs, call});
  }
}

bool VideoJob::EmitAudioTo(int64_t endSample) {
  const CpuTimer timer(&spent_.sound);
  audio_.clear();
  track_.RenderTo(endSample, &audio_);
  ReportTrackWarnings();
  if (audio_.empty()) return true;
  std::string error;
  if (!writer_.AddAudio(audio_.data(), audio_.size() / kTrackChannels, &error)) return Fail(error);
  return true;
}

bool VideoJob::DrawShowFrame(DWORD showTime, StandinFrame* frame) {
  StandinSetTickCount(showStartTick_ + showTime);
  g_ShowTime = showTime;
  {
    const CpuTimer timer(&spent_.drawing);
    RenderFrame();
  }
  if (!StandinLastFrame(frame)) {
    *frame = StandinFrame{black_.data(), static_cast<UINT>(kScreenWidth), static_cast<UINT>(kScreenHeight)};
  }
  if (frame->width != static_cast<UINT>(kScreenWidth) || frame->height != static_cast<UINT>(kScreenHeight)) {
    return Fail("the device presented a " + std::to_string(frame->width) + "x" + std::to_string(frame->height) +
                " frame, not " + std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight));
  }
  return true;
}

bool VideoJob::RunLoading() {
  const size_t callsBefore = StandinSoundCallCount();
  loading_.startTick = GetTickCount();
  if (options_.withLoading) StandinSetPresentHook(OnLoadingPresent, &loading_);
  RunLoadingSequence();
  StandinSetPresentHook(nullptr, nullptr);
  showStartTick_ = GetTickCount();
  if (loading_.sizeMismatch) return Fail("the loading screen presented a frame of the wrong size");
  // The show clock starts when the loading is over: the last progress
  // frame stays on screen until the show's first frame replaces it.
  showStartMs_ = options_.withLoading ? static_cast<int64_t>(showStartTick_ - loading_.startTick) : 0;
  soundsSeen_ = callsBefore;
  return true;
}

bool VideoJob::Encode() {
  const FrameRate rate = options_.rate;
  // With the loading screen the video starts with it; otherwise at `from`.
  const uint64_t first =
      options_.withLoading ? 0 : FirstFrameAtOrAfter(rate, static_cast<uint64_t>(showStartMs_) + options_.from);
  const uint64_t end = FirstFrameAtOrAfter(rate, static_cast<uint64_t>(showStartMs_) + options_.to);
  originSample_ = FrameStartSample(rate, first, kTrackRate);
  // Sounds of the loading sequence, at their own moments.
  TakeSoundCallsAtTicks(showStartTick_, showStartMs_);

  // The frames before the stretch are drawn but not kept: the show's sound
  // cues start once, on the first frame that asks, so the sound at `from`
  // is the one a viewer from the start would hear.
  uint64_t catchUp = 0;
  for (uint64_t j = 0; j < first; ++j) {
    if (static_cast<int64_t>(FrameTimeMs(rate, j)) >= showStartMs_) ++catchUp;
  }
  StandinFrame frame;
  if (catchUp > 0) {
    progress_.Begin("catching up", catchUp);
    size_t done = 0;
    for (uint64_t j = 0; j < first; ++j) {
      if (Stopped()) return false;
      const int64_t videoMs = static_cast<int64_t>(FrameTimeMs(rate, j));
      if (videoMs < showStartMs_) continue;
      if (!DrawShowFrame(static_cast<DWORD>(videoMs - showStartMs_), &frame)) return false;
      TakeSoundCalls(videoMs);
      progress_.Update(++done);
    }
    progress_.End();
  }

  progress_.Begin("encoding", end - first);
  std::string error;
  for (uint64_t j = first; j < end; ++j) {
    if (Stopped()) return false;
    const int64_t videoMs = static_cast<int64_t>(FrameTimeMs(rate, j));
    // Sound up to the moment of this frame is settled: later calls come
    // from this frame on.
    if (!EmitAudioTo(SampleAt(videoMs))) return false;
    if (videoMs < showStartMs_) {
      // The progress frame on screen at this moment; black before the first.
      const uint32_t* shown = loading_.frames.At(videoMs);
      frame = StandinFrame{shown ? shown : black_.data(), static_cast<UINT>(kScreenWidth),
                           static_cast<UINT>(kScreenHeight)};
    } else {
      if (!DrawShowFrame(static_cast<DWORD>(videoMs - showStartMs_), &frame)) return false;
      TakeSoundCalls(videoMs);
    }
    {
      const CpuTimer timer(&spent_.video);
      if (!writer_.AddVideoFrame(frame.pixels, frame.width, &error)) return Fail(error);
    }
    progress_.Update(static_cast<size_t>(j - first + 1));
  }
  if (!EmitAudioTo(FrameStartSample(rate, end, kTrackRate) - originSample_)) return false;
  progress_.End();
  return true;
}

int VideoJob::Run() {
  CatchInterrupts();
  black_.assign(static_cast<size_t>(kScreenWidth) * kScreenHeight, 0xFF000000u);
  VideoSettings settings;
  settings.width = kScreenWidth;
  settings.height = kScreenHeight;
  settings.rate = options_.rate;
  std::string error;
  // The file first, so a bad path is said before any work is done.
  if (!writer_.Open(options_.path, settings, &error)) {
    fprintf(stderr, "show-capture: %s\n", error.c_str());
    return 1;
  }
  if (!StartShowHeadless()) {
    Fail("the show could not start; nothing written");
    return 1;
  }
  if (!RunLoading()) return 1;
  const bool encoded = Encode();
  if (Stopped()) {
    if (!options_.quiet) fputc('\n', stderr);
    Fail("interrupted; nothing written");
    return 130;
  }
  if (!encoded) return 1;
  const int64_t frames = writer_.videoFrames();
  if (!writer_.Finish(&error)) {
    fprintf(stderr, "show-capture: %s\n", error.c_str());
    return 1;
  }
  for (const SoundNote& note : notes_) printf("%s\n", Describe(note, showStartMs_).c_str());
  const double seconds = static_cast<double>(frames) * options_.rate.den / options_.rate.num;
  printf("wrote %s: %lld frames at %s fps (%.3f s)", options_.path.c_str(), static_cast<long long>(frames),
         FormatFrameRate(options_.rate).c_str(), seconds);
  if (options_.withLoading)
    printf(", loading screen %lld ms in %zu progress frames", static_cast<long long>(showStartMs_),
           loading_.frames.size());
  printf("\n");
  if (!options_.quiet) {
    fprintf(stderr,
            "show-capture: CPU time on the main thread: drawing %.1f s, video encoding %.1f s, sound %.1f s; "
            "all threads %.1f s\n",
            spent_.drawing, spent_.video, spent_.sound, CpuSeconds(CLOCK_PROCESS_CPUTIME_ID));
  }
  return 0;
}

}  // namespace

int RunVideoCapture(const VideoOptions& options) {
  VideoJob job(options);
  return job.Run();
}
