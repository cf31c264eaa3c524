#include "show/sound_cues.h"

#include <windows.h>
#include <mmsystem.h>

#include "app/startup.h"

const char* const kSoundCueFiles[kSoundCueCount] = {"Ring03.wav", "Ring05.wav", "Alarm01.wav"};

bool g_SoundCueStarted[kSoundCueCount] = {false, false, false};

void PlaySoundCue(int cue, bool loop) {
  if (cue < 0 || cue >= kSoundCueCount || g_SoundCueStarted[cue]) return;
  char path[260];
  // A Windows folder too long for the path buffer: the file is not opened,
  // and the cue counts as started all the same (it is never retried).
  if (FormatSoundPath(path, sizeof path, kSoundCueFiles[cue])) {
    PlaySoundA(path, nullptr, loop ? (SND_FILENAME | SND_ASYNC | SND_LOOP) : (SND_FILENAME | SND_ASYNC));
  }
  g_SoundCueStarted[cue] = true;
}

void StopSoundCues() { PlaySoundA(nullptr, nullptr, 0); }
