// D3DX fonts: which face a Windows name finds, the sizes GDI's rules give,
// the Webdings pictographs, and where DrawTextA puts each glyph (seen
// through a sprite that records what it is given).
#include <d3dx9.h>
#include <gtest/gtest.h>
#include <standin.h>

#include <cstring>
#include <string>
#include <vector>

#include "d3dx9/font.h"
#include "d3dx9/font_resolve.h"
#include "d3dx9/webdings.h"
#include "d3dx_device.h"

namespace {

standin::Font* MakeFont(const char* face, INT height, BOOL italic, UINT weight = 0,
                        UINT mipLevels = 1) {
  ID3DXFont* font = nullptr;
  EXPECT_EQ(D3DXCreateFontA(TestDevice(), height, 0, weight, mipLevels, italic, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face,
                            &font),
            D3D_OK);
  return static_cast<standin::Font*>(font);
}

// Coverage of a glyph's texture, row-major, `width` x `height`.
std::vector<BYTE> Coverage(const standin::Font::Glyph& g) {
  std::vector<BYTE> alpha;
  if (!g.texture) return alpha;
  D3DLOCKED_RECT locked;
  if (FAILED(g.texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY))) return alpha;
  for (int y = 0; y < g.height; ++y)
    for (int x = 0; x < g.width; ++x)
      alpha.push_back(static_cast<const BYTE*>(locked.pBits)[static_cast<size_t>(y) * locked.Pitch + x * 4 + 3]);
  g.texture->UnlockRect(0);
  return alpha;
}

int InkRows(const standin::Font::Glyph& g) {
  const std::vector<BYTE> alpha = Coverage(g);
  int first = -1, last = -1;
  for (int y = 0; y < g.height; ++y)
    for (int x = 0; x < g.width; ++x)
      if (alpha[static_cast<size_t>(y) * g.width + x] > 127) {
        if (first < 0) first = y;
        last = y;
      }
  return first < 0 ? 0 : last - first + 1;
}

// --- Faces -------------------------------------------------------------------

TEST(FontFaces, ArialIsLiberationSans) {
  standin::FaceFile upright, italic;
  ASSERT_TRUE(standin::ResolveFace("Arial", 0, false, &upright));
  ASSERT_TRUE(standin::ResolveFace("arial", 0, true, &italic));
  EXPECT_EQ(upright.family, "Liberation Sans");
  EXPECT_EQ(italic.family, "Liberation Sans");
  EXPECT_FALSE(upright.italic);
  EXPECT_TRUE(italic.italic);
  EXPECT_NE(upright.path, italic.path);
}

TEST(FontFaces, BoldWeightFindsBoldFace) {
  standin::FaceFile regular, bold;
  ASSERT_TRUE(standin::ResolveFace("Arial", FW_NORMAL, false, &regular));
  ASSERT_TRUE(standin::ResolveFace("Arial", FW_BOLD, false, &bold));
  EXPECT_NE(regular.path, bold.path);
  EXPECT_NE(bold.path.find("Bold"), std::string::npos) << bold.path;
}

TEST(FontFaces, UnknownNameFallsBackToSansSerif) {
  standin::FaceFile face;
  ASSERT_TRUE(standin::ResolveFace("No Such Face Anywhere", 0, false, &face));
  EXPECT_FALSE(face.path.empty());
}

TEST(FontFaces, ItalicDrawsDifferentlyFromUpright) {
  standin::Font* upright = MakeFont("Arial", -48, FALSE);
  standin::Font* italic = MakeFont("Arial", -48, TRUE);
  ASSERT_TRUE(upright && italic);
  EXPECT_FALSE(italic->syntheticItalic());  // Liberation Sans has a real italic
  EXPECT_NE(Coverage(upright->GetGlyph('l')), Coverage(italic->GetGlyph('l')));
  upright->Release();
  italic->Release();
}

