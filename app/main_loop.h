// The program's life: window, show clock and main loop.
#pragma once

#include <windows.h>

// The show clock value, in milliseconds, at which the show ends.
constexpr DWORD kShowLength = 105532;

extern DWORD g_ShowStartTick;
// Milliseconds since g_ShowStartTick; written only by the main loop, right
// before each frame.
extern DWORD g_ShowTime;
extern HWND g_hWnd;
// The Windows folder, root of every system file path.
extern char g_WindowsDir[260];

LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Registers the window class, creates the window and the device and puts the
// device into its start-up state. Shows a message box and returns false
// when the window or the device cannot be made.
bool CreateShowWindow(HINSTANCE instance);

// Starts the show clock and runs the message pump until the show ends.
void RunMainLoop();
