// What one whole frame of each stretch of the show costs on one core, as
// milliseconds per frame and as a multiple of copying one frame's bytes
// (memcpy of width x height x 4), measured in the same run. Both are the
// thread's CPU time, so a busy machine does not skew the ratio.
#include <benchmark/benchmark.h>
#include <standin.h>

#include <time.h>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/build_config.h"
#include "app/main_loop.h"
#include "show/frame.h"
#include "show/loading.h"
#include "support/show_start.h"
#include "support/temp_dir.h"

namespace {

double g_memcpySeconds = 0;  // per frame, from the first benchmark

double ThreadSeconds() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void Report(benchmark::State& state, double seconds, long frames) {
  const double perFrame = seconds / static_cast<double>(frames);
  state.counters["ms_per_frame"] = perFrame * 1e3;
  if (g_memcpySeconds > 0) state.counters["x_memcpy"] = perFrame / g_memcpySeconds;
}

void BM_MemcpyFrame(benchmark::State& state) {
  const size_t bytes = size_t(kScreenWidth) * kScreenHeight * 4;
  std::vector<char> from(bytes, 1), to(bytes);
  long frames = 0;
  const double start = ThreadSeconds();
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
    ++frames;
  }
  const double seconds = ThreadSeconds() - start;
  g_memcpySeconds = seconds / static_cast<double>(frames);
  Report(state, seconds, frames);
}

// The show's frame at show time `t`; t = ~0u stands for a loading frame.
void BM_ShowFrame(benchmark::State& state, DWORD t) {
  long frames = 0;
  const double start = ThreadSeconds();
  for (auto _ : state) {
    if (t == ~0u) {
      DrawProgressScreen(50.0f);
    } else {
      g_ShowTime = t;
      RenderFrame();
    }
    ++frames;
  }
  Report(state, ThreadSeconds() - start, frames);
}

}  // namespace

BENCHMARK(BM_MemcpyFrame)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ShowFrame, loading_50pct, ~0u)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ShowFrame, intro_still, 6000u)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ShowFrame, verse_full_picture, 20000u)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ShowFrame, verse_in_fade, 14500u)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ShowFrame, finale_words, 90000u)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  // The pictures are the sample folder's size class: 1920 x 1080 JPEG/PNG
  // become 2048 x 2048 textures, like the real lock-screen images.
  const char* windir = std::getenv("WINDIR");
  std::string folder;
  if (!windir || !*windir) {
    folder = testdir::Make("show-bench");
    if (folder.empty() || !showtest::WriteWindowsFolder(folder)) {
      std::fprintf(stderr, "show_bench: cannot write a Windows folder\n");
      return 1;
    }
    windir = folder.c_str();
  }
  if (!showtest::StartShow(windir)) return 1;
  RunLoadingSequence();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  testdir::Remove(folder);
  return 0;
}
