#include "d3dx_device.h"

#include <gtest/gtest.h>
#include <standin.h>
#include <windows.h>

namespace {

IDirect3DDevice9* g_device = nullptr;

LRESULT CALLBACK TestWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

class DeviceEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    StandinSetHeadless(true);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = TestWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "D3DXTEST";
    ASSERT_NE(RegisterClassExA(&wc), 0);
    HWND window = CreateWindowExA(0, "D3DXTEST", "d3dx", WS_OVERLAPPEDWINDOW, 0, 0, kTestWidth,
                                  kTestHeight, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS pp = {};
    pp.BackBufferWidth = kTestWidth;
    pp.BackBufferHeight = kTestHeight;
    pp.BackBufferFormat = D3DFMT_A8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24X8;
    ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &g_device),
              D3D_OK);
    d3d->Release();
  }
};

const testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new DeviceEnvironment);

}  // namespace

IDirect3DDevice9* TestDevice() { return g_device; }

ULONG References(IUnknown* object) {
  object->AddRef();
  return object->Release();
}
