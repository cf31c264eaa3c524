// The progress line of a long capture on standard error: frames done of the
// total, frames a second, time left. On a terminal it is redrawn in place;
// otherwise (a log, a pipe) a line is written every few seconds.
#pragma once

#include <stddef.h>
#include <stdio.h>

#include <string>

class ProgressLine {
 public:
  // `out` is normally stderr; `interactive` whether it is a terminal.
  ProgressLine(FILE* out, bool interactive, bool quiet);
  // Starts a stage of `total` frames, e.g. "encoding".
  void Begin(const char* stage, size_t total);
  // `done` frames of the stage are finished; redraws when it is time to.
  void Update(size_t done);
  // The stage is over: a last, complete line.
  void End();

  // The text of the line for these figures (no \r, no newline). Seconds
  // left is negative while unknown.
  static std::string Format(const char* stage, size_t done, size_t total, double framesPerSecond,
                            double secondsLeft);

 private:
  static double Now();
  void Draw(size_t done, bool final);

  FILE* out_;
  bool interactive_;
  bool quiet_;
  const char* stage_ = "";
  size_t total_ = 0;
  size_t done_ = 0;
  double start_ = 0.0;
  double lastDraw_ = -1.0;
  size_t lastWidth_ = 0;
};
