// Every frame of the show at 50 ms steps, under a counting allocator: only
// the first frame of a stretch may allocate (starting a sound, a system-font
// glyph drawn for the first time); every later frame draws from what exists.
#include <gtest/gtest.h>
#include <standin.h>

#include <string>

#include "app/main_loop.h"
#include "show/frame.h"
#include "show/loading.h"
#include "support/counting_malloc.h"
#include "support/show_start.h"
#include "support/temp_dir.h"

namespace {

// The stretches a frame may belong to; each verse is one of its own, since
// each shows its own picture and pictogram.
int StretchId(DWORD t) {
  switch (StretchAt(t)) {
    case kStretchLeadIn: return 0;
    case kStretchIntro: return 1;
    case kStretchGap: return 2;
    case kStretchVerses: return 3 + static_cast<int>((t - kVerseStart) / kVersePeriod);
    case kStretchFinale: return t < 101532 ? 10 : 11;
  }
  return -1;
}

TEST(FrameAllocations, OnlyTheFirstFrameOfAStretchAllocates) {
  const std::string folder = testdir::Make("frame-alloc");
  ASSERT_TRUE(showtest::WriteWindowsFolder(folder));
  ASSERT_TRUE(showtest::StartShow(folder));
  RunLoadingSequence();

  int stretch = -1;
  int framesChecked = 0;
  for (DWORD t = 0; t <= kShowLength; t += 50) {
    const bool first = StretchId(t) != stretch;
    stretch = StretchId(t);
    g_ShowTime = t;
    const size_t allocated = countingmalloc::During(RenderFrame);
    if (!first) {
      EXPECT_EQ(allocated, 0u) << "the frame at show time " << t << " allocated";
      ++framesChecked;
    }
  }
  EXPECT_GT(framesChecked, 2000);
  testdir::Remove(folder);
}

TEST(FrameAllocations, TheCounterSeesAllocations) {
  const size_t before = countingmalloc::Allocations();
  std::string grown(1000, 'x');
  EXPECT_GT(countingmalloc::Allocations(), before);
}

}  // namespace
