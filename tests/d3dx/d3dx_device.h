// One headless window and device shared by the D3DX tests, made before the
// first test.
#pragma once

#include <d3d9.h>

constexpr UINT kTestWidth = 320;
constexpr UINT kTestHeight = 200;

IDirect3DDevice9* TestDevice();

// The reference count of an object, without changing it.
ULONG References(IUnknown* object);
