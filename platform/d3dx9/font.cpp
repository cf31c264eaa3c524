// D3DX fonts on FreeType: GDI's sizing rules, glyphs rendered once into
// textures (white, coverage in alpha), DrawTextA laying lines out and
// handing each glyph to a sprite.
#include "d3dx9/font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include <standin.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "d3dx9/texture_loader.h"
#include "d3dx9/webdings.h"

namespace standin {
namespace {

FT_Library Library() {
  static FT_Library library = nullptr;
  static bool tried = false;
  if (!tried) {
    tried = true;
    if (FT_Init_FreeType(&library) != 0) library = nullptr;
  }
  return library;
}

// Windows-1252, the ANSI code page: 0x80 to 0x9F hold punctuation and a
// few letters (0 where the code page has no character); the rest is
// Latin-1.
uint32_t AnsiToUnicode(unsigned char c) {
  static const uint16_t k80[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  if (c < 0x20 || c == 0x7F) return 0;
  if (c >= 0x80 && c < 0xA0) return k80[c - 0x80];
  return c;
}

// GDI's cell: the OS/2 table's Windows ascent and descent, in font units.
void CellMetrics(FT_Face face, int* ascent, int* descent) {
  const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    *ascent = os2->usWinAscent;
    *descent = os2->usWinDescent;
  } else {
    *ascent = face->ascender;
    *descent = -face->descender;
  }
  if (*ascent + *descent <= 0) {
    *ascent = static_cast<int>(face->bbox.yMax);
    *descent = static_cast<int>(-face->bbox.yMin);
  }
  if (*ascent + *descent <= 0) {
    *ascent = face->units_per_EM;
    *descent = 0;
  }
}

int Scale(int units, int em, int unitsPerEm) {
  return static_cast<int>(std::lround(static_cast<double>(units) * em / unitsPerEm));
}

// Where the line starting at `start` ends: at its '\n', or at the end.
int LineEnd(const char* text, int start, int length, bool singleLine) {
  int end = start;
  while (end < length && (singleLine || text[end] != '\n')) ++end;
  return end;
}

// The end of what a line shows: a '\r' before its '\n' is no character.
int Shown(const char* text, int start, int end, bool singleLine) {
  return !singleLine && end > start && text[end - 1] == '\r' ? end - 1 : end;
}

// The slant GDI gives a face with no italic of its own (about 12 degrees).
constexpr FT_Matrix kOblique = {0x10000, 0x0366A, 0, 0x10000};

}  // namespace

Font::Font(IDirect3DDevice9* d, const D3DXFONT_DESCA& fontDesc) : device(d), desc(fontDesc) {
  device->AddRef();
}

Font::~Font() {
  for (Glyph& g : glyphs_)
    if (g.texture) g.texture->Release();
  if (ownSprite_) ownSprite_->Release();
  for (ExtraFace& e : extraFaces_) FT_Done_Face(e.face);
  if (ftFace_) FT_Done_Face(ftFace_);
  device->Release();
}

FT_FaceRec_* Font::OpenFace(const FaceFile& file) {
  FT_Library library = Library();
  FT_Face face = nullptr;
  if (!library || FT_New_Face(library, file.path.c_str(), file.index, &face) != 0) return nullptr;
  // Not every face has a Unicode map selected by default.
  FT_Select_Charmap(face, FT_ENCODING_UNICODE);
  if (FT_Set_Char_Size(face, emWidth_ * 64, em_ * 64, 72, 72) != 0) {
    FT_Done_Face(face);
    return nullptr;
  }
  return face;
}

HRESULT Font::Open() {
  symbol_ = IsWebdingsFace(desc.FaceName);
  bool found = false;
  if (symbol_) {
    // A symbol font's line metrics come from the face of its first
    // pictograph that some installed font has.
    for (unsigned code = 0x21; code <= 0xFF && !found; ++code) {
      const uint32_t cp = WebdingsToUnicode(static_cast<unsigned char>(code));
      found = cp && FindFaceWithCodepoint(cp, &face_);
    }
    if (!found) {
      std::fprintf(stderr, "D3DXCreateFontA: no installed font has the pictographs of %s\n",
                   desc.FaceName);
      found = ResolveFace("sans-serif", desc.Weight, false, &face_);
    }
  } else {
    found = ResolveFace(desc.FaceName, desc.Weight, desc.Italic != FALSE, &face_);
  }
  if (!found) {
    std::fprintf(stderr, "D3DXCreateFontA: no installed font can stand in for %s\n",
                 desc.FaceName);
    return E_FAIL;
  }

  FT_Library library = Library();
  FT_Face face = nullptr;
  if (!library || FT_New_Face(library, face_.path.c_str(), face_.index, &face) != 0) {
    std::fprintf(stderr, "D3DXCreateFontA: cannot open %s\n", face_.path.c_str());
    return E_FAIL;
  }
  ftFace_ = face;
  FT_Select_Charmap(face, FT_ENCODING_UNICODE);
  // The face's own style decides whether a slant must be made.
  face_.italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
  syntheticItalic_ = desc.Italic && !face_.italic;
  const int unitsPerEm = face->units_per_EM > 0 ? face->units_per_EM : 2048;
  int cellAscent = 0, cellDescent = 0;
  CellMetrics(face, &cellAscent, &cellDescent);

  // A negative height asks for the em, a positive one for the cell
  // (ascent + descent), as in GDI's LOGFONT; 0 takes a default cell.
  const int height = desc.Height == 0 ? 16 : desc.Height;
  if (height < 0) {
    em_ = -height;
  } else {
    em_ = Scale(height, unitsPerEm, cellAscent + cellDescent);
  }
  if (em_ < 1) em_ = 1;
  if (em_ > 4096) em_ = 4096;
  emWidth_ = em_;
  if (desc.Width > 0) {
    // Width is GDI's average character width; scale the em to match.
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const int average = os2 && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth : unitsPerEm / 2;
    emWidth_ = static_cast<int>(std::lround(static_cast<double>(desc.Width) * unitsPerEm / average));
    if (emWidth_ < 1) emWidth_ = 1;
    if (emWidth_ > 4096) emWidth_ = 4096;
  }
  ascent_ = Scale(cellAscent, em_, unitsPerEm);
  descent_ = Scale(cellDescent, em_, unitsPerEm);
  if (FT_Set_Char_Size(face, emWidth_ * 64, em_ * 64, 72, 72) != 0) {
    std::fprintf(stderr, "D3DXCreateFontA: %s cannot be drawn at %d pixels\n", face_.path.c_str(),
                 em_);
    return E_FAIL;
  }
  return D3D_OK;
}

HRESULT Font::Create(IDirect3DDevice9* device, const D3DXFONT_DESCA& desc, Font** out) {
  *out = nullptr;
  Font* font = new Font(device, desc);
  const HRESULT hr = font->Open();
  if (FAILED(hr)) {
    font->Release();
    return hr;
  }
  *out = font;
  return D3D_OK;
}

ULONG Font::AddRef() { return ++refs_; }

ULONG Font::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT Font::GetDevice(LPDIRECT3DDEVICE9* out) {
  if (!out) return D3DERR_INVALIDCALL;
  device->AddRef();
  *out = device;
  return D3D_OK;
}

HRESULT Font::GetDescA(D3DXFONT_DESCA* out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = desc;
  return D3D_OK;
}

FT_FaceRec_* Font::FaceForCodepoint(uint32_t codepoint) {
  if (!symbol_) return ftFace_;
  if (ftFace_ && FT_Get_Char_Index(ftFace_, codepoint) != 0) return ftFace_;
  FaceFile file;
  if (!FindFaceWithCodepoint(codepoint, &file)) return nullptr;
  for (const ExtraFace& e : extraFaces_)
    if (e.file.path == file.path && e.file.index == file.index) return e.face;
  FT_FaceRec_* face = OpenFace(file);
  if (face) extraFaces_.push_back(ExtraFace{file, face});
  return face;
}

void Font::RenderGlyph(unsigned char code, Glyph* glyph) {
  glyph->ready = true;
  const uint32_t cp = symbol_ ? WebdingsToUnicode(code) : AnsiToUnicode(code);
  if (cp == 0) return;  // control codes leave no mark and take no room
  FT_Face face = FaceForCodepoint(cp);
  FT_UInt index = face ? FT_Get_Char_Index(face, cp) : 0;
  if (symbol_ && index == 0) {
    // A pictograph no installed font has: an empty em, never a wrong mark.
    glyph->advance = emWidth_;
    return;
  }
  // A text font draws its missing-character box for a character it lacks,
  // as GDI does.
  if (!face || FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0) return;
  FT_GlyphSlot slot = face->glyph;
  glyph->advance = static_cast<int>((slot->advance.x + 32) >> 6);
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE && syntheticItalic_)
    FT_Outline_Transform(&slot->outline, &kOblique);
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return;
  const FT_Bitmap& bitmap = slot->bitmap;
  if (bitmap.width == 0 || bitmap.rows == 0 || bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return;

  // One clear texel around the coverage, so filtered edges fade out
  // instead of being cut.
  const UINT w = bitmap.width + 2, h = bitmap.rows + 2;
  const UINT levels = desc.MipLevels == D3DX_DEFAULT ? 0 : desc.MipLevels;
  IDirect3DTexture9* texture = nullptr;
  if (FAILED(device->CreateTexture(w, h, levels, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture,
                                   nullptr)) ||
      !texture)
    return;
  D3DLOCKED_RECT locked;
  if (FAILED(texture->LockRect(0, &locked, nullptr, 0))) {
    texture->Release();
    return;
  }
  const unsigned grays = bitmap.num_grays > 1 ? bitmap.num_grays - 1 : 255;
  for (UINT y = 0; y < h; ++y) {
    DWORD* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + static_cast<size_t>(locked.Pitch) * y);
    for (UINT x = 0; x < w; ++x) {
      unsigned coverage = 0;
      if (x >= 1 && y >= 1 && x <= bitmap.width && y <= bitmap.rows) {
        const unsigned char* src = bitmap.buffer + static_cast<ptrdiff_t>(y - 1) * bitmap.pitch;
        coverage = src[x - 1] * 255u / grays;
      }
      row[x] = (static_cast<DWORD>(coverage) << 24) | 0x00FFFFFFu;
    }
  }
  texture->UnlockRect(0);
  if (texture->GetLevelCount() > 1) FillMipChain(texture);
  glyph->texture = texture;
  glyph->left = slot->bitmap_left - 1;
  glyph->top = slot->bitmap_top + 1;
  glyph->width = static_cast<int>(w);
  glyph->height = static_cast<int>(h);
}

