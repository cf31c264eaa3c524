// Random programs of the subset, each compiled and run through the reference
// interpreter and compared with the same program evaluated here, in the
// order the source gives. It exercises what hand-written cases reach only
// in part: swizzles on either side of an assignment, masks, broadcasts,
// truncation, constructors, compound assignment, and the optimiser's copy
// propagation, coalescing and dead code removal over all of them.
#include <gtest/gtest.h>

#include <d3dx9.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>

#include "d3d9/shader_program.h"
#include "fake_device.h"

using namespace standin;

namespace {

struct Expr {
  std::string text;
  int dim = 4;
  float v[4] = {};
};

const float kVColor[4] = {0.5f, 0.25f, 1.0f, 0.75f};
const float kK[4] = {2.0f, 3.0f, 4.0f, 5.0f};
const float kUv[4] = {0.25f, 0.5f, 0.0f, 1.0f};

void Sample(void*, uint32_t, const float coords[4], float rgba[4]) {
  rgba[0] = coords[0];
  rgba[1] = coords[1];
  rgba[2] = 0.5f;
  rgba[3] = 1.0f - coords[0];
}

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  // A program and the colour it must produce.
  std::string Program(float expected[4]) {
    float sample[4];
    Sample(nullptr, 0, kUv, sample);
    for (int c = 0; c < 4; ++c) {
      vars_[0][c] = kVColor[c];
      vars_[1][c] = kK[c];
      vars_[2][c] = sample[c];
      vars_[3][c] = kVColor[c] * kK[c];
    }
    std::string body =
        "  float4 a = vColor;\r\n  float4 b = k;\r\n  float4 c = tex2D(s, uv);\r\n"
        "  float4 d = vColor * k;\r\n";
    const int statements = 1 + Rand(8);
    for (int i = 0; i < statements; ++i) body += Statement();
    Expr result = Reshape(Make(2), 4);
    for (int c = 0; c < 4; ++c) expected[c] = result.v[c];
    return "texture g_Texture;\r\nfloat4 vColor;\r\nfloat4 k;\r\n"
           "sampler s = sampler_state { Texture = <g_Texture>; };\r\n"
           "float4 main(float2 uv : TEXCOORD0) : COLOR0\r\n{\r\n" +
           body + "  return " + result.text + ";\r\n}\r\n";
  }

