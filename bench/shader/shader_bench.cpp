// What a span of 1920 pixels costs through RunPixelShader for the show's
// TexturePS, beside the loop the rasteriser can use once the classifier has
// recognised the program; and what compiling the show's source costs.
#include <benchmark/benchmark.h>

#include <d3dx9.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "d3d9/shader_program.h"

namespace {

constexpr int kSpan = 1920;

std::string ShowSource() {
  std::ifstream file(SHOW_SHADER_FILE, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::unique_ptr<standin::ShaderProgram> CompileTexturePS() {
  const std::string source = ShowSource();
  ID3DXBuffer* code = nullptr;
  if (FAILED(D3DXCompileShader(source.data(), static_cast<UINT>(source.size()), nullptr, nullptr,
                               "TexturePS", "ps_3_0", 0, &code, nullptr, nullptr)))
    return nullptr;
  auto program = std::make_unique<standin::ShaderProgram>();
  const bool ok = standin::DecodePixelShader(static_cast<const DWORD*>(code->GetBufferPointer()),
                                             program.get(), nullptr, 0);
  code->Release();
  return ok ? std::move(program) : nullptr;
}

// A cheap stand-in for the device's sampler, so that the interpreter's own
// cost shows.
struct Texels {
  std::vector<float> rgba = std::vector<float>(256 * 4, 0.5f);
};
void Sample(void* context, uint32_t, const float coords[4], float rgba[4]) {
  const Texels* t = static_cast<const Texels*>(context);
  const int i = static_cast<int>(coords[0] * 255.0f) & 255;
  for (int c = 0; c < 4; ++c) rgba[c] = t->rgba[i * 4 + c];
}

void BM_InterpretTexturePSSpan(benchmark::State& state) {
  auto program = CompileTexturePS();
  if (!program) {
    state.SkipWithError("TexturePS did not compile");
    return;
  }
  static float constants[standin::kMaxShaderConstants][4] = {{1.0f, 0.5f, 0.25f, 1.0f}};
  standin::PixelShaderInputs inputs{};
  Texels texels;
  std::vector<float> out(kSpan * 4);
  for (auto _ : state) {
    for (int x = 0; x < kSpan; ++x) {
      inputs.texcoord[0][0] = static_cast<float>(x) / kSpan;
      standin::RunPixelShader(*program, constants, inputs, Sample, &texels, &out[x * 4]);
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * kSpan);
}
BENCHMARK(BM_InterpretTexturePSSpan);

void BM_ClassifiedTexturePSSpan(benchmark::State& state) {
  auto program = CompileTexturePS();
  if (!program ||
      standin::ClassifyPixelShader(*program).pattern != standin::kPatternConstantTimesTexture) {
    state.SkipWithError("TexturePS not recognised");
    return;
  }
  const float color[4] = {1.0f, 0.5f, 0.25f, 1.0f};
  Texels texels;
  std::vector<float> out(kSpan * 4);
  for (auto _ : state) {
    for (int x = 0; x < kSpan; ++x) {
      const float coords[4] = {static_cast<float>(x) / kSpan, 0.0f, 0.0f, 1.0f};
      float s[4];
      Sample(&texels, 0, coords, s);
      for (int c = 0; c < 4; ++c) out[x * 4 + c] = color[c] * s[c];
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * kSpan);
}
BENCHMARK(BM_ClassifiedTexturePSSpan);

void BM_CompileShowSource(benchmark::State& state) {
  const std::string source = ShowSource();
  for (auto _ : state) {
    ID3DXBuffer* code = nullptr;
    ID3DXConstantTable* table = nullptr;
    D3DXCompileShader(source.data(), static_cast<UINT>(source.size()), nullptr, nullptr,
                      "TexturePS", "ps_3_0", 0, &code, nullptr, &table);
    if (code) code->Release();
    if (table) table->Release();
  }
}
BENCHMARK(BM_CompileShowSource);

}  // namespace
