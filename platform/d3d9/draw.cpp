// The device's drawing calls: DrawPrimitiveUP and pixel shader creation.
#include <stdio.h>

#include "d3d9/device.h"
#include "d3d9/raster.h"
#include "d3d9/shader_program.h"

namespace standin {
namespace {

// More than any caps of the era allowed in one call.
constexpr UINT kMaxPrimitiveCount = 1u << 20;

uint64_t g_shaderSerial = 0;

// A rejected call says why once, as the debug runtime would; the same
// mistake made every frame does not flood the output.
HRESULT Reject(const char* call, const char* reason) {
  static const char* reported[32];
  static int reportedCount = 0;
  for (int i = 0; i < reportedCount; ++i)
    if (reported[i] == reason) return D3DERR_INVALIDCALL;
  if (reportedCount < 32) reported[reportedCount++] = reason;
  fprintf(stderr, "Direct3D 9 (stand-in): %s failed: %s\n", call, reason);
  return D3DERR_INVALIDCALL;
}

}  // namespace

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                                UINT vertexStride) {
  const char* call = "DrawPrimitiveUP";
  if (!vertexData) return Reject(call, "no vertex data");
  if (vertexStride == 0) return Reject(call, "vertex stride 0");
  if (!inScene) return Reject(call, "drawing outside BeginScene/EndScene");
  if (type != D3DPT_TRIANGLELIST && type != D3DPT_TRIANGLESTRIP && type != D3DPT_TRIANGLEFAN) {
    if (type == D3DPT_POINTLIST || type == D3DPT_LINELIST || type == D3DPT_LINESTRIP)
      return Reject(call, "points and lines are not drawn by the stand-in");
    return Reject(call, "unknown primitive type");
  }
  // Nothing to draw is not an error.
  if (primitiveCount == 0) return D3D_OK;
  if (primitiveCount > kMaxPrimitiveCount) return Reject(call, "too many primitives in one call");
  VertexLayout layout;
  const char* reason = nullptr;
  if (!DecodeVertexFormat(fvf, &layout, &reason)) return Reject(call, reason);
  if (vertexStride < layout.size) return Reject(call, "vertex stride smaller than the vertex format");
  if (lost) return D3D_OK;
  RasterizePrimitives(*this, type, primitiveCount, static_cast<const BYTE*>(vertexData),
                      vertexStride, layout);
  return D3D_OK;
}

HRESULT Device::CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) {
  if (!shader) return D3DERR_INVALIDCALL;
  *shader = nullptr;
  if (!function) return Reject("CreatePixelShader", "no shader code");
  PixelShader* created = new PixelShader();
  char error[200];
  if (!DecodePixelShader(function, &created->program, error, sizeof error)) {
    fprintf(stderr, "Direct3D 9 (stand-in): CreatePixelShader failed: %s\n", error);
    delete created;
    return D3DERR_INVALIDCALL;
  }
  created->shape = ClassifyPixelShader(created->program);
  created->tokens.assign(function, function + created->program.tokenCount);
  created->serial = ++g_shaderSerial;
  created->device = this;
  AddRef();
  *shader = created;
  return D3D_OK;
}

}  // namespace standin
