// The WinMM subset the show uses on Linux: PlaySoundA and its flags.
// Names and values match Windows so the show compiles unchanged against
// either this header or the real one.
#pragma once

#include <windows.h>

#define SND_SYNC 0x0000
#define SND_ASYNC 0x0001
#define SND_NODEFAULT 0x0002
#define SND_MEMORY 0x0004
#define SND_LOOP 0x0008
#define SND_NOSTOP 0x0010
#define SND_PURGE 0x0040
#define SND_APPLICATION 0x0080
#define SND_NOWAIT 0x00002000L
#define SND_ALIAS 0x00010000L
#define SND_FILENAME 0x00020000L
#define SND_RESOURCE 0x00040004L
#define SND_SENTRY 0x00080000L
#define SND_ALIAS_ID 0x00110000L
#define SND_RING 0x00100000L
#define SND_SYSTEM 0x00200000L

BOOL WINAPI PlaySoundA(LPCSTR pszSound, HMODULE hmod, DWORD fdwSound);
