// The progress line: its figures, and how it is drawn on a terminal, in a
// log, and not at all.
#include "progress.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

namespace {

TEST(ProgressLine, FormatShowsCountRateAndTimeLeft) {
  const std::string line = ProgressLine::Format("encoding", 30, 120, 60.0, 95.0);
  EXPECT_NE(line.find("encoding"), std::string::npos) << line;
  EXPECT_NE(line.find("30/120 frames"), std::string::npos) << line;
  EXPECT_NE(line.find("(25%)"), std::string::npos) << line;
  EXPECT_NE(line.find("60.0 fps"), std::string::npos) << line;
  EXPECT_NE(line.find("1:35 left"), std::string::npos) << line;
  EXPECT_NE(line.find("[#######-----"), std::string::npos) << line;  // 30 of 120 in a bar of 30
}

TEST(ProgressLine, FormatLeavesOutWhatIsNotKnownYet) {
  const std::string line = ProgressLine::Format("encoding", 0, 120, 0.0, -1.0);
  EXPECT_EQ(line.find("fps"), std::string::npos) << line;
  EXPECT_EQ(line.find("left"), std::string::npos) << line;
  EXPECT_NE(line.find("0/120 frames"), std::string::npos) << line;
  // Nothing to do is done.
  EXPECT_NE(ProgressLine::Format("encoding", 0, 0, 0.0, -1.0).find("(100%)"), std::string::npos);
  EXPECT_NE(ProgressLine::Format("encoding", 5, 5, 1.0, 7200.0).find("2:00:00 left"), std::string::npos);
}

std::string Drawn(bool interactive, bool quiet) {
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  {
    ProgressLine progress(out, interactive, quiet);
    progress.Begin("encoding", 10);
    for (size_t i = 1; i <= 10; ++i) progress.Update(i);
    progress.End();
  }
  fclose(out);
  std::string result(text, size);
  free(text);
  return result;
}

TEST(ProgressLine, TerminalRedrawsInPlaceLogGetsLines) {
  const std::string terminal = Drawn(true, false);
  ASSERT_FALSE(terminal.empty());
  EXPECT_EQ(terminal[0], '\r');
  EXPECT_EQ(terminal.back(), '\n');
  EXPECT_NE(terminal.find("10/10 frames"), std::string::npos) << terminal;
  // One line in all: every redraw starts with a carriage return.
  EXPECT_EQ(terminal.find('\n'), terminal.size() - 1);

  const std::string log = Drawn(false, false);
  EXPECT_EQ(log.find('\r'), std::string::npos) << log;
  EXPECT_NE(log.find("10/10 frames"), std::string::npos) << log;
  EXPECT_EQ(log.back(), '\n');

  EXPECT_EQ(Drawn(true, true), "");
  EXPECT_EQ(Drawn(false, true), "");
}

}  // namespace