 private:
  int Rand(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  static std::string Letters(const int* comps, int n, bool rgba) {
    std::string s;
    for (int i = 0; i < n; ++i) s += (rgba ? "rgba" : "xyzw")[comps[i]];
    return s;
  }

  Expr Swizzled(const Expr& e, int n, bool parenthesise) {
    int comps[4];
    for (int i = 0; i < n; ++i) comps[i] = Rand(e.dim);
    Expr out;
    out.dim = n;
    for (int i = 0; i < n; ++i) out.v[i] = e.v[comps[i]];
    out.text = (parenthesise ? "(" + e.text + ")" : e.text) + "." + Letters(comps, n, Rand(2));
    return out;
  }

  // The value as `n` components: as it is, or through a swizzle.
  Expr Reshape(const Expr& e, int n) {
    if (e.dim == n && Rand(3) != 0) return e;
    return Swizzled(e, n, true);
  }

  Expr Variable(const std::string& name, const float* v, int dim) {
    Expr e;
    e.text = name;
    e.dim = dim;
    for (int c = 0; c < 4; ++c) e.v[c] = v[c];
    if (Rand(3) == 0) return Swizzled(e, 1 + Rand(4), false);
    return e;
  }

  Expr Leaf() {
    switch (Rand(6)) {
      case 0: {
        const int i = Rand(kLocals);
        return Variable(std::string(1, "abcd"[i]), vars_[i], 4);
      }
      case 1: return Variable("vColor", kVColor, 4);
      case 2: return Variable("k", kK, 4);
      case 3: return Variable("uv", kUv, 2);
      case 4: {
        static const float kLiterals[] = {0.5f, 2.0f, -1.25f, 3.0f, 0.25f, 1.0f};
        const float f = kLiterals[Rand(6)];
        Expr e;
        e.dim = 1;
        for (float& x : e.v) x = f;
        char text[32];
        std::snprintf(text, sizeof text, f < 0 ? "(%g)" : "%g", f);
        e.text = text;
        return e;
      }
      default: {
        Expr coords = Reshape(Rand(2) ? Variable("uv", kUv, 2) : Variable("vColor", kVColor, 4), 2);
        Expr e;
        e.text = "tex2D(s, " + coords.text + ")";
        Sample(nullptr, 0, coords.v, e.v);
        return e;
      }
    }
  }

  Expr Make(int depth) {
    const int kind = depth <= 0 ? 0 : Rand(6);
    if (kind <= 1) return Leaf();
    if (kind == 2) {
      Expr e = Make(depth - 1);
      Expr out = e;
      out.text = "-(" + e.text + ")";
      for (float& x : out.v) x = -x;
      return out;
    }
    if (kind == 3) {
      const int first = 1 + Rand(3);
      Expr x = Reshape(Make(depth - 1), first), y = Reshape(Make(depth - 1), 4 - first);
      Expr out;
      out.text = "float4(" + x.text + ", " + y.text + ")";
      for (int c = 0; c < first; ++c) out.v[c] = x.v[c];
      for (int c = first; c < 4; ++c) out.v[c] = y.v[c - first];
      return out;
    }
    Expr x = Make(depth - 1), y = Make(depth - 1);
    const char op = "+-*"[Rand(3)];
    return Combine(x, y, op);
  }

  static Expr Combine(const Expr& x, const Expr& y, char op) {
    Expr out;
    out.dim = x.dim == 1 ? y.dim : y.dim == 1 ? x.dim : std::min(x.dim, y.dim);
    for (int c = 0; c < 4; ++c) {
      const float a = x.v[x.dim == 1 ? 0 : c], b = y.v[y.dim == 1 ? 0 : c];
      out.v[c] = op == '+' ? a + b : op == '-' ? a - b : a * b;
    }
    out.text = "(" + x.text + " " + op + " " + y.text + ")";
    return out;
  }

  std::string Statement() {
    const int target = Rand(kLocals);
    const std::string name(1, "abcd"[target]);
    float* var = vars_[target];
    // Which components are written, in the order the swizzle names them.
    int comps[4] = {0, 1, 2, 3};
    int n = 4;
    std::string lhs = name;
    if (Rand(2)) {
      std::shuffle(comps, comps + 4, rng_);
      n = 1 + Rand(4);
      lhs += "." + Letters(comps, n, Rand(2));
    }
    // Plain copies between locals give the optimiser moves to fold.
    const int from = Rand(kLocals);
    Expr value = Rand(4) == 0 ? Variable(std::string(1, "abcd"[from]), vars_[from], 4) : Make(2);
    if (value.dim != 1 || Rand(2)) value = Reshape(value, n);
    std::string op = "=";
    if (Rand(3) == 0) {
      const char symbol = "+-*"[Rand(3)];
      Expr current;
      current.dim = n;
      for (int i = 0; i < n; ++i) current.v[i] = var[comps[i]];
      const std::string operand = value.text;
      value = Combine(current, value, symbol);
      value.text = operand;
      op = std::string(1, symbol) + "=";
    }
    for (int i = 0; i < n; ++i) var[comps[i]] = value.v[value.dim == 1 ? 0 : i];
    return "  " + lhs + " " + op + " " + value.text + ";\r\n";
  }

  static constexpr int kLocals = 4;
  std::mt19937 rng_;
  float vars_[kLocals][4] = {};
};

TEST(RandomPrograms, CompileToWhatTheyMean) {
  for (unsigned seed = 1; seed <= 400; ++seed) {
    Generator generator(seed);
    float expected[4];
    const std::string source = generator.Program(expected);
    SCOPED_TRACE(source);
    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* errors = nullptr;
    ID3DXConstantTable* table = nullptr;
    const HRESULT hr = D3DXCompileShader(source.data(), static_cast<UINT>(source.size()), nullptr,
                                         nullptr, "main", "ps_3_0", 0, &code, &errors, &table);
    std::string messages = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
    if (errors) errors->Release();
    ASSERT_EQ(hr, D3D_OK) << messages;
    // Only truncation may be warned about.
    EXPECT_TRUE(messages.empty() || messages.find("X3206") != std::string::npos) << messages;

    FakeDevice device;
    const D3DXVECTOR4 vColor(kVColor[0], kVColor[1], kVColor[2], kVColor[3]);
    const D3DXVECTOR4 k(kK[0], kK[1], kK[2], kK[3]);
    table->SetVector(&device, "vColor", &vColor);
    table->SetVector(&device, "k", &k);
    table->Release();

    auto program = std::make_unique<ShaderProgram>();
    char reason[200];
    ASSERT_TRUE(DecodePixelShader(static_cast<const DWORD*>(code->GetBufferPointer()),
                                  program.get(), reason, sizeof reason))
        << reason;
    code->Release();
    PixelShaderInputs inputs{};
    for (int c = 0; c < 4; ++c) inputs.texcoord[0][c] = kUv[c];
    float out[4];
    RunPixelShader(*program, device.constants, inputs, Sample, nullptr, out);
    for (int c = 0; c < 4; ++c)
      ASSERT_NEAR(out[c], expected[c], 1e-5 * std::max(1.0f, std::fabs(expected[c])))
          << "component " << c;
  }
}

}  // namespace