// A face with no italic of its own is slanted: the top of an 'l' moves
// right of its foot.
TEST(FontFaces, ObliqueIsSynthesisedWithoutItalicFace) {
  standin::FaceFile symbola;
  if (!standin::FindFaceWithCodepoint(0x1F5EB, &symbola) || symbola.family != "Symbola")
    GTEST_SKIP() << "Symbola (fonts-symbola) is not installed";
  standin::Font* font = MakeFont("Symbola", -64, TRUE);
  ASSERT_NE(font, nullptr);
  EXPECT_TRUE(font->syntheticItalic());
  const standin::Font::Glyph& g = font->GetGlyph('l');
  const std::vector<BYTE> alpha = Coverage(g);
  auto inkCentre = [&](int row) {
    int sum = 0, n = 0;
    for (int x = 0; x < g.width; ++x)
      if (alpha[static_cast<size_t>(row) * g.width + x] > 127) sum += x, ++n;
    return n ? sum / n : -1;
  };
  const int top = inkCentre(4), foot = inkCentre(g.height - 5);
  ASSERT_GE(top, 0);
  ASSERT_GE(foot, 0);
  EXPECT_GT(top, foot + 5);
  font->Release();
}

// --- Sizes -------------------------------------------------------------------

TEST(FontSizes, NegativeHeightIsTheEm) {
  standin::Font* font = MakeFont("Arial", -48, FALSE);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->emPixels(), 48);
  // Liberation Sans, like Arial: ascent 0.905 em, descent 0.212 em, capital
  // height 0.716 em.
  EXPECT_EQ(font->ascent(), 43);
  EXPECT_EQ(font->descent(), 10);
  EXPECT_NEAR(InkRows(font->GetGlyph('H')), 34, 1);
  EXPECT_NEAR(font->GetGlyph('M').advance, 40, 1);  // 0.833 em
  font->Release();
}

TEST(FontSizes, PositiveHeightIsTheCell) {
  standin::Font* font = MakeFont("Arial", 53, FALSE);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->emPixels(), 47);  // 53 * 2048 / (1854 + 434)
  EXPECT_NEAR(font->ascent() + font->descent(), 53, 1);
  font->Release();
}

TEST(FontSizes, FontsKeepTheirDescription) {
  standin::Font* font = MakeFont("Arial", -24, TRUE);
  ASSERT_NE(font, nullptr);
  D3DXFONT_DESCA desc;
  ASSERT_EQ(font->GetDescA(&desc), D3D_OK);
  EXPECT_EQ(desc.Height, -24);
  EXPECT_TRUE(desc.Italic);
  EXPECT_STREQ(desc.FaceName, "Arial");
  font->Release();
}

TEST(FontSizes, GlyphTexturesAreWhiteWithCoverageInAlpha) {
  standin::Font* font = MakeFont("Arial", -24, FALSE);
  ASSERT_NE(font, nullptr);
  const standin::Font::Glyph& g = font->GetGlyph('O');
  ASSERT_NE(g.texture, nullptr);
  D3DSURFACE_DESC desc;
  ASSERT_EQ(g.texture->GetLevelDesc(0, &desc), D3D_OK);
  EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
  EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
  EXPECT_EQ(g.texture->GetLevelCount(), 1u);
  D3DLOCKED_RECT locked;
  ASSERT_EQ(g.texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  bool white = true, inked = false, clearBorder = true;
  for (int y = 0; y < g.height; ++y)
    for (int x = 0; x < g.width; ++x) {
      const DWORD texel = reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(locked.pBits) +
                                                         static_cast<size_t>(y) * locked.Pitch)[x];
      white = white && (texel & 0xFFFFFF) == 0xFFFFFF;
      inked = inked || (texel >> 24) == 0xFF;
      if (x == 0 || y == 0 || x == g.width - 1 || y == g.height - 1)
        clearBorder = clearBorder && (texel >> 24) == 0;
    }
  g.texture->UnlockRect(0);
  EXPECT_TRUE(white);
  EXPECT_TRUE(inked);
  EXPECT_TRUE(clearBorder);
  font->Release();
}

TEST(FontSizes, MipLevelsGiveGlyphMips) {
  standin::Font* font = MakeFont("Arial", -32, FALSE, 0, D3DX_DEFAULT);
  ASSERT_NE(font, nullptr);
  const standin::Font::Glyph& g = font->GetGlyph('W');
  ASSERT_NE(g.texture, nullptr);
  EXPECT_GT(g.texture->GetLevelCount(), 4u);
  font->Release();
}

