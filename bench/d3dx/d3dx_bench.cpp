#include <benchmark/benchmark.h>
#include <d3dx9.h>
#include <standin.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <windows.h>

#include <string>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace {

IDirect3DDevice9* g_device = nullptr;

LRESULT CALLBACK BenchWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

bool StartDevice() {
  StandinSetHeadless(true);
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = BenchWndProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "D3DXBENCH";
  RegisterClassExA(&wc);
  HWND window = CreateWindowExA(0, "D3DXBENCH", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 1920, 1080,
                                nullptr, nullptr, wc.hInstance, nullptr);
  IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
  if (!window || !d3d) return false;
  D3DPRESENT_PARAMETERS pp = {};
  pp.BackBufferWidth = 1920;
  pp.BackBufferHeight = 1080;
  pp.BackBufferFormat = D3DFMT_A8R8G8B8;
  pp.BackBufferCount = 1;
  pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
  pp.Windowed = TRUE;
  pp.EnableAutoDepthStencil = TRUE;
  pp.AutoDepthStencilFormat = D3DFMT_D24X8;
  return SUCCEEDED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                     D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &g_device));
}

void AppendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<unsigned char>*>(context);
  out->insert(out->end(), static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
}

// A 1920 x 1080 picture with detail everywhere, as a lock-screen JPEG.
std::string WriteScreenPicture() {
  std::vector<unsigned char> rgb(1920 * 1080 * 3);
  for (int y = 0; y < 1080; ++y)
    for (int x = 0; x < 1920; ++x) {
      unsigned char* p = &rgb[(static_cast<size_t>(y) * 1920 + x) * 3];
      p[0] = static_cast<unsigned char>(x ^ y);
      p[1] = static_cast<unsigned char>(x * 3 + y);
      p[2] = static_cast<unsigned char>(y * 5);
    }
  std::vector<unsigned char> jpeg;
  stbi_write_jpg_to_func(AppendBytes, &jpeg, 1920, 1080, 3, rgb.data(), 90);
  char path[] = "/tmp/d3dx-bench-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return std::string();
  const bool ok = write(fd, jpeg.data(), jpeg.size()) == static_cast<ssize_t>(jpeg.size());
  close(fd);
  return ok ? path : std::string();
}

void BM_LoadScreenPicture(benchmark::State& state) {
  const std::string path = WriteScreenPicture();
  if (path.empty()) {
    state.SkipWithError("cannot write the picture");
    return;
  }
  for (auto _ : state) {
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(D3DXCreateTextureFromFileA(g_device, path.c_str(), &texture))) {
      state.SkipWithError("load failed");
      break;
    }
    texture->Release();
  }
  unlink(path.c_str());
}
BENCHMARK(BM_LoadScreenPicture)->Unit(benchmark::kMillisecond);

// DrawLabel's calls: Begin, additive blend, transform, DrawTextA, End.
void DrawLabel(ID3DXSprite* sprite, ID3DXFont* font, const char* text, float scale, float x,
               float y) {
  sprite->Begin(D3DXSPRITE_ALPHABLEND | D3DXSPRITE_SORT_TEXTURE);
  g_device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  g_device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  g_device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  D3DXMATRIX s, t, m;
  D3DXMatrixScaling(&s, scale, scale, scale);
  D3DXMatrixTranslation(&t, x, y, 0.0f);
  D3DXMatrixMultiply(&m, &s, &t);
  sprite->SetTransform(&m);
  RECT rect = {0, 0, 1920, 1080};
  font->DrawTextA(sprite, text, -1, &rect, DT_CENTER | DT_NOCLIP, 0xFFFFFFFF);
  sprite->End();
}

void BM_Label(benchmark::State& state, const char* face, INT height, BOOL italic, const char* text,
              float scale, float x, float y) {
  ID3DXSprite* sprite = nullptr;
  ID3DXFont* font = nullptr;
  if (FAILED(D3DXCreateSprite(g_device, &sprite)) ||
      FAILED(D3DXCreateFontA(g_device, height, 0, 0, 1, italic, 1, 0, 0, 0, face, &font))) {
    state.SkipWithError("no font or sprite");
    return;
  }
  g_device->BeginScene();
  DrawLabel(sprite, font, text, scale, x, y);  // glyphs rendered once, outside the timing
  for (auto _ : state) DrawLabel(sprite, font, text, scale, x, y);
  g_device->EndScene();
  font->Release();
  sprite->Release();
}
BENCHMARK_CAPTURE(BM_Label, LoadingLine, "Arial", -48, TRUE, "rendering background pictures", 1.0f,
                  0.0f, 440.0f)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Label, VersePictogram, "Webdings", -512, FALSE, "\x5F", 0.5f, 1110.0f, 120.0f)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (!StartDevice()) {
    fprintf(stderr, "d3dx_bench: no device\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
