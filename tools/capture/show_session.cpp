#include "show_session.h"

#include <standin.h>
#include <windows.h>

#include "app/main_loop.h"
#include "app/startup.h"

bool StartShowHeadless() {
  StandinSetHeadless(true);
  StandinUseVirtualClock(0);
  StandinSetSoundOutputEnabled(false);
  GetWindowsDirectoryA(g_WindowsDir, sizeof g_WindowsDir);
  // Both report on standard error through the stand-in's message box.
  if (!CheckRequiredAssets()) return false;
  return CreateShowWindow(GetModuleHandleA(nullptr));
}
