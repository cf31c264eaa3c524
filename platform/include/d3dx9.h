// The D3DX 9 subset that the show uses on Linux, from the documented API.
#pragma once

#include <d3d9.h>

#define D3DX_DEFAULT ((UINT)-1)
#define D3DX_DEFAULT_NONPOW2 ((UINT)-2)

#define MAKE_D3DXHRESULT(code) ((HRESULT)(0x88760000u | (code)))
#define D3DXERR_CANNOTMODIFYINDEXBUFFER MAKE_D3DXHRESULT(2900)
#define D3DXERR_INVALIDDATA MAKE_D3DXHRESULT(2905)

typedef struct D3DXVECTOR4 {
  D3DXVECTOR4() = default;
  D3DXVECTOR4(FLOAT vx, FLOAT vy, FLOAT vz, FLOAT vw) : x(vx), y(vy), z(vz), w(vw) {}
  operator FLOAT*() { return &x; }
  operator const FLOAT*() const { return &x; }
  FLOAT x, y, z, w;
} D3DXVECTOR4;

typedef struct D3DXMATRIX : public D3DMATRIX {
  D3DXMATRIX() = default;
  FLOAT& operator()(UINT row, UINT col) { return m[row][col]; }
  FLOAT operator()(UINT row, UINT col) const { return m[row][col]; }
} D3DXMATRIX;

D3DXMATRIX* WINAPI D3DXMatrixIdentity(D3DXMATRIX* out);
D3DXMATRIX* WINAPI D3DXMatrixScaling(D3DXMATRIX* out, FLOAT sx, FLOAT sy, FLOAT sz);
D3DXMATRIX* WINAPI D3DXMatrixTranslation(D3DXMATRIX* out, FLOAT x, FLOAT y, FLOAT z);
D3DXMATRIX* WINAPI D3DXMatrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1, const D3DXMATRIX* m2);

// Buffers and shader compilation.
struct ID3DXBuffer : IUnknown {
  virtual LPVOID GetBufferPointer() = 0;
  virtual DWORD GetBufferSize() = 0;

 protected:
  ~ID3DXBuffer() = default;
};
typedef ID3DXBuffer* LPD3DXBUFFER;

typedef LPCSTR D3DXHANDLE;

typedef struct _D3DXMACRO {
  LPCSTR Name;
  LPCSTR Definition;
} D3DXMACRO;

struct ID3DXInclude;
typedef ID3DXInclude* LPD3DXINCLUDE;

struct ID3DXConstantTable : IUnknown {
  virtual LPVOID GetBufferPointer() = 0;
  virtual DWORD GetBufferSize() = 0;
  virtual D3DXHANDLE GetConstantByName(D3DXHANDLE constant, LPCSTR name) = 0;
  virtual UINT GetSamplerIndex(D3DXHANDLE constant) = 0;
  virtual HRESULT SetDefaults(LPDIRECT3DDEVICE9 device) = 0;
  virtual HRESULT SetFloat(LPDIRECT3DDEVICE9 device, D3DXHANDLE constant, FLOAT value) = 0;
  virtual HRESULT SetVector(LPDIRECT3DDEVICE9 device, D3DXHANDLE constant,
                            const D3DXVECTOR4* vector) = 0;

 protected:
  ~ID3DXConstantTable() = default;
};
typedef ID3DXConstantTable* LPD3DXCONSTANTTABLE;

HRESULT WINAPI D3DXCompileShader(LPCSTR srcData, UINT srcDataLen, const D3DXMACRO* defines,
                                 LPD3DXINCLUDE include, LPCSTR functionName, LPCSTR profile,
                                 DWORD flags, LPD3DXBUFFER* shader, LPD3DXBUFFER* errorMsgs,
                                 LPD3DXCONSTANTTABLE* constantTable);

// Textures from files.
HRESULT WINAPI D3DXCreateTextureFromFileA(LPDIRECT3DDEVICE9 device, LPCSTR srcFile,
                                          LPDIRECT3DTEXTURE9* texture);

