// Captures the show headless and deterministically: the show's own start-up
// and loading run (their waits pass on a virtual clock), then the show
// clock is set for each frame and the show's frame function draws it.
//
//   show-capture-<height> [--windir DIR] [--out DIR] --at T [--at T ...]
//       chosen moments as PNG files
//   show-capture-<height> [--windir DIR] --video FILE [--fps N] [--from T]
//                         [--to T] [--with-loading] [--quiet]
//       every frame at a fixed rate as an MP4 file with the show's sound
#include <errno.h>
#include <standin.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/main_loop.h"
#include "frame_clock.h"
#include "png.h"
#include "show/frame.h"
#include "show/loading.h"
#include "show_session.h"
#include "video_capture.h"

namespace {

struct Options {
  std::string windowsDir;
  std::string outDir = ".";
  bool outGiven = false;
  std::vector<DWORD> times;
  bool video = false;
  bool fpsGiven = false;
  bool fromGiven = false;
  bool toGiven = false;
  VideoOptions videoOptions;
};

int Usage(const std::string& message) {
  std::fprintf(stderr,
               "%s\n"
               "usage: show-capture [--windir DIR] [--out DIR] --at T [--at T ...]\n"
               "       show-capture [--windir DIR] --video FILE [--fps N] [--from T] [--to T]\n"
               "                    [--with-loading] [--quiet]\n"
               "  --windir DIR     the Windows folder to read pictures and tones from\n"
               "                   (default: the WINDIR environment variable)\n"
               "  --out DIR        where frame-T.png files go (default: .)\n"
               "  --at T           a show time in milliseconds; repeatable, in rising order\n"
               "  --video FILE     the whole show as an MP4 file (H.264 and AAC) with its sound\n"
               "  --fps N          frames a second of the video: 60 (default), 30, 29.97, 30000/1001\n"
               "  --from T, --to T only the show times T from <= T < to (default 0 and %u)\n"
               "  --with-loading   the loading screen first, for as long as the program shows it\n"
               "  --quiet          no progress line\n",
               message.c_str(), static_cast<unsigned>(kShowLength));
  return 2;
}

bool ParseTime(const char* text, DWORD* out) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (errno || *end || text[0] == '-' || text[0] == '+' || text[0] == ' ' || value > 0xFFFFFFFFull) return false;
  *out = static_cast<DWORD>(value);
  return true;
}

bool MakeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i != path.size() && path[i] != '/') continue;
    const std::string prefix = path.substr(0, i);
    struct stat info;
    if (stat(prefix.c_str(), &info) == 0) {
      if (!S_ISDIR(info.st_mode)) return false;
    } else if (mkdir(prefix.c_str(), 0755) != 0) {
      return false;
    }
  }
  return true;
}

void ReportSounds(size_t* seen, DWORD showTime) {
  for (; *seen < StandinSoundCallCount(); ++*seen) {
    const StandinSoundCallRecord call = StandinSoundCall(*seen);
    if (call.nameIsNull)
      std::printf("sound %u: stop (PlaySoundA(NULL, NULL, 0x%x))\n", showTime, call.flags);
    else
      std::printf("sound %u: PlaySoundA(\"%s\", NULL, 0x%x)\n", showTime, call.name.c_str(),
                  call.flags);
  }
}

// Returns 0 when the options are complete, else the exit code of a usage
// error (already said).
int Parse(int argc, char** argv, Options* options) {
  VideoOptions& video = options->videoOptions;
  video.to = kShowLength;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    DWORD t = 0;
    if (arg == "--windir" && value) {
      options->windowsDir = value;
      ++i;
    } else if (arg == "--out" && value) {
      options->outDir = value;
      options->outGiven = true;
      ++i;
    } else if (arg == "--at" && value) {
      if (!ParseTime(value, &t)) return Usage("not a show time: " + std::string(value));
      if (!options->times.empty() && t <= options->times.back()) return Usage("--at times must rise");
      options->times.push_back(t);
      ++i;
    } else if (arg == "--video" && value) {
      if (!*value) return Usage("--video needs a file name");
      video.path = value;
      options->video = true;
      ++i;
    } else if (arg == "--fps" && value) {
      std::string reason;
      if (!ParseFrameRate(value, &video.rate, &reason))
        return Usage("--fps " + std::string(value) + ": " + reason);
      options->fpsGiven = true;
      ++i;
    } else if ((arg == "--from" || arg == "--to") && value) {
      if (!ParseTime(value, &t)) return Usage("not a show time: " + std::string(value));
      if (arg == "--from") {
        video.from = t;
        options->fromGiven = true;
      } else {
        video.to = t;
        options->toGiven = true;
      }
      ++i;
    } else if (arg == "--with-loading") {
      video.withLoading = true;
    } else if (arg == "--quiet") {
      video.quiet = true;
    } else if (arg == "--help" || arg == "-h") {
      return Usage("show-capture: renders the show headless to PNG frames or an MP4 video");
    } else {
      return Usage("unknown or incomplete option: " + arg);
    }
  }
  const bool videoOnly = options->fpsGiven || options->fromGiven || options->toGiven || video.withLoading ||
                         video.quiet;
  if (!options->video) {
    if (videoOnly) return Usage("--fps, --from, --to, --with-loading and --quiet go with --video FILE");
    if (options->times.empty()) return Usage("nothing to capture: give --at T or --video FILE");
    return 0;
  }
  if (!options->times.empty() || options->outGiven) return Usage("--video writes one file: leave out --at and --out");
  if (video.to > kShowLength)
    return Usage("--to " + std::to_string(video.to) + ": the show ends at " + std::to_string(kShowLength));
  if (video.from >= video.to) return Usage("--from must come before --to");
  if (video.withLoading && video.from != 0)
    return Usage("--with-loading starts at the loading screen: leave out --from");
  return 0;
}

int CapturePngs(const Options& options) {
  if (!MakeFolders(options.outDir)) {
    std::fprintf(stderr, "show-capture: cannot make the folder %s\n", options.outDir.c_str());
    return 1;
  }
  if (!StartShowHeadless()) return 1;  // the message is on standard error
  RunLoadingSequence();

  size_t soundsSeen = StandinSoundCallCount();
  for (DWORD t : options.times) {
    g_ShowTime = t;
    RenderFrame();
    ReportSounds(&soundsSeen, t);
    StandinFrame frame;
    const std::string path = options.outDir + "/frame-" + std::to_string(t) + ".png";
    if (!StandinLastFrame(&frame) || !WriteFramePng(path, frame)) {
      std::fprintf(stderr, "show-capture: cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("wrote %s\n", path.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const int usage = Parse(argc, argv, &options);
  if (usage != 0) return usage;
  if (!options.windowsDir.empty()) setenv("WINDIR", options.windowsDir.c_str(), 1);
  if (options.video) return RunVideoCapture(options.videoOptions);
  return CapturePngs(options);
}
