// The stand-in window system on SDL2: window classes and windows, one
// thread's message queue, the default window procedure, message boxes and
// the cursor.
#include <SDL.h>
#include <standin.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "d3d9/device.h"
#include "user32/window.h"

struct StandinWindow {
  std::string className;
  std::string title;
  WNDPROC proc = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  RECT outer{};
  int clientWidth = 0;
  int clientHeight = 0;
  bool alive = true;
  bool visible = false;
  bool fullscreen = false;
  SDL_Window* sdl = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  UINT textureWidth = 0;
  UINT textureHeight = 0;
};

namespace {

struct WindowClass {
  std::string name;
  WNDCLASSEXA wc;
};

std::vector<WindowClass> g_classes;
std::vector<std::unique_ptr<StandinWindow>> g_windows;

// A fixed ring, so posting and peeking never allocate while frames run.
constexpr size_t kQueueCapacity = 4096;
MSG g_queue[kQueueCapacity];
size_t g_queueHead = 0;
size_t g_queueCount = 0;
bool g_quitPosted = false;
int g_quitCode = 0;

int g_headless = -1;  // -1: not decided yet
int g_video = -1;     // -1: not tried yet
int g_cursorCounter = 0;
bool g_keyDown[256] = {};

struct LoggedBox {
  std::string caption;
  std::string text;
  HWND owner;
};
std::vector<LoggedBox> g_boxes;

bool Headless() {
  if (g_headless < 0) {
    const char* env = std::getenv("STANDIN_HEADLESS");
    g_headless = env && env[0] && std::strcmp(env, "0") != 0;
  }
  return g_headless == 1;
}

bool EnsureVideo() {
  if (Headless()) return false;
  if (g_video < 0) {
    g_video = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    if (!g_video)
      std::fprintf(stderr, "standin: no display available (%s)\n", SDL_GetError());
  }
  return g_video == 1;
}

StandinWindow* Live(HWND hwnd) {
  for (auto& w : g_windows)
    if (w.get() == hwnd) return w->alive ? hwnd : nullptr;
  return nullptr;
}

const WindowClass* FindClass(LPCSTR name) {
  if (!name) return nullptr;
  for (const WindowClass& c : g_classes)
    if (SDL_strcasecmp(c.name.c_str(), name) == 0) return &c;
  return nullptr;
}

// The frame Windows 10 draws around a client area at 96 dots per inch.
RECT FrameInsets(DWORD style) {
  RECT r{0, 0, 0, 0};
  LONG border = 0;
  if (style & WS_THICKFRAME)
    border = 8;
  else if ((style & WS_CAPTION) == WS_CAPTION)
    border = 3;
  r.left = r.right = r.bottom = border;
  r.top = border + ((style & WS_CAPTION) == WS_CAPTION ? 23 : 0);
  return r;
}

bool Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_queueCount == kQueueCapacity) return false;
  MSG& m = g_queue[(g_queueHead + g_queueCount) % kQueueCapacity];
  m.hwnd = hwnd;
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = GetTickCount();
  m.pt = POINT{0, 0};
  ++g_queueCount;
  return true;
}

void RemoveAt(size_t index) {
  // Close the gap, keeping the order of the rest.
  for (size_t i = index; i + 1 < g_queueCount; ++i)
    g_queue[(g_queueHead + i) % kQueueCapacity] = g_queue[(g_queueHead + i + 1) % kQueueCapacity];
  --g_queueCount;
}

void PurgeWindow(HWND hwnd) {
  for (size_t i = 0; i < g_queueCount;) {
    if (g_queue[(g_queueHead + i) % kQueueCapacity].hwnd == hwnd)
      RemoveAt(i);
    else
      ++i;
  }
}

HWND WindowFromSdl(Uint32 id) {
  for (auto& w : g_windows)
    if (w->alive && w->sdl && SDL_GetWindowID(w->sdl) == id) return w.get();
  return nullptr;
}

int VirtualKeyFromSdl(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
  if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
  if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + (key - SDLK_F1);
  switch (key) {
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_RETURN: return VK_RETURN;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_TAB: return VK_TAB;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_UP: return VK_UP;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    default: return 0;
  }
}

// Posts a key transition the way Windows' keyboard input arrives: with Alt
// held (or for Alt or F10 itself) as a system key.
void PostKey(HWND hwnd, int vk, bool down, bool alt, bool repeat) {
  const bool system = alt || vk == VK_MENU || vk == 0x79 /* F10 */;
  UINT message;
  if (down)
    message = system ? WM_SYSKEYDOWN : WM_KEYDOWN;
  else
    message = system ? WM_SYSKEYUP : WM_KEYUP;
  LPARAM lParam = 1;
  if (alt) lParam |= LPARAM(1) << 29;
  if (repeat || !down) lParam |= LPARAM(1) << 30;
  if (!down) lParam |= LPARAM(1) << 31;
  Post(hwnd, message, static_cast<WPARAM>(vk), lParam);
}

