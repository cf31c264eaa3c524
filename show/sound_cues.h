// The show's sound cues: Windows ring tones, each started at most once.
#pragma once

constexpr int kSoundCueCount = 3;
// File names in the Windows media folder, by cue number: 0 loops under the
// verses, 1 plays once at the start of the intro, 2 is never asked for.
extern const char* const kSoundCueFiles[kSoundCueCount];
// Set once a cue has been handed to PlaySoundA; never cleared.
extern bool g_SoundCueStarted[kSoundCueCount];

// Starts `cue` (looping when `loop`) unless it was started before; called
// on every frame in which the cue belongs.
void PlaySoundCue(int cue, bool loop);

// Stops whatever PlaySoundA is playing; started cues stay started.
void StopSoundCues();
