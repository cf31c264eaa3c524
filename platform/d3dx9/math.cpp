// D3DX matrices in the row-vector convention: a point p becomes p * M.
#include <d3dx9.h>

#include <cstring>

D3DXMATRIX* WINAPI D3DXMatrixIdentity(D3DXMATRIX* out) {
  if (!out) return nullptr;
  std::memset(out->m, 0, sizeof out->m);
  out->_11 = out->_22 = out->_33 = out->_44 = 1.0f;
  return out;
}

D3DXMATRIX* WINAPI D3DXMatrixScaling(D3DXMATRIX* out, FLOAT sx, FLOAT sy, FLOAT sz) {
  if (!D3DXMatrixIdentity(out)) return nullptr;
  out->_11 = sx;
  out->_22 = sy;
  out->_33 = sz;
  return out;
}

D3DXMATRIX* WINAPI D3DXMatrixTranslation(D3DXMATRIX* out, FLOAT x, FLOAT y, FLOAT z) {
  if (!D3DXMatrixIdentity(out)) return nullptr;
  out->_41 = x;
  out->_42 = y;
  out->_43 = z;
  return out;
}

D3DXMATRIX* WINAPI D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1,
                                      const D3DXMATRIX* m2) {
  if (!out || !m1 || !m2) return nullptr;
  // out may alias either input.
  D3DXMATRIX r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      r.m[i][j] = m1->m[i][0] * m2->m[0][j] + m1->m[i][1] * m2->m[1][j] +
                  m1->m[i][2] * m2->m[2][j] + m1->m[i][3] * m2->m[3][j];
  *out = r;
  return out;
}
