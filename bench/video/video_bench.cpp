// The video capture's cost.
//   ConvertToYuv420:  A8R8G8B8 to yuv420p, one frame (bytes/s of input).
//   EncodeFrame:      one frame of a drifting picture through the MP4 writer
//                     (x264 veryfast, two threads); frames/s.
//   SoundTrack:       one second of a looping sound placed and mixed.
//   CaptureTool:      show-capture-720 --video as a program, on a verse
//                     stretch and on the whole show, with the sample Windows
//                     folder. Counters: show seconds per wall second
//                     (x_realtime, above 1 is faster than the show plays)
//                     and per CPU second of the tool's threads
//                     (x_realtime_cpu: above 1 means faster than real time
//                     even on one core, whatever else the machine runs).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <math.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sound_track.h"
#include "support/temp_dir.h"
#include "support/wav_builder.h"
#include "video_writer.h"
#include "yuv.h"

extern char** environ;

namespace {

// A picture with smooth areas and fine detail, as the lock-screen pictures
// have, twice the frame's width so a window can drift across it.
std::vector<uint32_t> Scenery(int width, int height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  uint32_t seed = 12345;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const double u = static_cast<double>(x) / width;
      const double v = static_cast<double>(y) / height;
      const int grain = static_cast<int>(seed >> 28) - 8;
      const int r = static_cast<int>(120 + 100 * sin(6.0 * u + 2.0 * v)) + grain;
      const int g = static_cast<int>(110 + 90 * sin(4.0 * v + 1.0)) + grain;
      const int b = static_cast<int>(130 + 80 * cos(5.0 * u * v + 0.5)) + grain;
      auto clamp = [](int c) { return static_cast<uint32_t>(c < 0 ? 0 : (c > 255 ? 255 : c)); };
      pixels[static_cast<size_t>(y) * width + x] = 0xFF000000u | (clamp(r) << 16) | (clamp(g) << 8) | clamp(b);
    }
  }
  return pixels;
}

void BM_ConvertToYuv420(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = width * 9 / 16;
  const std::vector<uint32_t> pixels = Scenery(width, height);
  std::vector<uint8_t> y(static_cast<size_t>(width) * height), u(y.size() / 4), v(y.size() / 4);
  const YuvPlanes planes = {y.data(), u.data(), v.data(), width, width / 2, width / 2};
  for (auto _ : state) {
    ConvertToYuv420(pixels.data(), static_cast<size_t>(width), width, height, planes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * width * height * 4);
}
BENCHMARK(BM_ConvertToYuv420)->Arg(1280)->Arg(1920);

void BM_EncodeFrame(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = width * 9 / 16;
  const std::vector<uint32_t> scenery = Scenery(2 * width, height);
  const std::string folder = testdir::Make("encode-bench");
  Mp4Writer writer;
  VideoSettings settings;
  settings.width = width;
  settings.height = height;
  std::string error;
  if (!writer.Open(folder + "/bench.mp4", settings, &error)) {
    state.SkipWithError(error.c_str());
    testdir::Remove(folder);
    return;
  }
  size_t frame = 0;
  for (auto _ : state) {
    // The window drifts a pixel a frame, as the verse pictures do.
    const uint32_t* window = scenery.data() + (frame++ % static_cast<size_t>(width));
    if (!writer.AddVideoFrame(window, static_cast<size_t>(2 * width), &error)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  // The frames still in the encoder's lookahead are part of the cost.
  if (!writer.Finish(&error)) state.SkipWithError(error.c_str());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  testdir::Remove(folder);
}
BENCHMARK(BM_EncodeFrame)->Arg(1280)->Arg(1920)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_SoundTrack(benchmark::State& state) {
  const std::string folder = testdir::Make("track-bench");
  testdir::WriteFile(folder + "/tone.wav", wavtest::ToneWav(2, 44100, 16, 4200));
  StandinSoundCallRecord call;
  call.name = folder + "/tone.wav";
  call.flags = 0x20009;  // SND_FILENAME | SND_ASYNC | SND_LOOP
  call.result = TRUE;
  SoundTrack track;
  track.AddCall(0, call);
  std::vector<float> out;
  out.reserve(48000 * 2);
  int64_t end = 0;
  for (auto _ : state) {
    out.clear();
    end += 48000;
    track.RenderTo(end, &out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 48000);
  testdir::Remove(folder);
}
BENCHMARK(BM_SoundTrack);

// Runs a program with its output thrown away; its exit code, with the CPU
// time of all its threads.
int RunProgram(const std::vector<std::string>& args, double* cpuSeconds) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  rusage usage;
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status)) return -1;
  *cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  return WEXITSTATUS(status);
}

double WallSeconds() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Show times in ms: a verse stretch (a picture drifting under text), and
// the whole show.
void BM_CaptureTool(benchmark::State& state) {
  const long from = static_cast<long>(state.range(0));
  const long to = static_cast<long>(state.range(1));
  const std::string folder = testdir::Make("capture-bench");
  double unused = 0.0;
  if (RunProgram({SAMPLE_WINDOWS_TOOL, folder + "/windows"}, &unused) != 0) {
    state.SkipWithError("sample-windows failed");
    testdir::Remove(folder);
    return;
  }
  double cpu = 0.0;
  double wall = 0.0;
  for (auto _ : state) {
    double runCpu = 0.0;
    const double start = WallSeconds();
    const int code = RunProgram({CAPTURE_TOOL, "--windir", folder + "/windows", "--video", folder + "/bench.mp4",
                                 "--from", std::to_string(from), "--to", std::to_string(to), "--quiet"},
                                &runCpu);
    const double elapsed = WallSeconds() - start;
    state.SetIterationTime(elapsed);
    if (code != 0) {
      state.SkipWithError("show-capture-720 failed");
      break;
    }
    cpu += runCpu;
    wall += elapsed;
  }
  const double showSeconds = static_cast<double>(to - from) / 1000.0 * static_cast<double>(state.iterations());
  if (wall > 0.0) state.counters["x_realtime"] = showSeconds / wall;
  if (cpu > 0.0) state.counters["x_realtime_cpu"] = showSeconds / cpu;
  testdir::Remove(folder);
}
BENCHMARK(BM_CaptureTool)
    ->Args({13873, 23253})  // verse 0
    ->Args({0, 105532})     // the whole show
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