TEST(FontSizes, GlyphsAreRenderedOnce) {
  standin::Font* font = MakeFont("Arial", -24, FALSE);
  ASSERT_NE(font, nullptr);
  const standin::Font::Glyph& first = font->GetGlyph('a');
  IDirect3DTexture9* texture = first.texture;
  EXPECT_EQ(&font->GetGlyph('a'), &first);
  EXPECT_EQ(font->GetGlyph('a').texture, texture);
  font->Release();
}

// --- Webdings ----------------------------------------------------------------

TEST(Webdings, TableHasTheShowsPictographs) {
  const struct {
    unsigned char code;
    uint32_t codepoint;
  } kShow[] = {{0x5F, 0x1F5EB}, {0x94, 0x1F46A}, {0x42, 0x1F3D8}, {0xFC, 0x1F30D},
               {0x59, 0x1F394}, {0x84, 0x1F6BC}, {0x60, 0x2B94}};
  for (const auto& s : kShow) EXPECT_EQ(standin::WebdingsToUnicode(s.code), s.codepoint) << int(s.code);
  EXPECT_EQ(standin::WebdingsToUnicode(0x20), 0x20u);
  EXPECT_EQ(standin::WebdingsToUnicode(0x1F), 0u);
  EXPECT_EQ(standin::WebdingsToUnicode(0x7F), 0u);
  // Every printable code has its own pictograph.
  std::vector<uint32_t> seen;
  for (int code = 0x21; code <= 0xFF; ++code) {
    if (code == 0x7F) continue;
    const uint32_t cp = standin::WebdingsToUnicode(static_cast<unsigned char>(code));
    EXPECT_NE(cp, 0u) << code;
    for (uint32_t other : seen) EXPECT_NE(cp, other) << code;
    seen.push_back(cp);
  }
}

TEST(Webdings, PictographIsDrawnFromASymbolFont) {
  standin::Font* font = MakeFont("Webdings", -512, FALSE);
  ASSERT_NE(font, nullptr);
  EXPECT_TRUE(font->symbolFont());
  for (unsigned char code : {0x5F, 0x94, 0x42, 0xFC, 0x59, 0x84, 0x60}) {
    const standin::Font::Glyph& g = font->GetGlyph(code);
    ASSERT_NE(g.texture, nullptr) << int(code);
    const std::vector<BYTE> alpha = Coverage(g);
    size_t inked = 0;
    for (BYTE a : alpha) inked += a > 0;
    // A pictograph at 512 pixels covers a good part of its box.
    EXPECT_GT(inked, alpha.size() / 10) << int(code);
    EXPECT_GT(g.width, 100) << int(code);
  }
  font->Release();
}

TEST(Webdings, CodeWithoutPictographDrawsNothing) {
  standin::Font* font = MakeFont("Webdings", -64, FALSE);
  ASSERT_NE(font, nullptr);
  for (unsigned char code : {0x01, 0x0A, 0x7F, 0x20}) {
    EXPECT_EQ(font->GetGlyph(code).texture, nullptr) << int(code);
  }
  font->Release();
}

// --- DrawTextA -----------------------------------------------------------------

// A sprite that only records what it is asked to draw.
class RecordingSprite final : public ID3DXSprite {
 public:
  struct Call {
    IDirect3DTexture9* texture;
    RECT source;
    D3DXVECTOR3 position;
    D3DCOLOR color;
  };
  std::vector<Call> calls;

  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetDevice(LPDIRECT3DDEVICE9*) override { return E_FAIL; }
  HRESULT GetTransform(D3DXMATRIX*) override { return E_FAIL; }
  HRESULT SetTransform(const D3DXMATRIX*) override { return E_FAIL; }
  HRESULT Begin(DWORD) override { return D3D_OK; }
  HRESULT Draw(LPDIRECT3DTEXTURE9 texture, const RECT* source, const D3DXVECTOR3* center,
               const D3DXVECTOR3* position, D3DCOLOR color) override {
    EXPECT_EQ(center, nullptr);
    calls.push_back(Call{texture, *source, *position, color});
    return D3D_OK;
  }
  HRESULT Flush() override { return D3D_OK; }
  HRESULT End() override { return D3D_OK; }
  HRESULT OnLostDevice() override { return D3D_OK; }
  HRESULT OnResetDevice() override { return D3D_OK; }
};

