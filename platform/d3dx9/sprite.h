// The stand-in D3DX sprite: batches textured quads and draws them through
// the device as pre-transformed triangle fans, saving and restoring the
// device state around its Begin/End bracket as D3DX does.
#pragma once

#include <d3dx9.h>

#include <atomic>
#include <memory>

namespace standin {

// The vertex the sprite hands to DrawPrimitiveUP.
struct SpriteVertex {
  FLOAT x, y, z, rhw;
  D3DCOLOR color;
  FLOAT u, v;
};
constexpr DWORD kSpriteFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

class Sprite final : public ID3DXSprite {
 public:
  // Quads a batch holds; a fuller batch is drawn early.
  static constexpr UINT kBatchCapacity = 1024;

  explicit Sprite(IDirect3DDevice9* device);

  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetDevice(LPDIRECT3DDEVICE9* device) override;
  HRESULT GetTransform(D3DXMATRIX* transform) override;
  HRESULT SetTransform(const D3DXMATRIX* transform) override;
  HRESULT Begin(DWORD flags) override;
  HRESULT Draw(LPDIRECT3DTEXTURE9 texture, const RECT* srcRect, const D3DXVECTOR3* center,
               const D3DXVECTOR3* position, D3DCOLOR color) override;
  HRESULT Flush() override;
  HRESULT End() override;
  HRESULT OnLostDevice() override;
  HRESULT OnResetDevice() override;

  IDirect3DDevice9* device;
  D3DXMATRIX transform;
  DWORD flags = 0;
  bool begun = false;

 private:
  struct Quad {
    IDirect3DTexture9* texture;
    UINT group;  // textures in order of first use, for D3DXSPRITE_SORT_TEXTURE
    SpriteVertex v[4];
  };
  // What Begin saved, put back by End.
  struct SavedState;

  ~Sprite();
  void SaveState();
  void RestoreState();
  void ApplyState();
  void ReleaseBatch();
  bool ToScreen(FLOAT x, FLOAT y, FLOAT z, SpriteVertex* out) const;

  std::atomic<ULONG> refs_{1};
  std::unique_ptr<Quad[]> quads_;
  std::unique_ptr<UINT[]> order_;
  std::unique_ptr<IDirect3DTexture9*[]> groups_;
  UINT count_ = 0;
  UINT groupCount_ = 0;
  std::unique_ptr<SavedState> saved_;
};

}  // namespace standin
