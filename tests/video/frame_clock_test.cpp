// Frame timing: rates parsed exactly, frame times that never drift, and
// stretch boundaries that agree with the frame times.
#include "frame_clock.h"

#include <gtest/gtest.h>

namespace {

TEST(FrameRateParse, AcceptsWholeDecimalAndFractionRates) {
  struct Case {
    const char* text;
    uint32_t num;
    uint32_t den;
  };
  const Case cases[] = {
      {"60", 60, 1},           {"30", 30, 1},         {"29.97", 2997, 100}, {"23.976", 2997, 125},
      {"30000/1001", 30000, 1001}, {"120/2", 60, 1}, {"0.5", 1, 2},        {"1000", 1000, 1},
      {"25.000", 25, 1},       {"59.940000", 2997, 50},
  };
  for (const Case& c : cases) {
    FrameRate rate;
    std::string reason;
    ASSERT_TRUE(ParseFrameRate(c.text, &rate, &reason)) << c.text << ": " << reason;
    EXPECT_EQ(rate.num, c.num) << c.text;
    EXPECT_EQ(rate.den, c.den) << c.text;
  }
}

TEST(FrameRateParse, RejectsWhatIsNotARateWithAReason) {
  const char* const bad[] = {"",     "0",    "0.0",   "-30",  "abc",      "30fps",       "1e3",  "30.",
                             ".5",   "30/0", "0/5",   "1001", "2000/1",   "29.9700001", "1/",   "/2",
                             " 30",  "30 ",  "99999999999999999999"};
  for (const char* text : bad) {
    FrameRate rate;
    std::string reason;
    EXPECT_FALSE(ParseFrameRate(text, &rate, &reason)) << '"' << text << '"';
    EXPECT_FALSE(reason.empty()) << text;
  }
}

TEST(FrameRateFormat, ReadsAsWritten) {
  EXPECT_EQ(FormatFrameRate(FrameRate{60, 1}), "60");
  EXPECT_EQ(FormatFrameRate(FrameRate{2997, 100}), "29.97");
  EXPECT_EQ(FormatFrameRate(FrameRate{2997, 125}), "23.976");
  EXPECT_EQ(FormatFrameRate(FrameRate{1, 2}), "0.5");
  EXPECT_EQ(FormatFrameRate(FrameRate{30000, 1001}), "30000/1001");
}

TEST(FrameTimes, AreTheFlooredExactTimes) {
  struct Case {
    FrameRate rate;
    uint64_t index;
    uint64_t ms;
  };
  const Case cases[] = {
      {{60, 1}, 0, 0},           {{60, 1}, 1, 16},          {{60, 1}, 3, 50},
      {{60, 1}, 6331, 105516},   {{30, 1}, 1, 33},          {{30, 1}, 3, 100},
      {{2997, 100}, 1, 33},      {{2997, 100}, 2997, 100000}, {{2997, 100}, 2998, 100033},
      {{30000, 1001}, 30000, 1001000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FrameTimeMs(c.rate, c.index), c.ms) << FormatFrameRate(c.rate) << " frame " << c.index;
  }
}

TEST(FrameTimes, FirstFrameAtOrAfterAgreesWithFrameTimes) {
  const FrameRate rates[] = {{60, 1}, {30, 1}, {2997, 100}, {30000, 1001}, {1, 2}, {1000, 1}, {24, 1}};
  for (const FrameRate& rate : rates) {
    for (uint64_t ms = 0; ms <= 5000; ms += 7) {
      const uint64_t first = FirstFrameAtOrAfter(rate, ms);
      EXPECT_GE(FrameTimeMs(rate, first), ms) << FormatFrameRate(rate) << " at " << ms;
      if (first > 0) {
        EXPECT_LT(FrameTimeMs(rate, first - 1), ms) << FormatFrameRate(rate) << " at " << ms;
      }
    }
  }
}

TEST(FrameTimes, WholeShowFrameCounts) {
  // Frames at show times 0 <= t < 105532.
  EXPECT_EQ(FirstFrameAtOrAfter(FrameRate{60, 1}, 105532), 6332u);
  EXPECT_EQ(FirstFrameAtOrAfter(FrameRate{30, 1}, 105532), 3166u);
  EXPECT_EQ(FirstFrameAtOrAfter(FrameRate{2997, 100}, 105532), 3163u);
  EXPECT_EQ(FirstFrameAtOrAfter(FrameRate{30, 1}, 2000), 60u);
}

TEST(FrameTimes, SampleOfAFrameStartIsExact) {
  EXPECT_EQ(FrameStartSample(FrameRate{30, 1}, 30, 48000), 48000);
  EXPECT_EQ(FrameStartSample(FrameRate{30, 1}, 1, 48000), 1600);
  // 29.97: frame 2997 starts at exactly 100 s.
  EXPECT_EQ(FrameStartSample(FrameRate{2997, 100}, 2997, 48000), 4800000);
  EXPECT_EQ(FrameStartSample(FrameRate{2997, 100}, 1, 48000), 1601);  // 1601.6 rounded down
  EXPECT_EQ(FrameStartSample(FrameRate{30000, 1001}, 3163, 48000), 5065860);
}

}  // namespace
