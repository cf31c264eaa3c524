// Timed fades: a full-screen quad of flat colour over the frame while the
// show clock lies in [start, end), its colour moving linearly from one colour
// to the other across that window.
#pragma once

#include <windows.h>
#include <d3dx9.h>

// Does nothing at all (no state is touched) when g_ShowTime is outside
// [start, end); otherwise draws through ColorPS with blending SRCALPHA /
// INVSRCALPHA and switches blending off again.
void DrawTimedFade(DWORD start, DWORD end, D3DXVECTOR4 fromRGBA, D3DXVECTOR4 toRGBA);