const Font::Glyph& Font::GetGlyph(unsigned char code) {
  Glyph& g = glyphs_[code];
  if (!g.ready) RenderGlyph(code, &g);
  return g;
}

int Font::LineWidth(const char* text, int length) {
  int width = 0;
  for (int i = 0; i < length; ++i) width += GetGlyph(static_cast<unsigned char>(text[i])).advance;
  return width;
}

INT Font::DrawTextA(LPD3DXSPRITE sprite, LPCSTR text, INT count, LPRECT rect, DWORD format,
                    D3DCOLOR color) {
  if (!text) return 0;
  const int length = count < 0 ? static_cast<int>(std::strlen(text)) : count;
  const RECT r = rect ? *rect : RECT{0, 0, 0, 0};
  const bool clip = rect && !(format & DT_NOCLIP);
  const bool singleLine = (format & DT_SINGLELINE) != 0;
  const int lineHeight = ascent_ + descent_;

  // Line by line: a line ends at '\n' (a '\r' before it is dropped) unless
  // the text is one line.
  int lines = 0, widest = 0;
  for (int start = 0; start < length;) {
    const int end = LineEnd(text, start, length, singleLine);
    const int width = LineWidth(text + start, Shown(text, start, end, singleLine) - start);
    if (width > widest) widest = width;
    ++lines;
    start = end + 1;
  }

  int top = r.top;
  if (singleLine && (format & DT_VCENTER)) top = r.top + (r.bottom - r.top - lineHeight) / 2;
  if (singleLine && (format & DT_BOTTOM)) top = r.bottom - lineHeight;
  const int textHeight = lines * lineHeight;
  const INT result = (singleLine && (format & (DT_VCENTER | DT_BOTTOM))) ? top + textHeight - r.top
                                                                          : textHeight;
  if (format & DT_CALCRECT) {
    if (rect) {
      rect->right = rect->left + widest;
      rect->top = top;
      rect->bottom = top + textHeight;
    }
    return result;
  }
  if (length == 0) return 0;

  ID3DXSprite* target = sprite;
  if (!target) {
    if (!ownSprite_ && FAILED(D3DXCreateSprite(device, &ownSprite_))) return 0;
    if (FAILED(ownSprite_->Begin(D3DXSPRITE_ALPHABLEND | D3DXSPRITE_SORT_TEXTURE))) return 0;
    target = ownSprite_;
  }

  int y = top;
  for (int start = 0; start < length; y += lineHeight) {
    const int end = LineEnd(text, start, length, singleLine);
    const int shown = Shown(text, start, end, singleLine);
    if (clip && y >= r.bottom) break;
    const int width = LineWidth(text + start, shown - start);
    int x = r.left;
    if (format & DT_CENTER) x = r.left + (r.right - r.left - width) / 2;
    else if (format & DT_RIGHT) x = r.right - width;
    const int baseline = y + ascent_;
    for (int i = start; i < shown; ++i) {
      const Glyph& g = GetGlyph(static_cast<unsigned char>(text[i]));
      if (g.texture) {
        RECT source = {0, 0, g.width, g.height};
        LONG gx = x + g.left, gy = baseline - g.top;
        if (clip) {
          const LONG cl = gx > r.left ? gx : r.left, ct = gy > r.top ? gy : r.top;
          const LONG cr = gx + g.width < r.right ? gx + g.width : r.right;
          const LONG cb = gy + g.height < r.bottom ? gy + g.height : r.bottom;
          source = RECT{cl - gx, ct - gy, cr - gx, cb - gy};
          gx = cl;
          gy = ct;
        }
        if (source.right > source.left && source.bottom > source.top) {
          const D3DXVECTOR3 position = {static_cast<FLOAT>(gx), static_cast<FLOAT>(gy), 0.0f};
          target->Draw(g.texture, &source, nullptr, &position, color);
        }
      }
      x += g.advance;
    }
    start = end + 1;
  }
  if (target == ownSprite_) ownSprite_->End();
  return result;
}

