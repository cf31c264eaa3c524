// The HLSL compiler on arbitrary source text: it must fail cleanly or
// produce a program that the device's decoder accepts and the interpreter
// runs. Both of the show's entry points are compiled from every input; the
// input is also compiled as the body of an entry point after fixed
// declarations, so that more inputs get as far as code generation.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include <d3dx9.h>

#include "d3d9/shader_program.h"

namespace {

void Sample(void*, uint32_t, const float coords[4], float rgba[4]) {
  rgba[0] = coords[0];
  rgba[1] = coords[1];
  rgba[2] = 0.5f;
  rgba[3] = 1.0f;
}

standin::ShaderProgram g_program;

void CompileAndCheck(const char* source, UINT length, const char* entry, const char* profile) {
  ID3DXBuffer* code = nullptr;
  ID3DXBuffer* errors = nullptr;
  ID3DXConstantTable* table = nullptr;
  const HRESULT hr = D3DXCompileShader(source, length, nullptr, nullptr, entry, profile, 0, &code,
                                       &errors, &table);
  if (errors) {
    // Always NUL terminated.
    const char* text = static_cast<const char*>(errors->GetBufferPointer());
    if (errors->GetBufferSize() == 0 || text[errors->GetBufferSize() - 1] != '\0') __builtin_trap();
    errors->Release();
  }
  if (FAILED(hr)) {
    if (code || table) __builtin_trap();
    return;
  }
  if (!code || !table) __builtin_trap();
  char reason[200];
  if (!standin::DecodePixelShader(static_cast<const DWORD*>(code->GetBufferPointer()), &g_program,
                                  reason, sizeof reason))
    __builtin_trap();
  if (g_program.tokenCount * sizeof(DWORD) != code->GetBufferSize()) __builtin_trap();
  static float constants[standin::kMaxShaderConstants][4];
  standin::PixelShaderInputs inputs;
  memset(&inputs, 0, sizeof inputs);
  float out[4];
  standin::RunPixelShader(g_program, constants, inputs, Sample, nullptr, out);
  standin::ClassifyPixelShader(g_program);
  table->GetSamplerIndex("TextureSampler");
  table->GetConstantByName(nullptr, "vColor");
  code->Release();
  table->Release();
}

const char kPrelude[] =
    "texture g_Texture;\r\n"
    "float4 vColor;\r\n"
    "float4 k = {1, 2, 3, 4};\r\n"
    "float scale;\r\n"
    "sampler TextureSampler = sampler_state { Texture = (g_Texture); MipFilter = LINEAR; };\r\n"
    "sampler2D other;\r\n"
    "struct VS_OUTPUT { float4 Position : POSITION; float2 TextureUV : TEXCOORD0;\r\n"
    "                   float4 Diffuse : COLOR0; };\r\n"
    "struct PS_OUTPUT { float4 RGBColor : COLOR0; };\r\n"
    "PS_OUTPUT FuzzPS(VS_OUTPUT In, float2 uv : TEXCOORD1)\r\n"
    "{\r\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The source has no terminating NUL: the compiler must keep to the length.
  const char* source = reinterpret_cast<const char*>(data);
  CompileAndCheck(source, static_cast<UINT>(size), "ColorPS", "ps_3_0");
  CompileAndCheck(source, static_cast<UINT>(size), "TexturePS", "ps_2_0");
  std::string body = kPrelude;
  body.append(source, size);
  body += "\r\n}\r\n";
  CompileAndCheck(body.data(), static_cast<UINT>(body.size()), "FuzzPS", "ps_3_0");
  return 0;
}
