// Renders chosen moments of the show to PNG files, headless and
// deterministic: the show's own start-up and loading run (their waits pass
// on a virtual clock), then for each moment the show clock is set and the
// show's frame function draws it.
//
//   show-capture-<height> [--windir DIR] [--out DIR] --at T [--at T ...]
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
#include "app/startup.h"
#include "png.h"
#include "show/frame.h"
#include "show/loading.h"

namespace {

struct Options {
  std::string windowsDir;
  std::string outDir = ".";
  std::vector<DWORD> times;
};

int Usage(const char* message) {
  std::fprintf(stderr,
               "%s\nusage: show-capture [--windir DIR] [--out DIR] --at T [--at T ...]\n"
               "  --windir DIR  the Windows folder to read pictures and tones from\n"
               "                (default: the WINDIR environment variable)\n"
               "  --out DIR     where frame-T.png files go (default: .)\n"
               "  --at T        a show time in milliseconds; repeatable, in rising order\n",
               message);
  return 2;
}

bool ParseTime(const char* text, DWORD* out) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (errno || *end || text[0] == '-' || value > 0xFFFFFFFFull) return false;
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

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--windir" && value) {
      options.windowsDir = value;
      ++i;
    } else if (arg == "--out" && value) {
      options.outDir = value;
      ++i;
    } else if (arg == "--at" && value) {
      DWORD t;
      if (!ParseTime(value, &t)) return Usage(("not a show time: " + std::string(value)).c_str());
      if (!options.times.empty() && t <= options.times.back())
        return Usage("--at times must rise");
      options.times.push_back(t);
      ++i;
    } else if (arg == "--help" || arg == "-h") {
      return Usage("show-capture: renders moments of the show to PNG");
    } else {
      return Usage(("unknown or incomplete option: " + arg).c_str());
    }
  }
  if (options.times.empty()) return Usage("nothing to capture: give --at T");
  if (!options.windowsDir.empty()) setenv("WINDIR", options.windowsDir.c_str(), 1);
  if (!MakeFolders(options.outDir)) {
    std::fprintf(stderr, "show-capture: cannot make the folder %s\n", options.outDir.c_str());
    return 1;
  }

  StandinSetHeadless(true);
  StandinUseVirtualClock(0);
  StandinSetSoundOutputEnabled(false);

  GetWindowsDirectoryA(g_WindowsDir, sizeof g_WindowsDir);
  if (!CheckRequiredAssets()) return 1;  // the message is on standard error
  if (!CreateShowWindow(GetModuleHandleA(nullptr))) return 1;
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