HRESULT Font::OnLostDevice() {
  // Glyph textures are managed and survive a reset; only the own sprite's
  // batch is dropped.
  return ownSprite_ ? ownSprite_->OnLostDevice() : D3D_OK;
}

HRESULT Font::OnResetDevice() { return ownSprite_ ? ownSprite_->OnResetDevice() : D3D_OK; }

}  // namespace standin

HRESULT WINAPI D3DXCreateFontA(LPDIRECT3DDEVICE9 device, INT height, UINT width, UINT weight,
                               UINT mipLevels, BOOL italic, DWORD charSet,
                               DWORD outputPrecision, DWORD quality, DWORD pitchAndFamily,
                               LPCSTR faceName, LPD3DXFONT* font) {
  if (!font) return D3DERR_INVALIDCALL;
  *font = nullptr;
  if (!device || !faceName || std::strlen(faceName) >= 32) return D3DERR_INVALIDCALL;
  if (StandinShouldFail(kStandinFailCreateFont)) return E_OUTOFMEMORY;
  D3DXFONT_DESCA desc = {};
  desc.Height = height;
  desc.Width = width;
  desc.Weight = weight;
  desc.MipLevels = mipLevels;
  desc.Italic = italic;
  desc.CharSet = static_cast<BYTE>(charSet);
  desc.OutputPrecision = static_cast<BYTE>(outputPrecision);
  desc.Quality = static_cast<BYTE>(quality);
  desc.PitchAndFamily = static_cast<BYTE>(pitchAndFamily);
  std::strcpy(desc.FaceName, faceName);
  standin::Font* created = nullptr;
  const HRESULT hr = standin::Font::Create(device, desc, &created);
  *font = created;
  return hr;
}
