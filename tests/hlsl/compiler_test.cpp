// D3DXCompileShader: the show's source, what compiled programs compute (run
// through the reference interpreter), constant tables, and a table of
// broken sources whose errors must point at the right line and column.
#include <gtest/gtest.h>

#include <d3dx9.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "d3d9/shader_program.h"
#include "d3dx9/hlsl/compiler.h"
#include "fake_device.h"

using namespace standin;

namespace {

std::string ReadShowSource() {
  std::ifstream file(SHOW_SHADER_FILE, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

struct Compiled {
  HRESULT hr = E_FAIL;
  std::vector<DWORD> tokens;
  std::string messages;
  bool messagesNulTerminated = true;
  bool hasMessages = false;
  ID3DXConstantTable* table = nullptr;

  Compiled() = default;
  Compiled(const Compiled&) = delete;
  Compiled& operator=(const Compiled&) = delete;
  ~Compiled() {
    if (table) table->Release();
  }
};

std::unique_ptr<Compiled> Compile(const std::string& source, const char* entry = "main",
                                  const char* profile = "ps_3_0", size_t length = SIZE_MAX) {
  auto c = std::make_unique<Compiled>();
  ID3DXBuffer* code = nullptr;
  ID3DXBuffer* errors = nullptr;
  // A copy with no terminating NUL of its own, so that reading past the
  // length is visible to AddressSanitizer.
  std::vector<char> bytes(source.begin(), source.end());
  const UINT len = static_cast<UINT>(length == SIZE_MAX ? bytes.size() : length);
  c->hr = D3DXCompileShader(bytes.empty() ? nullptr : bytes.data(), len, nullptr, nullptr, entry,
                            profile, 0, &code, &errors, &c->table);
  if (code) {
    const DWORD* t = static_cast<const DWORD*>(code->GetBufferPointer());
    c->tokens.assign(t, t + code->GetBufferSize() / sizeof(DWORD));
    code->Release();
  }
  if (errors) {
    c->hasMessages = true;
    const char* text = static_cast<const char*>(errors->GetBufferPointer());
    const DWORD size = errors->GetBufferSize();
    c->messagesNulTerminated = size > 0 && text[size - 1] == '\0';
    c->messages.assign(text, strnlen(text, size));
    errors->Release();
  }
  return c;
}

std::unique_ptr<ShaderProgram> DecodeOrFail(const std::vector<DWORD>& tokens) {
  auto p = std::make_unique<ShaderProgram>();
  char error[200];
  EXPECT_TRUE(DecodePixelShader(tokens.data(), p.get(), error, sizeof error)) << error;
  return p;
}

// The sampler of these tests: (u, v, 0.5, 1 - u) for any sampler, logged.
struct SampleLog {
  int calls = 0;
  uint32_t sampler = 99;
};
void CoordinateSample(void* context, uint32_t sampler, const float coords[4], float rgba[4]) {
  auto* log = static_cast<SampleLog*>(context);
  ++log->calls;
  log->sampler = sampler;
  rgba[0] = coords[0];
  rgba[1] = coords[1];
  rgba[2] = 0.5f;
  rgba[3] = 1.0f - coords[0];
}

// An 8-bit luminance texel of 153 (0.6) as Direct3D samples it: (L, L, L, 1).
void LuminanceSample(void*, uint32_t, const float*, float rgba[4]) {
  rgba[0] = rgba[1] = rgba[2] = 0.6f;
  rgba[3] = 1.0f;
}

// --- the show's source --------------------------------------------------------

TEST(ShowShaderSource, IsPlainAsciiWithCrlfLineEnds) {
  const std::string source = ReadShowSource();
  ASSERT_FALSE(source.empty());
  for (size_t i = 0; i < source.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(source[i]);
    ASSERT_TRUE(c == '\r' || c == '\n' || (c >= 0x20 && c < 0x7F)) << "byte " << i;
    if (c == '\n') {
      ASSERT_TRUE(i > 0 && source[i - 1] == '\r') << "bare LF at byte " << i;
    }
    if (c == '\r') {
      ASSERT_TRUE(i + 1 < source.size() && source[i + 1] == '\n') << "bare CR at " << i;
    }
  }
}

TEST(ShowShaderSource, ColorPSPaintsVColorWhateverTheTexture) {
  auto c = Compile(ReadShowSource(), "ColorPS");
  ASSERT_EQ(c->hr, D3D_OK) << c->messages;
  EXPECT_FALSE(c->hasMessages) << c->messages;
  ASSERT_TRUE(c->table);
  EXPECT_EQ(c->table->GetSamplerIndex("TextureSampler"), static_cast<UINT>(-1));
  EXPECT_EQ(c->table->GetConstantByName(nullptr, "g_Texture"), nullptr);

  FakeDevice device;
  const D3DXVECTOR4 color(0.2f, 0.4f, 0.6f, 0.8f);
  ASSERT_EQ(c->table->SetVector(&device, "vColor", &color), D3D_OK);
  ASSERT_EQ(device.writes.size(), 1u);
  EXPECT_EQ(device.writes[0].count, 1u);

  auto p = DecodeOrFail(c->tokens);
  EXPECT_EQ(p->samplerMask, 0u);
  EXPECT_EQ(p->texcoordMask, 0u);
  PixelShaderClass k = ClassifyPixelShader(*p);
  EXPECT_EQ(k.pattern, kPatternConstant);
  EXPECT_EQ(k.constant, device.writes[0].start);

  PixelShaderInputs inputs{};
  SampleLog log;
  float out[4];
  RunPixelShader(*p, device.constants, inputs, CoordinateSample, &log, out);
  EXPECT_EQ(log.calls, 0);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], (&color.x)[i]);
}

TEST(ShowShaderSource, TexturePSMultipliesTheSampleByVColor) {
  auto c = Compile(ReadShowSource(), "TexturePS");
  ASSERT_EQ(c->hr, D3D_OK) << c->messages;
  EXPECT_FALSE(c->hasMessages) << c->messages;
  ASSERT_TRUE(c->table);
  EXPECT_EQ(c->table->GetSamplerIndex("TextureSampler"), 0u);
  D3DXHANDLE handle = c->table->GetConstantByName(nullptr, "vColor");
  ASSERT_NE(handle, nullptr);

  FakeDevice device;
  const D3DXVECTOR4 color(0.5f, 0.25f, 1.0f, 0.75f);
  ASSERT_EQ(c->table->SetVector(&device, handle, &color), D3D_OK);
  ASSERT_EQ(device.writes.size(), 1u);

  auto p = DecodeOrFail(c->tokens);
  EXPECT_EQ(p->samplerMask, 1u);
  EXPECT_EQ(p->texcoordMask, 1u);
  PixelShaderClass k = ClassifyPixelShader(*p);
  EXPECT_EQ(k.pattern, kPatternConstantTimesTexture);
  EXPECT_EQ(k.constant, device.writes[0].start);
  EXPECT_EQ(k.sampler, 0u);
  EXPECT_EQ(k.texcoord, 0u);

  PixelShaderInputs inputs{};
  inputs.texcoord[0][0] = 0.25f;
  inputs.texcoord[0][1] = 0.5f;
  SampleLog log;
  float out[4];
  RunPixelShader(*p, device.constants, inputs, CoordinateSample, &log, out);
  EXPECT_EQ(log.calls, 1);
  EXPECT_EQ(log.sampler, 0u);
  EXPECT_FLOAT_EQ(out[0], 0.5f * 0.25f);
  EXPECT_FLOAT_EQ(out[1], 0.25f * 0.5f);
  EXPECT_FLOAT_EQ(out[2], 1.0f * 0.5f);
  EXPECT_FLOAT_EQ(out[3], 0.75f * 0.75f);

  // Over the glyph atlas (L8): rgb = vColor.rgb * L, alpha = vColor.a.
  RunPixelShader(*p, device.constants, inputs, LuminanceSample, nullptr, out);
  EXPECT_FLOAT_EQ(out[0], 0.5f * 0.6f);
  EXPECT_FLOAT_EQ(out[1], 0.25f * 0.6f);
  EXPECT_FLOAT_EQ(out[2], 1.0f * 0.6f);
  EXPECT_FLOAT_EQ(out[3], 0.75f);

  // White vColor leaves the sample as it is.
  const D3DXVECTOR4 white(1, 1, 1, 1);
  c->table->SetVector(&device, "vColor", &white);
  RunPixelShader(*p, device.constants, inputs, CoordinateSample, &log, out);
  EXPECT_EQ(out[0], 0.25f);
  EXPECT_EQ(out[1], 0.5f);
  EXPECT_EQ(out[2], 0.5f);
  EXPECT_EQ(out[3], 0.75f);
}

TEST(ShowShaderSource, CompilesForEveryPixelProfileAndNoOther) {
  const std::string source = ReadShowSource();
  for (const char* profile : {"ps_2_0", "ps_2_a", "ps_2_b", "ps_3_0"}) {
    SCOPED_TRACE(profile);
    EXPECT_EQ(Compile(source, "TexturePS", profile)->hr, D3D_OK);
  }
  for (const char* profile : {"vs_2_0", "vs_3_0", "ps_1_1", "ps_4_0", "PS_3_0", "ps_3_0 ", ""}) {
    SCOPED_TRACE(profile);
    auto c = Compile(source, "TexturePS", profile);
    EXPECT_TRUE(FAILED(c->hr));
    EXPECT_NE(c->messages.find("X3505"), std::string::npos) << c->messages;
    EXPECT_EQ(c->table, nullptr);
    EXPECT_TRUE(c->tokens.empty());
  }
  auto none = Compile(source, "TexturePS", nullptr);
  EXPECT_TRUE(FAILED(none->hr));
}

// --- constant tables ------------------------------------------------------------

const char kTwoConstants[] =
    "float4 unused;\n"
    "float4 onlyInDeadCode;\n"
    "float4 tint = {0.5, 0.25, 1, 2};\n"
    "float scale = 3;\n"
    "texture t;\n"
    "sampler a = sampler_state { Texture = <t>; };\n"
    "sampler b = sampler_state { Texture = (t); };\n"
    "float4 main(float2 uv : TEXCOORD0) : COLOR0\n"
    "{\n"
    "    float4 dead = onlyInDeadCode * 2;\n"
    "    return tex2D(b, uv) * tint * scale + tex2D(a, uv);\n"
    "}\n";

TEST(ConstantTable, NumbersOnlyWhatTheEntryReadsInOrderOfUse) {
  auto c = Compile(kTwoConstants);
  ASSERT_EQ(c->hr, D3D_OK) << c->messages;
  ID3DXConstantTable* table = c->table;
  EXPECT_EQ(table->GetConstantByName(nullptr, "unused"), nullptr);
  EXPECT_EQ(table->GetConstantByName(nullptr, "onlyInDeadCode"), nullptr);
  EXPECT_EQ(table->GetSamplerIndex("b"), 0u);
  EXPECT_EQ(table->GetSamplerIndex("a"), 1u);
  EXPECT_EQ(table->GetSamplerIndex("tint"), static_cast<UINT>(-1));

  FakeDevice device;
  const D3DXVECTOR4 v(1, 2, 3, 4);
  ASSERT_EQ(table->SetVector(&device, "tint", &v), D3D_OK);
  ASSERT_EQ(table->SetFloat(&device, "scale", 7.0f), D3D_OK);
  ASSERT_EQ(device.writes.size(), 2u);
  EXPECT_EQ(device.writes[0].start, 0u);
  EXPECT_EQ(device.writes[1].start, 1u);
  EXPECT_EQ(device.writes[1].value[0], 7.0f);
  EXPECT_EQ(device.refs, 1u) << "the table must not keep the device";

  for (const char* bad : {"unused", "onlyInDeadCode", "a", "t", "Tint", ""}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(table->SetVector(&device, bad, &v), D3DERR_INVALIDCALL);
  }
  EXPECT_EQ(table->SetVector(&device, nullptr, &v), D3DERR_INVALIDCALL);
  EXPECT_EQ(table->SetVector(nullptr, "tint", &v), D3DERR_INVALIDCALL);
  EXPECT_EQ(table->SetVector(&device, "tint", nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(device.writes.size(), 2u);

  // Defaults: only the constants that have one.
  ASSERT_EQ(table->SetDefaults(&device), D3D_OK);
  ASSERT_EQ(device.writes.size(), 4u);
  EXPECT_EQ(device.writes[2].value[1], 0.25f);
  EXPECT_EQ(device.writes[3].value[0], 3.0f);

  // The compiled program computes with what the table wrote.
  auto p = DecodeOrFail(c->tokens);
  PixelShaderInputs inputs{};
  inputs.texcoord[0][0] = 0.5f;
  inputs.texcoord[0][1] = 0.25f;
  SampleLog log;
  float out[4];
  RunPixelShader(*p, device.constants, inputs, CoordinateSample, &log, out);
  EXPECT_EQ(log.calls, 2);
  EXPECT_FLOAT_EQ(out[0], 0.5f * 0.5f * 3 + 0.5f);
  EXPECT_FLOAT_EQ(out[1], 0.25f * 0.25f * 3 + 0.25f);
  EXPECT_FLOAT_EQ(out[2], 0.5f * 1 * 3 + 0.5f);
  EXPECT_FLOAT_EQ(out[3], 0.5f * 2 * 3 + 0.5f);
}

TEST(ConstantTable, IsReferenceCountedAndShowsItsData) {
  auto c = Compile(kTwoConstants);
  ASSERT_EQ(c->hr, D3D_OK);
  EXPECT_EQ(c->table->AddRef(), 2u);
  EXPECT_EQ(c->table->Release(), 1u);
  EXPECT_NE(c->table->GetBufferPointer(), nullptr);
  EXPECT_GT(c->table->GetBufferSize(), 0u);
}

// --- what compiled programs compute --------------------------------------------

const char kPrelude[] =
    "texture g_Texture;\r\n"
    "float4 vColor;\r\n"
    "uniform float4 k;\r\n"
    "sampler s = sampler_state { Texture = <g_Texture>; MinFilter = POINT; AddressU = CLAMP; };\r\n"
    "struct VS_OUTPUT { float4 Position : POSITION; float2 TextureUV : TEXCOORD0;\r\n"
    "                   float4 Diffuse : COLOR0; };\r\n"
    "struct PS_OUTPUT { float4 RGBColor : COLOR0; };\r\n";

struct ProgramCase {
  const char* name;
  const char* function;  // defines main
  float expected[4];
};

// vColor = (0.5, 0.25, 1, 0.75), k = (2, 3, 4, 5), t0 = (0.25, 0.5),
// v0 = (0.1, 0.2, 0.3, 0.4); a sample at (u, v) is (u, v, 0.5, 1 - u).
const ProgramCase kPrograms[] = {
    {"constant", "float4 main() : COLOR0 { return vColor; }", {0.5f, 0.25f, 1, 0.75f}},
    {"product of constants", "float4 main() : COLOR { return vColor * k; }", {1, 0.75f, 4, 3.75f}},
    {"swizzle", "float4 main() : COLOR0 { return vColor.wzyx; }", {0.75f, 1, 0.25f, 0.5f}},
    {"colour-set swizzle", "float4 main() : COLOR0 { return k.bgra; }", {4, 3, 2, 5}},
    {"scalar broadcast", "float4 main() : COLOR0 { return vColor.y; }", {0.25f, 0.25f, 0.25f, 0.25f}},
    {"scalar times vector", "float4 main() : COLOR0 { return 2 * vColor; }", {1, 0.5f, 2, 1.5f}},
    {"sum and difference", "float4 main() : COLOR0 { return k - vColor * 2 + 1; }",
     {2, 3.5f, 3, 4.5f}},
    {"negation", "float4 main() : COLOR0 { return -vColor + k; }", {1.5f, 2.75f, 3, 4.25f}},
    {"parentheses", "float4 main() : COLOR0 { return (k - 1) * (vColor + vColor); }",
     {1, 1, 6, 6}},
    {"constructor from parameters",
     "float4 main(float2 uv : TEXCOORD0) : COLOR0 { return float4(uv.y, uv, 1); }",
     {0.5f, 0.25f, 0.5f, 1}},
    {"literal constructor folded", "float4 main() : COLOR0 { return float4(1, 0.5, 0.25, 0) * 2; }",
     {2, 1, 0.5f, 0}},
    {"colour input", "float4 main(float4 c : COLOR0) : COLOR0 { return c * k; }",
     {0.2f, 0.6f, 1.2f, 2}},
    {"sample", "float4 main(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(s, uv); }",
     {0.25f, 0.5f, 0.5f, 0.75f}},
    {"sample swizzled coordinates and result",
     "float4 main(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(s, uv.yx).bgra; }",
     {0.5f, 0.25f, 0.5f, 0.5f}},
    {"sample at literal coordinates",
     "float4 main() : COLOR0 { return tex2D(s, float2(0.75, 0.125)); }", {0.75f, 0.125f, 0.5f, 0.25f}},
    {"struct in and out",
     "PS_OUTPUT main(VS_OUTPUT In) { PS_OUTPUT o; o.RGBColor = In.TextureUV.xyxy * In.Diffuse;\r\n"
     "  return o; }",
     {0.025f, 0.1f, 0.075f, 0.2f}},
    {"struct copy",
     "PS_OUTPUT main() { PS_OUTPUT a; a.RGBColor = k; PS_OUTPUT b = a; a.RGBColor = 0;\r\n"
     "  return b; }",
     {2, 3, 4, 5}},
    {"struct copied from the input, POSITION left out",
     "PS_OUTPUT main(VS_OUTPUT In) { VS_OUTPUT c = In; PS_OUTPUT o; o.RGBColor = c.Diffuse;\r\n"
     "  return o; }",
     {0.1f, 0.2f, 0.3f, 0.4f}},
    {"locals, masks and compound assignment",
     "float4 main(float2 uv : TEXCOORD0) : COLOR0 {\r\n"
     "  float4 c = vColor;   // (0.5, 0.25, 1, 0.75)\r\n"
     "  c.xy = uv.yx;        /* (0.5, 0.25, ...) */\r\n"
     "  c.w *= 2;\r\n"
     "  c.z += k.x;\r\n"
     "  c.rg -= 0.25;\r\n"
     "  return c; }",
     {0.25f, 0, 3, 1.5f}},
    {"a value copied after another statement read it",
     "float4 main() : COLOR0 { float4 a = vColor * k; float4 b = a * 2; float4 c = a;\r\n"
     "  return b + c; }",
     {3, 2.25f, 12, 11.25f}},
    {"a copy into a variable written in between",
     "float4 main() : COLOR0 { float4 t = vColor * k; float4 c = k; c = t; return c; }",
     {1, 0.75f, 4, 3.75f}},
    {"a copy into a variable read in between",
     "float4 main() : COLOR0 { float4 c = vColor * k; float4 t = vColor * 2; float4 u = c * 3;\r\n"
     "  c = t; return c + u; }",
     {4, 2.75f, 14, 12.75f}},
    {"nested block shadows",
     "float4 main() : COLOR0 { float4 c = k; { float4 c = vColor; c.x = 9; } return c; }",
     {2, 3, 4, 5}},
    {"several declarators",
     "float4 main() : COLOR0 { float a = 2, b = a * 3; return float4(a, b, a + b, b - a); }",
     {2, 6, 8, 4}},
    {"truncation with a warning",
     "float4 main() : COLOR0 { float3 x = vColor; half4 h = float4(x, 1); return h; }",
     {0.5f, 0.25f, 1, 1}},
    {"parameter written to",
     "float4 main(float2 uv : TEXCOORD0) : COLOR0 { uv.x = 1; return uv.xyxy; }",
     {1, 0.5f, 1, 0.5f}},
    {"void parameter list and unary plus", "float4 main(void) : SV_Target { return +k; }",
     {2, 3, 4, 5}},
    {"other functions are checked, not run",
     "float4 helper(float4 x) { return x * 100; }\r\n"
     "float4 main() : COLOR0 { return vColor; }",
     {0.5f, 0.25f, 1, 0.75f}},
};

TEST(CompiledProgram, ComputesWhatTheSourceSays) {
  for (const ProgramCase& c : kPrograms) {
    SCOPED_TRACE(c.name);
    auto compiled = Compile(std::string(kPrelude) + c.function);
    ASSERT_EQ(compiled->hr, D3D_OK) << compiled->messages;
    FakeDevice device;
    const D3DXVECTOR4 vColor(0.5f, 0.25f, 1, 0.75f), k(2, 3, 4, 5);
    compiled->table->SetVector(&device, "vColor", &vColor);
    compiled->table->SetVector(&device, "k", &k);
    auto p = DecodeOrFail(compiled->tokens);
    PixelShaderInputs inputs{};
    inputs.texcoord[0][0] = 0.25f;
    inputs.texcoord[0][1] = 0.5f;
    const float diffuse[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    std::memcpy(inputs.color[0], diffuse, sizeof diffuse);
    SampleLog log;
    float out[4];
    RunPixelShader(*p, device.constants, inputs, CoordinateSample, &log, out);
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(out[i], c.expected[i]) << "component " << i;
  }
}

TEST(CompiledProgram, WarningsComeBackWithSuccess) {
  auto c = Compile(std::string(kPrelude) +
                   "float4 main() : COLOR0 {\n  float2 x = vColor;\n  return x.xyxy; }");
  ASSERT_EQ(c->hr, D3D_OK);
  ASSERT_TRUE(c->hasMessages);
  EXPECT_TRUE(c->messagesNulTerminated);
  EXPECT_NE(c->messages.find("(9,14): warning X3206: implicit truncation of vector type"),
            std::string::npos)
      << c->messages;
}

TEST(CompiledProgram, CopiesThroughLocalsAndTheReturnAreOptimisedAway) {
  auto c = Compile(std::string(kPrelude) + "PS_OUTPUT main() { PS_OUTPUT o; o.RGBColor = vColor; return o; }");
  ASSERT_EQ(c->hr, D3D_OK);
  auto p = DecodeOrFail(c->tokens);
  // Copies through the local and the return are gone: one move.
  EXPECT_EQ(p->instructionCount, 1u);
}

// --- the source length is the only end ------------------------------------------

TEST(SourceLength, IsHonouredExactly) {
  const std::string good = "float4 main() : COLOR0 { return 1; }";
  // Bytes after the length are never read: garbage there changes nothing.
  auto c = Compile(good + "@@@ garbage \xFF", "main", "ps_3_0", good.size());
  EXPECT_EQ(c->hr, D3D_OK) << c->messages;
  // A length that cuts the source ends it there.
  auto cut = Compile(good, "main", "ps_3_0", good.size() - 1);
  EXPECT_TRUE(FAILED(cut->hr));
  EXPECT_NE(cut->messages.find("(1,36): error X3000: syntax error: unexpected end of file"),
            std::string::npos)
      << cut->messages;
  // Length zero with no pointer: an empty source.
  auto empty = Compile("", "main");
  EXPECT_TRUE(FAILED(empty->hr));
  EXPECT_NE(empty->messages.find("(1,1): error X3501: 'main': entrypoint not found"),
            std::string::npos);
}

TEST(SourceLength, NullSourceWithLengthIsAnInvalidCall) {
  ID3DXBuffer* code = reinterpret_cast<ID3DXBuffer*>(1);
  ID3DXBuffer* errors = nullptr;
  ID3DXConstantTable* table = reinterpret_cast<ID3DXConstantTable*>(1);
  EXPECT_EQ(D3DXCompileShader(nullptr, 10, nullptr, nullptr, "main", "ps_3_0", 0, &code, &errors,
                              &table),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(code, nullptr);
  EXPECT_EQ(table, nullptr);
  ASSERT_NE(errors, nullptr);
  errors->Release();
}

TEST(SourceLength, MacrosAreRefusedNotIgnored) {
  const char source[] = "float4 main() : COLOR0 { return 1; }";
  const D3DXMACRO macros[] = {{"X", "1"}, {nullptr, nullptr}};
  const D3DXMACRO none[] = {{nullptr, nullptr}};
  ID3DXBuffer* code = nullptr;
  EXPECT_TRUE(FAILED(D3DXCompileShader(source, sizeof source - 1, macros, nullptr, "main", "ps_3_0",
                                       0, &code, nullptr, nullptr)));
  EXPECT_EQ(D3DXCompileShader(source, sizeof source - 1, none, nullptr, "main", "ps_3_0", 0, &code,
                              nullptr, nullptr),
            D3D_OK);
  ASSERT_NE(code, nullptr);
  code->Release();
}

// --- broken sources --------------------------------------------------------------

struct BrokenCase {
  const char* name;
  std::string source;
  // Where the error must point: the '|' in `at` marks the spot within the
  // text of `at` found in the source (without the '|'); "<START>" is 1,1 and
  // "<END>" the position after the last byte.
  const char* at;
  const char* code;
  const char* entry;
};

void ExpectedPosition(const std::string& source, const std::string& at, int* line, int* column) {
  size_t offset;
  if (at == "<START>") {
    offset = 0;
  } else if (at == "<END>") {
    offset = source.size();
  } else {
    const size_t bar = at.find('|');
    std::string text = at;
    size_t within = 0;
    if (bar != std::string::npos) {
      text.erase(bar, 1);
      within = bar;
    }
    const size_t found = source.find(text);
    ASSERT_NE(found, std::string::npos) << "marker '" << at << "' not in the source";
    offset = found + within;
  }
  *line = 1;
  *column = 1;
  for (size_t i = 0; i < offset; ++i) {
    if (source[i] == '\n' || (source[i] == '\r' && (i + 1 >= source.size() || source[i + 1] != '\n'))) {
      ++*line;
      *column = 1;
    } else if (source[i] != '\r') {
      ++*column;
    }
  }
}

std::vector<BrokenCase> BrokenCases() {
  const std::string pre =
      "float4 vColor;\r\n"
      "texture g_Texture;\r\n"
      "sampler s = sampler_state { Texture = (g_Texture); };\r\n"
      "struct PS_OUTPUT { float4 RGBColor : COLOR0; };\r\n"
      "struct VS_OUTPUT { float4 Position : POSITION; float2 TextureUV : TEXCOORD0; };\r\n";
  std::vector<BrokenCase> cases = {
      {"undeclared identifier", pre + "float4 main() : COLOR0\r\n{\r\n    return vColr;\r\n}\r\n",
       "vColr", "X3004", "main"},
      {"missing semicolon",
       pre + "float4 main() : COLOR0\r\n{\r\n    float4 c = vColor\r\n    return c;\r\n}\r\n",
       "return", "X3000", "main"},
      {"type mismatch",
       pre + "float4 main(float2 uv : TEXCOORD0) : COLOR0\r\n{\r\n    float4 c = uv;\r\n    return c;\r\n}\r\n",
       "uv;", "X3017", "main"},
      {"struct where a vector belongs",
       pre + "PS_OUTPUT main(VS_OUTPUT In) { PS_OUTPUT o; o.RGBColor = In; return o; }", "In; r",
       "X3017", "main"},
      {"vector times struct",
       pre + "PS_OUTPUT main(VS_OUTPUT In) { PS_OUTPUT o; o.RGBColor = vColor * In; return o; }",
       "* In", "X3020", "main"},
      {"unknown function", pre + "float4 main() : COLOR0 { return blend(vColor, 2); }", "blend",
       "X3004", "main"},
      {"intrinsic outside the subset", pre + "float4 main() : COLOR0 { return saturate(vColor); }",
       "saturate", "X3000", "main"},
      {"calling a user function",
       pre + "float4 f() { return 1; }\r\nfloat4 main() : COLOR0 { return f(); }", "return |f()", "X3000",
       "main"},
      {"tex2D with one argument", pre + "float4 main() : COLOR0 { return tex2D(s); }", "tex2D(s",
       "X3013", "main"},
      {"tex2D of a non-sampler",
       pre + "float4 main(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(vColor, uv); }",
       "vColor, uv", "X3017", "main"},
      {"tex2D of a scalar", pre + "float4 main() : COLOR0 { return tex2D(s, 0.5); }", "0.5",
       "X3017", "main"},
      {"wrong member",
       pre + "PS_OUTPUT main() {\r\n  PS_OUTPUT Out;\r\n  Out.RGBColr = vColor;\r\n  return Out;\r\n}",
       "RGBColr", "X3018", "main"},
      {"member read that does not exist",
       pre + "float4 main(VS_OUTPUT In) : COLOR0 { return In.UV.xyxy; }", "UV.", "X3018", "main"},
      {"swizzle letter", pre + "float4 main() : COLOR0 { return vColor.xyq; }", "xyq", "X3018",
       "main"},
      {"swizzle past the vector",
       pre + "float4 main(float2 uv : TEXCOORD0) : COLOR0 { return uv.z; }", "z;", "X3018", "main"},
      {"duplicate component written",
       pre + "float4 main() : COLOR0 { float4 c = 0; c.xx = 1; return c; }", "xx", "X3018", "main"},
      {"reading POSITION", pre + "float4 main(VS_OUTPUT In) : COLOR0 { return In.Position; }",
       "Position;", "X4502", "main"},
      {"uninitialised variable",
       pre + "float4 main() : COLOR0 {\r\n  float4 c;\r\n  c.xyz = 1;\r\n  return c;\r\n}",
       "return |c", "X4000", "main"},
      {"uninitialised struct member",
       pre + "PS_OUTPUT main() { PS_OUTPUT o; return o; }", "return |o", "X4000", "main"},
      {"missing return", pre + "float4 main() : COLOR0 { float4 c = 1;\r\n}", "1;\r\n|}", "X3080",
       "main"},
      {"assignment to a global", pre + "float4 main() : COLOR0 { vColor = 1; return vColor; }",
       "{ |vColor", "X3025", "main"},
      {"redefinition", "float4 a;\r\nfloat4 a;\r\n", "\nfloat4 |a", "X3003", "main"},
      {"local redefinition", "float4 main() : COLOR0 { float4 a = 1; float a = 2; return a; }",
       "float |a", "X3003", "main"},
      {"if statement", pre + "float4 main() : COLOR0 { if (1) return 1; return 0; }", "if",
       "X3000", "main"},
      {"comparison operator", pre + "float4 main() : COLOR0 { return vColor < 1; }", "<", "X3000",
       "main"},
      {"division by a variable", pre + "float4 main() : COLOR0 { return vColor / 2; }", "/",
       "X3000", "main"},
      {"constant division by zero", pre + "float4 main() : COLOR0 { return 1 / 0; }", "/", "X3000",
       "main"},
      {"unterminated comment", pre + "/* this comment\r\n never ends\r\nfloat4 main() : COLOR0 { return 1; }",
       "/*", "X3000", "main"},
      {"unterminated function", pre + "float4 main() : COLOR0 { return 1;", "<END>", "X3000", "main"},
      {"struct without semicolon",
       "struct S { float4 c : COLOR0; }\r\nfloat4 main() : COLOR0 { return 1; }", "\n|float4",
       "X3000", "main"},
      {"bad sampler_state value",
       pre + "sampler t = sampler_state { Texture = <g_Texture>; MipFilter = BILINEAR; };",
       "BILINEAR", "X3000", "main"},
      {"unknown sampler state", pre + "sampler t = sampler_state { MipFiltr = LINEAR; };",
       "MipFiltr", "X3000", "main"},
      {"sampler_state texture not a texture",
       pre + "sampler t = sampler_state { Texture = (vColor); };", "vColor)", "X3017", "main"},
      {"sampler_state texture undeclared",
       pre + "sampler t = sampler_state { Texture = <g_Textur>; };", "g_Textur>", "X3004", "main"},
      {"sampler_state missing semicolon",
       pre + "sampler t = sampler_state { MinFilter = LINEAR MagFilter = LINEAR; };",
       "MagFilter", "X3000", "main"},
      {"sampler without sampler_state", pre + "sampler t = 4;", "4;", "X3000", "main"},
      {"missing entry point", pre + "float4 other() : COLOR0 { return 1; }", "<START>", "X3501",
       "main"},
      {"entry point differs in case", pre + "float4 Main() : COLOR0 { return 1; }", "<START>",
       "X3501", "main"},
      {"entry point without output semantic", pre + "float4 main() { return 1; }", "main",
       "X3503", "main"},
      {"entry point returning only depth",
       "struct O { float4 d : DEPTH; };\r\nO main() { O o; o.d = 1; return o; }", "DEPTH;",
       "X4502", "main"},
      {"empty source", "", "<START>", "X3501", "main"},
      {"only a comment", "// nothing here", "<START>", "X3501", "main"},
      {"non-ASCII byte", pre + "float4 main() : COLOR0 { return vColor\xC3\xA9; }", "\xC3", "X3000",
       "main"},
      {"NUL byte", pre + "float4 main() : COLOR0 { return " + '\0' + "; }", "return |", "X3000",
       "main"},
      {"huge number", pre + "float4 main() : COLOR0 { return 1e39; }", "1e39", "X3000", "main"},
      {"huge number in digits",
       pre + "float4 main() : COLOR0 { return " + std::string(60, '9') + "; }", "999", "X3000",
       "main"},
      {"overflowing constant product", pre + "float4 main() : COLOR0 { return 3e38 * 10; }", "*",
       "X3000", "main"},
      {"hexadecimal literal", pre + "float4 main() : COLOR0 { return 0x10; }", "0x10", "X3000",
       "main"},
      {"string literal", pre + "float4 main() : COLOR0 { return \"red\"; }", "\"red", "X3000",
       "main"},
      {"preprocessor", "#define RED 1\r\nfloat4 main() : COLOR0 { return 1; }", "#", "X3000",
       "main"},
      {"identifier too long",
       pre + "float4 main() : COLOR0 { return " + std::string(200, 'v') + "; }", "vvv", "X3000",
       "main"},
      {"cast", pre + "float4 main() : COLOR0 { return (float4)1; }", "(float4", "X3000", "main"},
      {"matrix type", "float4x4 m;\r\nfloat4 main() : COLOR0 { return 1; }", "float4x4", "X3000",
       "main"},
      {"stray closing brace", pre + "}\r\nfloat4 main() : COLOR0 { return 1; }", "\n|}", "X3000",
       "main"},
  };
  return cases;
}

TEST(BrokenSource, FailsWithAnErrorAtTheRightLineAndColumn) {
  for (const BrokenCase& c : BrokenCases()) {
    SCOPED_TRACE(c.name);
    auto compiled = Compile(c.source, c.entry);
    EXPECT_EQ(compiled->hr, E_FAIL);
    EXPECT_TRUE(compiled->tokens.empty());
    EXPECT_EQ(compiled->table, nullptr);
    ASSERT_TRUE(compiled->hasMessages);
    EXPECT_TRUE(compiled->messagesNulTerminated);
    int line = 0, column = 0;
    ExpectedPosition(c.source, c.at, &line, &column);
    char expected[64];
    std::snprintf(expected, sizeof expected, "(%d,%d): error %s: ", line, column, c.code);
    EXPECT_EQ(compiled->messages.rfind(expected, 0), 0u)
        << "expected " << expected << "\n got " << compiled->messages;
  }
}

TEST(BrokenSource, DeepNestingIsAnErrorNotACrash) {
  const std::string head = "float4 main() : COLOR0 { return ";
  {
    // Parentheses: the 65th level is refused.
    std::string source = head + std::string(100000, '(') + "1" + std::string(100000, ')') + "; }";
    auto c = Compile(source);
    EXPECT_EQ(c->hr, E_FAIL);
    char expected[64];
    std::snprintf(expected, sizeof expected, "(1,%zu): error X3000: expression nested too deeply",
                  head.size() + 1 + 64);
    EXPECT_EQ(c->messages.rfind(expected, 0), 0u) << c->messages;
  }
  {
    std::string source = head;
    for (int i = 0; i < 50000; ++i) source += "- ";
    source += "1; }";
    auto c = Compile(source);
    EXPECT_EQ(c->hr, E_FAIL);
    EXPECT_NE(c->messages.find("nested too deeply"), std::string::npos) << c->messages;
  }
  {
    // Blocks: the body is level 1; the 33rd level is refused.
    std::string source = "float4 main() : COLOR0 " + std::string(1000, '{') + "return 1;" +
                         std::string(1000, '}');
    auto c = Compile(source);
    EXPECT_EQ(c->hr, E_FAIL);
    char expected[64];
    std::snprintf(expected, sizeof expected, "(1,%d): error X3000: blocks nested too deeply",
                  24 + 33);
    EXPECT_EQ(c->messages.rfind(expected, 0), 0u) << c->messages;
  }
}

TEST(BrokenSource, OversizedSourceAndProgramsAreRefused) {
  const std::string program = "float4 main() : COLOR0 { return 1; }";
  auto big = Compile(program + std::string(standin::hlsl::kMaxSourceLength, ' '));
  EXPECT_EQ(big->hr, E_FAIL);
  EXPECT_EQ(big->messages.rfind("(1,1): error X3000: source too large", 0), 0u) << big->messages;

  // 99 products fit the 512 slots of ps_3_0 but not the 96 of ps_2_0.
  std::string chain = "float4 vColor;\nfloat4 main() : COLOR0 { return vColor";
  for (int i = 0; i < 99; ++i) chain += " * vColor";
  chain += "; }";
  EXPECT_EQ(Compile(chain, "main", "ps_3_0")->hr, D3D_OK);
  auto small = Compile(chain, "main", "ps_2_0");
  EXPECT_EQ(small->hr, E_FAIL);
  EXPECT_NE(small->messages.find("(2,8): error X5608: 'main': the program needs 99 instruction slots, ps_2_0 has 96"),
            std::string::npos)
      << small->messages;
}

}  // namespace