void PumpSdlEvents() {
  if (g_video != 1) return;
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    switch (e.type) {
      case SDL_WINDOWEVENT:
        if (HWND w = WindowFromSdl(e.window.windowID)) {
          if (e.window.event == SDL_WINDOWEVENT_CLOSE) Post(w, WM_CLOSE, 0, 0);
          if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST)
            standin::DeviceWindowFocusChanged(w, false);
          if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED)
            standin::DeviceWindowFocusChanged(w, true);
        }
        break;
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        HWND w = WindowFromSdl(e.key.windowID);
        const int vk = VirtualKeyFromSdl(e.key.keysym.sym);
        if (w && vk)
          PostKey(w, vk, e.type == SDL_KEYDOWN, (e.key.keysym.mod & KMOD_ALT) != 0,
                  e.key.repeat != 0);
        break;
      }
      default:
        break;
    }
  }
}

char CharacterOf(int vk, bool shift) {
  if (vk >= 'A' && vk <= 'Z') return static_cast<char>(shift ? vk : vk - 'A' + 'a');
  if (vk >= '0' && vk <= '9' && !shift) return static_cast<char>(vk);
  switch (vk) {
    case VK_SPACE: return ' ';
    case VK_RETURN: return '\r';
    case VK_ESCAPE: return 0x1B;
    case VK_BACK: return 0x08;
    case VK_TAB: return '\t';
    default: return 0;
  }
}

void DestroySdl(StandinWindow* w) {
  if (w->texture) SDL_DestroyTexture(w->texture);
  if (w->renderer) SDL_DestroyRenderer(w->renderer);
  if (w->sdl) SDL_DestroyWindow(w->sdl);
  w->texture = nullptr;
  w->renderer = nullptr;
  w->sdl = nullptr;
}

}  // namespace

// --- Internal interface ------------------------------------------------------

bool StandinWindowAlive(HWND window) { return Live(window) != nullptr; }

bool StandinVideoAvailable() { return EnsureVideo(); }

void StandinWindowSetFullscreen(HWND window, bool fullscreen) {
  StandinWindow* w = Live(window);
  if (!w) return;
  w->fullscreen = fullscreen;
  if (!w->sdl) return;
  SDL_Rect bounds;
  if (fullscreen && SDL_GetDisplayBounds(SDL_GetWindowDisplayIndex(w->sdl), &bounds) == 0) {
    // Covers the display by itself too: without a window manager, asking
    // for full screen leaves the window where and as large as it was.
    SDL_SetWindowBordered(w->sdl, SDL_FALSE);
    SDL_SetWindowPosition(w->sdl, bounds.x, bounds.y);
    SDL_SetWindowSize(w->sdl, bounds.w, bounds.h);
  }
  SDL_SetWindowFullscreen(w->sdl, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

void StandinWindowPresent(HWND window, const DWORD* pixels, UINT width, UINT height) {
  StandinWindow* w = Live(window);
  if (!w || !w->sdl || !pixels) return;
  if (!w->renderer) {
    w->renderer = SDL_CreateRenderer(w->sdl, -1, 0);
    if (!w->renderer) return;
  }
  if (!w->texture || w->textureWidth != width || w->textureHeight != height) {
    if (w->texture) SDL_DestroyTexture(w->texture);
    w->texture = SDL_CreateTexture(w->renderer, SDL_PIXELFORMAT_ARGB8888,
                                   SDL_TEXTUREACCESS_STREAMING, static_cast<int>(width),
                                   static_cast<int>(height));
    if (!w->texture) return;
    w->textureWidth = width;
    w->textureHeight = height;
    // Scales the picture to the window, aspect ratio kept, bars black.
    SDL_RenderSetLogicalSize(w->renderer, static_cast<int>(width), static_cast<int>(height));
  }
  SDL_UpdateTexture(w->texture, nullptr, pixels, static_cast<int>(width * sizeof(DWORD)));
  SDL_SetRenderDrawColor(w->renderer, 0, 0, 0, 255);
  SDL_RenderClear(w->renderer);
  SDL_RenderCopy(w->renderer, w->texture, nullptr, nullptr);
  SDL_RenderPresent(w->renderer);
}

// --- Window classes and windows ----------------------------------------------

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* wc) {
  if (!wc || wc->cbSize != sizeof(WNDCLASSEXA) || !wc->lpfnWndProc || !wc->lpszClassName ||
      !wc->lpszClassName[0])
    return 0;
  if (FindClass(wc->lpszClassName)) return 0;
  if (StandinShouldFail(kStandinFailRegisterClass)) return 0;
  g_classes.push_back(WindowClass{wc->lpszClassName, *wc});
  return static_cast<ATOM>(0xC000 + g_classes.size() - 1);
}

BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE) {
  for (size_t i = 0; i < g_classes.size(); ++i) {
    if (SDL_strcasecmp(g_classes[i].name.c_str(), className ? className : "") != 0) continue;
    // Windows refuses while a window of the class still exists.
    for (auto& w : g_windows)
      if (w->alive && SDL_strcasecmp(w->className.c_str(), className) == 0) return FALSE;
    g_classes.erase(g_classes.begin() + static_cast<long>(i));
    return TRUE;
  }
  return FALSE;
}

BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL, DWORD) {
  if (!rect) return FALSE;
  const RECT f = FrameInsets(style);
  rect->left -= f.left;
  rect->top -= f.top;
  rect->right += f.right;
  rect->bottom += f.bottom;
  return TRUE;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND, HMENU, HINSTANCE,
                            LPVOID) {
  const WindowClass* c = FindClass(className);
  if (!c || width < 0 || height < 0) return nullptr;
  if (StandinShouldFail(kStandinFailCreateWindow)) return nullptr;
  const RECT f = FrameInsets(style);
  auto w = std::make_unique<StandinWindow>();
  w->className = c->name;
  w->title = windowName ? windowName : "";
  w->proc = c->wc.lpfnWndProc;
  w->style = style;
  w->exStyle = exStyle;
  w->outer = RECT{x, y, x + width, y + height};
  w->clientWidth = std::max<int>(0, width - f.left - f.right);
  w->clientHeight = std::max<int>(0, height - f.top - f.bottom);
  if (!Headless()) {
    if (!EnsureVideo()) return nullptr;
    w->sdl = SDL_CreateWindow(w->title.c_str(), x + f.left, y + f.top,
                              std::max(1, w->clientWidth), std::max(1, w->clientHeight),
                              SDL_WINDOW_HIDDEN);
    if (!w->sdl) {
      std::fprintf(stderr, "standin: SDL_CreateWindow failed: %s\n", SDL_GetError());
      return nullptr;
    }
  }
  HWND hwnd = w.get();
  g_windows.push_back(std::move(w));
  if (hwnd->proc(hwnd, WM_CREATE, 0, 0) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
  StandinWindow* w = Live(hwnd);
  if (!w) return FALSE;
  w->proc(hwnd, WM_DESTROY, 0, 0);
  w->alive = false;
  w->visible = false;
  DestroySdl(w);
  PurgeWindow(hwnd);
  return TRUE;
}

BOOL WINAPI ShowWindow(HWND hwnd, int cmdShow) {
  StandinWindow* w = Live(hwnd);
  if (!w) return FALSE;
  const BOOL wasVisible = w->visible;
  w->visible = cmdShow != SW_HIDE;
  if (w->sdl) {
    if (w->visible)
      SDL_ShowWindow(w->sdl);
    else
      SDL_HideWindow(w->sdl);
  }
  return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND hwnd) { return Live(hwnd) ? TRUE : FALSE; }

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
  StandinWindow* w = Live(hwnd);
  if (!w || !rect) return FALSE;
  *rect = RECT{0, 0, w->clientWidth, w->clientHeight};
  return TRUE;
}

// --- Messages ----------------------------------------------------------------

