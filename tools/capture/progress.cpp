#include "progress.h"

#include <time.h>

namespace {

// Redraw rates: in place often enough to look alive; in a log rarely enough
// to stay readable.
constexpr double kTerminalInterval = 0.1;
constexpr double kLogInterval = 5.0;
constexpr int kBarWidth = 30;

std::string Clock(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  if (s >= 3600)
    snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

}  // namespace

ProgressLine::ProgressLine(FILE* out, bool interactive, bool quiet)
    : out_(out), interactive_(interactive), quiet_(quiet) {}

double ProgressLine::Now() {
  // The show's GetTickCount may run on a virtual clock; progress is about
  // the wall clock.
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::string ProgressLine::Format(const char* stage, size_t done, size_t total, double framesPerSecond,
                                 double secondsLeft) {
  const size_t filled = total ? (done >= total ? kBarWidth : done * kBarWidth / total) : kBarWidth;
  std::string bar(filled, '#');
  bar.append(kBarWidth - filled, '-');
  char text[160];
  const double percent = total ? 100.0 * static_cast<double>(done) / static_cast<double>(total) : 100.0;
  snprintf(text, sizeof text, "%s [%s] %zu/%zu frames (%.0f%%)", stage, bar.c_str(), done, total, percent);
  std::string line = text;
  if (framesPerSecond > 0.0) {
    snprintf(text, sizeof text, "  %.1f fps", framesPerSecond);
    line += text;
  }
  if (secondsLeft >= 0.0) line += "  " + Clock(secondsLeft) + " left";
  return line;
}

void ProgressLine::Begin(const char* stage, size_t total) {
  stage_ = stage;
  total_ = total;
  done_ = 0;
  start_ = Now();
  lastDraw_ = -1.0;
  lastWidth_ = 0;
}

void ProgressLine::Update(size_t done) {
  done_ = done;
  if (quiet_) return;
  const double now = Now();
  const double interval = interactive_ ? kTerminalInterval : kLogInterval;
  if (lastDraw_ >= 0.0 && now - lastDraw_ < interval) return;
  // The first line of a log waits for the first interval, so short stages
  // write one line, not two.
  if (!interactive_ && lastDraw_ < 0.0 && now - start_ < interval) return;
  lastDraw_ = now;
  Draw(done, false);
}

void ProgressLine::End() {
  if (quiet_) return;
  Draw(done_, true);
}

void ProgressLine::Draw(size_t done, bool final) {
  const double elapsed = Now() - start_;
  const double fps = elapsed > 0.0 && done > 0 ? static_cast<double>(done) / elapsed : 0.0;
  double left = -1.0;
  if (final) {
    left = -1.0;
  } else if (fps > 0.0 && total_ >= done) {
    left = static_cast<double>(total_ - done) / fps;
  }
  std::string line = Format(stage_, done, total_, fps, left);
  if (final) line += "  in " + Clock(elapsed);
  if (interactive_) {
    // Pad over the rest of a longer previous line.
    const size_t width = line.size();
    if (width < lastWidth_) line.append(lastWidth_ - width, ' ');
    lastWidth_ = width;
    fprintf(out_, "\r%s%s", line.c_str(), final ? "\n" : "");
  } else {
    fprintf(out_, "%s\n", line.c_str());
  }
  fflush(out_);
}