class DrawText : public testing::Test {
 protected:
  void SetUp() override {
    font_ = MakeFont("Arial", -48, TRUE);
    ASSERT_NE(font_, nullptr);
  }
  void TearDown() override {
    if (font_) font_->Release();
  }

  int Width(const char* text) {
    int w = 0;
    for (const char* p = text; *p; ++p) w += font_->GetGlyph(static_cast<unsigned char>(*p)).advance;
    return w;
  }

  // Checks that the recorded glyphs, from `first` on, spell `text` on one
  // line whose pen starts at `penX` and whose top is `top`.
  void ExpectLine(const char* text, size_t first, int penX, int top) {
    int x = penX;
    size_t call = first;
    for (const char* p = text; *p; ++p) {
      const standin::Font::Glyph& g = font_->GetGlyph(static_cast<unsigned char>(*p));
      if (g.texture) {
        ASSERT_LT(call, sprite_.calls.size()) << *p;
        const RecordingSprite::Call& c = sprite_.calls[call++];
        EXPECT_EQ(c.texture, g.texture) << *p;
        EXPECT_EQ(c.position.x, static_cast<float>(x + g.left)) << *p;
        EXPECT_EQ(c.position.y, static_cast<float>(top + font_->ascent() - g.top)) << *p;
      }
      x += g.advance;
    }
  }

  standin::Font* font_ = nullptr;
  RecordingSprite sprite_;
};

TEST_F(DrawText, CenteredLineStartsAtTheTop) {
  RECT rect = {0, 100, 1280, 720};
  const INT height = font_->DrawTextA(&sprite_, "loading", -1, &rect, DT_CENTER | DT_NOCLIP, 0xFFFFFFFF);
  EXPECT_EQ(height, font_->ascent() + font_->descent());
  ExpectLine("loading", 0, (1280 - Width("loading")) / 2, 100);
  for (const RecordingSprite::Call& c : sprite_.calls) EXPECT_EQ(c.color, 0xFFFFFFFFu);
  // The rectangle is not changed.
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.bottom, 720);
}

TEST_F(DrawText, AlignmentsAndCount) {
  RECT rect = {10, 20, 610, 400};
  font_->DrawTextA(&sprite_, "rendering", 6, &rect, DT_RIGHT | DT_NOCLIP, 0xFF00FF00);  // "render"
  ExpectLine("render", 0, 610 - Width("render"), 20);
  const size_t afterRight = sprite_.calls.size();
  font_->DrawTextA(&sprite_, "left", -1, &rect, DT_LEFT | DT_NOCLIP, 0xFF00FF00);
  ExpectLine("left", afterRight, 10, 20);
  EXPECT_EQ(sprite_.calls.back().color, 0xFF00FF00u);
}

TEST_F(DrawText, NewlineStartsALineBelowEachCentred) {
  RECT rect = {0, 0, 800, 600};
  const INT height = font_->DrawTextA(&sprite_, "one\r\ntwo three", -1, &rect, DT_CENTER | DT_NOCLIP, 0xFFFFFFFF);
  const int line = font_->ascent() + font_->descent();
  EXPECT_EQ(height, 2 * line);
  ExpectLine("one", 0, (800 - Width("one")) / 2, 0);
  ExpectLine("two three", 3, (800 - Width("two three")) / 2, line);  // a space leaves no mark
  EXPECT_EQ(sprite_.calls.size(), 11u);
}

// Without DT_NOCLIP the rectangle clips: a glyph across its edge keeps the
// part inside (its source rectangle cut to match), lines below it are not
// drawn.
TEST_F(DrawText, ClipsToTheRectangle) {
  const standin::Font::Glyph& m = font_->GetGlyph('M');
  const int line = font_->ascent() + font_->descent();
  RECT rect = {0, 0, m.left + m.width / 2, line};
  font_->DrawTextA(&sprite_, "M\nM", -1, &rect, DT_LEFT, 0xFFFFFFFF);
  ASSERT_EQ(sprite_.calls.size(), 1u);
  const RecordingSprite::Call& c = sprite_.calls[0];
  EXPECT_EQ(c.position.x, static_cast<float>(m.left > 0 ? m.left : 0));
  EXPECT_EQ(c.source.left, m.left < 0 ? -m.left : 0);
  EXPECT_EQ(c.source.right, m.width / 2);
  EXPECT_EQ(c.source.bottom - c.source.top, m.height);

  sprite_.calls.clear();
  font_->DrawTextA(&sprite_, "M\nM", -1, &rect, DT_LEFT | DT_NOCLIP, 0xFFFFFFFF);
  ASSERT_EQ(sprite_.calls.size(), 2u);
  EXPECT_EQ(sprite_.calls[0].source.right, m.width);
}

