// The two colours every fade of the show runs between.
#pragma once

#include <d3dx9.h>

inline const D3DXVECTOR4 kOpaqueBlack(0.0f, 0.0f, 0.0f, 1.0f);
inline const D3DXVECTOR4 kClearBlack(0.0f, 0.0f, 0.0f, 0.0f);
