// Entry point, window procedure and main loop.
#include <windows.h>

#include "app/build_config.h"
#include "app/main_loop.h"
#include "app/startup.h"
#include "gfx/device.h"
#include "show/frame.h"
#include "show/loading.h"

DWORD g_ShowStartTick = 0;
DWORD g_ShowTime = 0;
HWND g_hWnd = nullptr;
char g_WindowsDir[260] = {};

namespace {

const char kClassName[] = "D3D9APP";
const char kWindowTitle[] = "VORNEL (R3)";

// Nothing can be drawn without these, so a failure ends the program before
// anything goes through a null pointer.
bool Fail(const char* what) {
  MessageBoxA(nullptr, what, "Error", MB_OK);
  return false;
}

}  // namespace

LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      ReleaseDevice();
      PostQuitMessage(0);
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) {
        ReleaseDevice();
        PostQuitMessage(0);
      }
      return DefWindowProcA(hwnd, message, wParam, lParam);
    default:
      return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

bool CreateShowWindow(HINSTANCE instance) {
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof(WNDCLASSEXA);
  wc.style = CS_CLASSDC;
  wc.lpfnWndProc = WndProc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = instance;
  wc.hIcon = nullptr;
  wc.hCursor = nullptr;
  wc.hbrBackground = nullptr;
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = kClassName;
  wc.hIconSm = nullptr;
  if (!RegisterClassExA(&wc)) return Fail("The window class could not be registered.");

  RECT rect = {0, 0, kScreenWidth, kScreenHeight};
  AdjustWindowRectEx(&rect, WS_OVERLAPPEDWINDOW, FALSE, 0);
  HWND window = CreateWindowExA(0, kClassName, kWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0,
                                rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                instance, nullptr);
  if (!window) return Fail("The window could not be created.");

  InitDevice(window, kScreenWidth, kScreenHeight, kWindowed);
  if (!g_pD3D) return Fail("Direct3D 9 could not be created.");
  if (!g_pd3dDevice) return Fail("The Direct3D 9 device could not be created.");
  g_pDevice = g_pd3dDevice;
  g_pDevice->SetRenderState(D3DRS_LIGHTING, FALSE);

  g_hWnd = window;
  ShowWindow(window, SW_SHOWDEFAULT);
  UpdateWindow(window);
  InitDeviceState();
  return true;
}

void RunMainLoop() {
  g_ShowStartTick = GetTickCount();
  MSG msg;
  msg.message = 0;
  for (;;) {
    if (g_ShowTime >= kShowLength) break;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    } else {
      g_ShowTime = GetTickCount() - g_ShowStartTick;
      RenderFrame();
    }
    if (msg.message == WM_QUIT) break;
  }
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (!IsWindows10OrLater()) {
    MessageBoxA(nullptr, "Windows 10 required!", "Error", MB_OK);
    return -1;
  }
  GetWindowsDirectoryA(g_WindowsDir, sizeof g_WindowsDir);
  if (!CheckRequiredAssets()) return -1;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (!CreateShowWindow(instance)) return -1;
  RunLoadingSequence();
  RunMainLoop();
  UnregisterClassA(kClassName, instance);
  ExitProcess(0);
}