BOOL WINAPI PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
  if (!msg) return FALSE;
  PumpSdlEvents();
  const bool anyMessage = filterMin == 0 && filterMax == 0;
  for (size_t i = 0; i < g_queueCount; ++i) {
    const MSG& m = g_queue[(g_queueHead + i) % kQueueCapacity];
    if (hwnd && m.hwnd != hwnd) continue;
    if (!anyMessage && (m.message < filterMin || m.message > filterMax)) continue;
    *msg = m;
    if (removeMsg & PM_REMOVE) {
      if (i == 0) {
        g_queueHead = (g_queueHead + 1) % kQueueCapacity;
        --g_queueCount;
      } else {
        RemoveAt(i);
      }
      if (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN)
        g_keyDown[msg->wParam & 0xFF] = true;
      if (msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP)
        g_keyDown[msg->wParam & 0xFF] = false;
    }
    return TRUE;
  }
  // Once the queue holds nothing else, a posted quit is delivered.
  if (g_quitPosted && (anyMessage || (WM_QUIT >= filterMin && WM_QUIT <= filterMax))) {
    *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(g_quitCode), 0, GetTickCount(), {0, 0}};
    if (removeMsg & PM_REMOVE) g_quitPosted = false;
    return TRUE;
  }
  return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
  if (!msg) return FALSE;
  if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN && msg->message != WM_KEYUP &&
      msg->message != WM_SYSKEYUP)
    return FALSE;
  if (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) {
    const char c = CharacterOf(static_cast<int>(msg->wParam), g_keyDown[VK_SHIFT]);
    if (c)
      Post(msg->hwnd, msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR,
           static_cast<WPARAM>(static_cast<unsigned char>(c)), msg->lParam);
  }
  return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
  if (!msg) return 0;
  StandinWindow* w = Live(msg->hwnd);
  if (!w) return 0;
  return w->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (hwnd && !Live(hwnd)) return FALSE;
  return Post(hwnd, message, wParam, lParam) ? TRUE : FALSE;
}

LRESULT WINAPI SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  StandinWindow* w = Live(hwnd);
  if (!w) return 0;
  return w->proc(hwnd, message, wParam, lParam);
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_SYSKEYDOWN:
      // Alt+F4 asks the window to close, as the system menu's Close does.
      if (wParam == VK_F4 && (lParam & (LPARAM(1) << 29)))
        SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(hwnd, WM_CLOSE, 0, 0);
      return 0;
    default:
      return 0;
  }
}

void WINAPI PostQuitMessage(int exitCode) {
  g_quitPosted = true;
  g_quitCode = exitCode;
}

// --- Message boxes, cursor, rectangles -----------------------------------------

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT) {
  const char* t = text ? text : "";
  const char* c = caption ? caption : "Error";
  g_boxes.push_back(LoggedBox{c, t, owner});
  std::fprintf(stderr, "%s: %s\n", c, t);
  std::fflush(stderr);
  if (EnsureVideo()) {
    StandinWindow* w = Live(owner);
    SDL_ShowSimpleMessageBox(0, c, t, w ? w->sdl : nullptr);
  }
  return IDOK;
}

int WINAPI ShowCursor(BOOL show) {
  g_cursorCounter += show ? 1 : -1;
  if (g_video == 1) SDL_ShowCursor(g_cursorCounter >= 0 ? SDL_ENABLE : SDL_DISABLE);
  return g_cursorCounter;
}

BOOL WINAPI SetRect(LPRECT rect, int left, int top, int right, int bottom) {
  if (!rect) return FALSE;
  *rect = RECT{left, top, right, bottom};
  return TRUE;
}

// --- Test interface --------------------------------------------------------------

void StandinSetHeadless(bool headless) { g_headless = headless ? 1 : 0; }

bool StandinIsHeadless() { return Headless(); }

HWND StandinMainWindow() {
  for (auto& w : g_windows)
    if (w->alive) return w.get();
  return nullptr;
}

void StandinPressKey(int virtualKey, bool alt) {
  HWND w = StandinMainWindow();
  if (!w) return;
  PostKey(w, virtualKey, true, alt, false);
  PostKey(w, virtualKey, false, alt, false);
}

void StandinCloseWindow(HWND window) {
  if (Live(window)) Post(window, WM_CLOSE, 0, 0);
}

bool StandinWindowClientSize(HWND window, int* width, int* height) {
  StandinWindow* w = Live(window);
  if (!w) return false;
  if (width) *width = w->clientWidth;
  if (height) *height = w->clientHeight;
  return true;
}

bool StandinWindowOuterRect(HWND window, RECT* rect) {
  StandinWindow* w = Live(window);
  if (!w || !rect) return false;
  *rect = w->outer;
  return true;
}

const char* StandinWindowTitle(HWND window) {
  StandinWindow* w = Live(window);
  return w ? w->title.c_str() : nullptr;
}

bool StandinWindowVisible(HWND window) {
  StandinWindow* w = Live(window);
  return w && w->visible;
}

bool StandinWindowFullscreen(HWND window) {
  StandinWindow* w = Live(window);
  return w && w->fullscreen;
}

int StandinCursorCounter() { return g_cursorCounter; }

DWORD StandinMessageBoxCount() { return static_cast<DWORD>(g_boxes.size()); }

bool StandinMessageBoxAt(DWORD index, StandinMessageBox* box) {
  if (!box || index >= g_boxes.size()) return false;
  const LoggedBox& b = g_boxes[index];
  *box = StandinMessageBox{b.caption.c_str(), b.text.c_str(), b.owner};
  return true;
}
