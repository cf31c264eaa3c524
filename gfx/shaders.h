// The show's two pixel shaders, compiled at start-up from the embedded HLSL
// source: ColorPS paints vColor, TexturePS paints vColor times the texture
// bound on stage 0.
#pragma once

#include <stddef.h>

#include <d3d9.h>
#include <d3dx9.h>

// assets/shaders.hlsl, embedded at build time; no terminating NUL.
extern const unsigned char g_ShaderSource[];
extern const unsigned int g_ShaderSourceSize;

struct CompiledShader {
  IDirect3DPixelShader9* pShader;
  ID3DXConstantTable* pConstantTable;
};

extern CompiledShader g_ColorShader;
extern CompiledShader g_TextureShader;

// Compiles `entry` of g_ShaderSource for ps_3_0 and creates the shader on
// g_pd3dDevice. A null entry gives a record of two nulls. On a compile
// failure it shows the compiler's messages and ends the process with -1.
CompiledShader CompilePixelShader(const char* entry);

// The text for the compile-error box: the compiler's messages, or, when it
// left none, a line naming the entry point written into `fallback`.
const char* ShaderErrorText(ID3DXBuffer* errors, const char* entry, char* fallback,
                            size_t fallbackSize);
