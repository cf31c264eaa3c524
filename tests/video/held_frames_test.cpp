// Which presented frame is on screen at a moment.
#include "held_frames.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(HeldFrames, EachFrameStaysUntilTheNext) {
  HeldFrames frames;
  EXPECT_EQ(frames.At(0), nullptr);
  const std::vector<uint32_t> zero(4, 0), ten(4, 10), twenty(4, 20), thirty(4, 30);
  frames.Add(0, zero.data(), 4);
  frames.Add(0, ten.data(), 4);  // replaced at once: never seen
  frames.Add(1000, twenty.data(), 4);
  frames.Add(2500, thirty.data(), 4);
  EXPECT_EQ(frames.size(), 3u);
  struct Case {
    int64_t ms;
    uint32_t shown;
  };
  const Case cases[] = {{0, 10}, {999, 10}, {1000, 20}, {2499, 20}, {2500, 30}, {100000, 30}};
  for (const Case& c : cases) {
    const uint32_t* at = frames.At(c.ms);
    ASSERT_NE(at, nullptr) << c.ms;
    EXPECT_EQ(at[0], c.shown) << c.ms;
  }
}

TEST(HeldFrames, NothingBeforeTheFirstFrame) {
  HeldFrames frames;
  const std::vector<uint32_t> pixels(4, 7);
  frames.Add(500, pixels.data(), 4);
  EXPECT_EQ(frames.At(0), nullptr);
  EXPECT_EQ(frames.At(499), nullptr);
  ASSERT_NE(frames.At(500), nullptr);
  // The frame is a copy: the device's buffer may change afterwards.
  EXPECT_NE(frames.At(500), pixels.data());
  EXPECT_EQ(frames.At(500)[3], 7u);
}

}  // namespace