// Sprite.
#define D3DXSPRITE_DONOTSAVESTATE (1 << 0)
#define D3DXSPRITE_DONOTMODIFY_RENDERSTATE (1 << 1)
#define D3DXSPRITE_OBJECTSPACE (1 << 2)
#define D3DXSPRITE_BILLBOARD (1 << 3)
#define D3DXSPRITE_ALPHABLEND (1 << 4)
#define D3DXSPRITE_SORT_TEXTURE (1 << 5)
#define D3DXSPRITE_SORT_DEPTH_FRONTTOBACK (1 << 6)
#define D3DXSPRITE_SORT_DEPTH_BACKTOFRONT (1 << 7)
#define D3DXSPRITE_DO_NOT_ADDREF_TEXTURE (1 << 8)

typedef struct D3DXVECTOR3 {
  FLOAT x, y, z;
} D3DXVECTOR3;

struct ID3DXSprite : IUnknown {
  virtual HRESULT GetDevice(LPDIRECT3DDEVICE9* device) = 0;
  virtual HRESULT GetTransform(D3DXMATRIX* transform) = 0;
  virtual HRESULT SetTransform(const D3DXMATRIX* transform) = 0;
  virtual HRESULT Begin(DWORD flags) = 0;
  virtual HRESULT Draw(LPDIRECT3DTEXTURE9 texture, const RECT* srcRect, const D3DXVECTOR3* center,
                       const D3DXVECTOR3* position, D3DCOLOR color) = 0;
  virtual HRESULT Flush() = 0;
  virtual HRESULT End() = 0;
  virtual HRESULT OnLostDevice() = 0;
  virtual HRESULT OnResetDevice() = 0;

 protected:
  ~ID3DXSprite() = default;
};
typedef ID3DXSprite* LPD3DXSPRITE;

HRESULT WINAPI D3DXCreateSprite(LPDIRECT3DDEVICE9 device, LPD3DXSPRITE* sprite);

// Fonts.
#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_NOCLIP 0x00000100
#define DT_CALCRECT 0x00000400

#define FW_DONTCARE 0
#define FW_NORMAL 400
#define FW_BOLD 700
#define DEFAULT_CHARSET 1
#define SYMBOL_CHARSET 2
#define OUT_DEFAULT_PRECIS 0
#define DEFAULT_QUALITY 0
#define ANTIALIASED_QUALITY 4
#define DEFAULT_PITCH 0
#define FF_DONTCARE 0

typedef struct _D3DXFONT_DESCA {
  INT Height;
  UINT Width;
  UINT Weight;
  UINT MipLevels;
  BOOL Italic;
  BYTE CharSet;
  BYTE OutputPrecision;
  BYTE Quality;
  BYTE PitchAndFamily;
  CHAR FaceName[32];
} D3DXFONT_DESCA;

struct ID3DXFont : IUnknown {
  virtual HRESULT GetDevice(LPDIRECT3DDEVICE9* device) = 0;
  virtual HRESULT GetDescA(D3DXFONT_DESCA* desc) = 0;
  virtual INT DrawTextA(LPD3DXSPRITE sprite, LPCSTR string, INT count, LPRECT rect, DWORD format,
                        D3DCOLOR color) = 0;
  virtual HRESULT OnLostDevice() = 0;
  virtual HRESULT OnResetDevice() = 0;

 protected:
  ~ID3DXFont() = default;
};
typedef ID3DXFont* LPD3DXFONT;

HRESULT WINAPI D3DXCreateFontA(LPDIRECT3DDEVICE9 device, INT height, UINT width, UINT weight,
                               UINT mipLevels, BOOL italic, DWORD charSet, DWORD outputPrecision,
                               DWORD quality, DWORD pitchAndFamily, LPCSTR faceName,
                               LPD3DXFONT* font);
