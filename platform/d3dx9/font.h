// The stand-in D3DX font: a Windows face name resolved to an installed face
// (FreeType renders it), glyphs cached as textures, text drawn through a
// sprite.
#pragma once

#include <d3dx9.h>

#include <atomic>
#include <string>
#include <vector>

#include "d3dx9/font_resolve.h"

struct FT_FaceRec_;

namespace standin {

class Font final : public ID3DXFont {
 public:
  // Resolves and opens the face; fails when no installed font can serve.
  static HRESULT Create(IDirect3DDevice9* device, const D3DXFONT_DESCA& desc, Font** out);

  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetDevice(LPDIRECT3DDEVICE9* device) override;
  HRESULT GetDescA(D3DXFONT_DESCA* desc) override;
  INT DrawTextA(LPD3DXSPRITE sprite, LPCSTR string, INT count, LPRECT rect, DWORD format,
                D3DCOLOR color) override;
  HRESULT OnLostDevice() override;
  HRESULT OnResetDevice() override;

  // How a character code is drawn: its texture (null when it leaves no
  // mark) with its top-left corner at (pen x + left, baseline - top), and
  // how far it moves the pen. Rendered and cached at first use.
  struct Glyph {
    bool ready = false;
    IDirect3DTexture9* texture = nullptr;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int advance = 0;
  };
  const Glyph& GetGlyph(unsigned char code);

  // The face text is drawn with (for a symbol font, the face its line
  // metrics come from; empty when no font has any of its pictographs).
  const FaceFile& face() const { return face_; }
  bool symbolFont() const { return symbol_; }
  bool syntheticItalic() const { return syntheticItalic_; }
  int emPixels() const { return em_; }
  int ascent() const { return ascent_; }
  int descent() const { return descent_; }

  IDirect3DDevice9* device;
  D3DXFONT_DESCA desc;

 private:
  Font(IDirect3DDevice9* device, const D3DXFONT_DESCA& desc);
  ~Font();
  HRESULT Open();
  FT_FaceRec_* FaceForCodepoint(uint32_t codepoint);
  FT_FaceRec_* OpenFace(const FaceFile& file);
  void RenderGlyph(unsigned char code, Glyph* glyph);
  int LineWidth(const char* text, int length);

  std::atomic<ULONG> refs_{1};
  FaceFile face_;
  FT_FaceRec_* ftFace_ = nullptr;
  bool symbol_ = false;
  bool syntheticItalic_ = false;
  int em_ = 0;
  int emWidth_ = 0;  // the horizontal em, different when Width is given
  int ascent_ = 0;
  int descent_ = 0;
  // Faces opened for a symbol font's pictographs, by file.
  struct ExtraFace {
    FaceFile file;
    FT_FaceRec_* face;
  };
  std::vector<ExtraFace> extraFaces_;
  Glyph glyphs_[256];
  // Draws text given no sprite, as D3DX does, made at first need.
  ID3DXSprite* ownSprite_ = nullptr;
};

}  // namespace standin
