#include "gfx/shaders.h"

#include <stdio.h>
#include <stdlib.h>

#include <windows.h>

#include "app/main_loop.h"
#include "gfx/device.h"

CompiledShader g_ColorShader;
CompiledShader g_TextureShader;

const char* ShaderErrorText(ID3DXBuffer* errors, const char* entry, char* fallback,
                            size_t fallbackSize) {
  if (errors) {
    const char* text = static_cast<const char*>(errors->GetBufferPointer());
    if (text && errors->GetBufferSize() > 0 && text[0] != '\0') return text;
  }
  // A failure without messages would otherwise hand MessageBoxA a null text.
  snprintf(fallback, fallbackSize, "Pixel shader '%s' failed to compile.", entry);
  return fallback;
}

CompiledShader CompilePixelShader(const char* entry) {
  CompiledShader shader = {NULL, NULL};
  if (!entry) return shader;

  ID3DXBuffer* code = NULL;
  ID3DXBuffer* errors = NULL;
  HRESULT hr = D3DXCompileShader(reinterpret_cast<LPCSTR>(g_ShaderSource), g_ShaderSourceSize,
                                 NULL, NULL, entry, "ps_3_0", 0, &code, &errors,
                                 &shader.pConstantTable);
  if (hr != D3D_OK) {
    char fallback[160];
    MessageBoxA(g_hWnd, ShaderErrorText(errors, entry, fallback, sizeof fallback),
                "Pixel shader compile error!", MB_OK);
    exit(-1);
  }
  g_pd3dDevice->CreatePixelShader(static_cast<const DWORD*>(code->GetBufferPointer()),
                                  &shader.pShader);
  code->Release();
  // Warnings of a successful compile are of no use to the show.
  if (errors) errors->Release();
  return shader;
}