TEST_F(DrawText, CalcRectMeasuresOnly) {
  RECT rect = {5, 7, 5, 7};
  const INT height = font_->DrawTextA(&sprite_, "ab\nabcd", -1, &rect, DT_CALCRECT, 0xFFFFFFFF);
  const int line = font_->ascent() + font_->descent();
  EXPECT_TRUE(sprite_.calls.empty());
  EXPECT_EQ(height, 2 * line);
  EXPECT_EQ(rect.left, 5);
  EXPECT_EQ(rect.right, 5 + Width("abcd"));
  EXPECT_EQ(rect.top, 7);
  EXPECT_EQ(rect.bottom, 7 + 2 * line);
}

TEST_F(DrawText, SingleLineCentresVertically) {
  const int line = font_->ascent() + font_->descent();
  RECT rect = {0, 0, 400, 300};
  font_->DrawTextA(&sprite_, "x\ny", -1, &rect, DT_SINGLELINE | DT_VCENTER | DT_NOCLIP, 0xFFFFFFFF);
  ExpectLine("x\ny", 0, 0, (300 - line) / 2);  // the newline is no line break
  sprite_.calls.clear();
  font_->DrawTextA(&sprite_, "x", -1, &rect, DT_SINGLELINE | DT_BOTTOM | DT_NOCLIP, 0xFFFFFFFF);
  ExpectLine("x", 0, 0, 300 - line);
}

TEST_F(DrawText, NothingToDraw) {
  RECT rect = {0, 0, 100, 100};
  EXPECT_EQ(font_->DrawTextA(&sprite_, "", -1, &rect, DT_LEFT, 0xFFFFFFFF), 0);
  EXPECT_EQ(font_->DrawTextA(&sprite_, "abc", 0, &rect, DT_LEFT, 0xFFFFFFFF), 0);
  EXPECT_EQ(font_->DrawTextA(&sprite_, nullptr, -1, &rect, DT_LEFT, 0xFFFFFFFF), 0);
  EXPECT_TRUE(sprite_.calls.empty());
}

TEST(FontCreation, BadArgumentsAndFailures) {
  ID3DXFont* font = reinterpret_cast<ID3DXFont*>(0x1);
  EXPECT_EQ(D3DXCreateFontA(nullptr, -12, 0, 0, 1, FALSE, 1, 0, 0, 0, "Arial", &font), D3DERR_INVALIDCALL);
  EXPECT_EQ(font, nullptr);
  EXPECT_EQ(D3DXCreateFontA(TestDevice(), -12, 0, 0, 1, FALSE, 1, 0, 0, 0, nullptr, &font), D3DERR_INVALIDCALL);
  EXPECT_EQ(D3DXCreateFontA(TestDevice(), -12, 0, 0, 1, FALSE, 1, 0, 0, 0,
                            "A face name far longer than thirty-one characters", &font),
            D3DERR_INVALIDCALL);
  StandinSetFailure(kStandinFailCreateFont, true);
  EXPECT_TRUE(FAILED(D3DXCreateFontA(TestDevice(), -12, 0, 0, 1, FALSE, 1, 0, 0, 0, "Arial", &font)));
  StandinSetFailure(kStandinFailCreateFont, false);
  EXPECT_EQ(font, nullptr);
}

TEST(FontCreation, FontHoldsTheDevice) {
  const ULONG before = References(TestDevice());
  standin::Font* font = MakeFont("Arial", -12, FALSE);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(References(TestDevice()), before + 1);
  font->GetGlyph('a');  // its texture holds the device too, until the font goes
  font->Release();
  EXPECT_EQ(References(TestDevice()), before);
}

}  // namespace
