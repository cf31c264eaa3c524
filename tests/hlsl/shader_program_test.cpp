// The pixel shader token format: the decoder's checks, the reference
// interpreter and the classifier of the two common programs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "d3d9/shader_program.h"

using namespace standin;

namespace {

// Builds a token stream; Finish() appends END and writes the count.
struct Stream {
  std::vector<DWORD> t{kShaderHeader, 0};

  Stream& Op(ShaderOp op, std::initializer_list<DWORD> operands) {
    t.push_back(MakeInstructionToken(op, static_cast<uint32_t>(operands.size())));
    t.insert(t.end(), operands);
    return *this;
  }
  Stream& Def(uint32_t index, float x, float y, float z, float w) {
    t.push_back(MakeInstructionToken(kOpDef, 5));
    t.push_back(MakeDestToken(kFileLiteral, index, 0xF));
    for (float f : {x, y, z, w}) {
      DWORD bits;
      std::memcpy(&bits, &f, sizeof bits);
      t.push_back(bits);
    }
    return *this;
  }
  std::vector<DWORD> Finish() {
    std::vector<DWORD> out = t;
    out.push_back(MakeInstructionToken(kOpEnd, 0));
    out[1] = static_cast<DWORD>(out.size());
    return out;
  }
};

DWORD Dst(ShaderFile f, uint32_t i, uint32_t mask = 0xF) { return MakeDestToken(f, i, mask); }
DWORD Src(ShaderFile f, uint32_t i, uint32_t swizzle = kSwizzleIdentity, bool neg = false) {
  return MakeSourceToken(f, i, swizzle, neg);
}
const DWORD kOut = MakeDestToken(kFileOutput, 0, 0xF);

// output = c0 * sample(s0, t0): the show's TexturePS.
std::vector<DWORD> ModulateProgram() {
  return Stream()
      .Op(kOpTex, {Dst(kFileTemp, 0), Src(kFileTexcoord, 0), MakeSamplerToken(0)})
      .Op(kOpMul, {kOut, Src(kFileConst, 0), Src(kFileTemp, 0)})
      .Finish();
}

std::unique_ptr<ShaderProgram> Decode(const std::vector<DWORD>& tokens, std::string* error) {
  auto program = std::make_unique<ShaderProgram>();
  char text[200] = "untouched";
  bool ok = DecodePixelShader(tokens.data(), program.get(), text, sizeof text);
  *error = text;
  return ok ? std::move(program) : nullptr;
}

TEST(ShaderProgramDecode, AcceptsWellFormedProgramAndReportsWhatItReads) {
  std::string error;
  auto p = Decode(Stream()
                      .Def(0, 0.5f, 1.0f, 2.0f, -1.0f)
                      .Op(kOpTex, {Dst(kFileTemp, 3), Src(kFileTexcoord, 2), MakeSamplerToken(5)})
                      .Op(kOpMul, {Dst(kFileTemp, 3, 0x7), Src(kFileTemp, 3), Src(kFileConst, 9)})
                      .Op(kOpAdd, {kOut, Src(kFileTemp, 3), Src(kFileColor, 1)})
                      .Op(kOpMov, {Dst(kFileOutput, 0, 0x8), Src(kFileLiteral, 0)})
                      .Finish(),
                  &error);
  ASSERT_TRUE(p) << error;
  EXPECT_EQ(error, "");
  EXPECT_EQ(p->instructionCount, 4u);  // DEF is not an instruction
  EXPECT_EQ(p->tokenCount, 24u);
  EXPECT_EQ(p->texcoordMask, 1u << 2);
  EXPECT_EQ(p->colorMask, 1u << 1);
  EXPECT_EQ(p->samplerMask, 1u << 5);
  EXPECT_EQ(p->constantCount, 10u);
  EXPECT_EQ(p->literals[0][3], -1.0f);
}

struct CorruptCase {
  const char* name;
  std::vector<DWORD> tokens;
  const char* reason;  // a fragment of the decoder's message
};

std::vector<CorruptCase> CorruptCases() {
  std::vector<CorruptCase> cases;
  auto good = ModulateProgram();  // 11 tokens: header, count, TEX(4), MUL(4), END

  auto edit = [&](const char* name, const char* reason, auto change) {
    std::vector<DWORD> t = good;
    change(t);
    cases.push_back({name, t, reason});
  };
  edit("bad magic", "not a stand-in pixel shader", [](auto& t) { t[0] = 0xFFFF0300; });
  edit("unknown version", "version", [](auto& t) { t[0] = (kShaderMagic << 16) | 0x0200; });
  edit("count too big", "token count", [](auto& t) { t[1] = 0x7FFFFFFF; });
  edit("count just over the maximum", "token count", [](auto& t) { t[1] = kMaxShaderTokens + 1; });
  edit("count too small", "token count", [](auto& t) { t[1] = 2; });
  edit("count cuts the program", "runs past the end", [](auto& t) { t[1] = 7; });
  edit("count beyond END", "END before the last token", [](auto& t) {
    t.push_back(0);
    t[1] = 12;
  });
  edit("missing END", "no room for END", [](auto& t) {
    t.pop_back();
    t[1] = 10;
  });
  edit("unknown opcode", "unknown opcode", [](auto& t) { t[2] = MakeInstructionToken(kOpTex, 3) + 9; });
  edit("wrong operand count", "operands", [](auto& t) { t[6] = MakeInstructionToken(kOpMul, 2); });
  edit("instruction reserved bits", "reserved", [](auto& t) { t[6] |= 0x80000000u; });
  edit("constant register out of range", "out of range",
       [](auto& t) { t[8] = Src(kFileConst, kMaxShaderConstants); });
  edit("texcoord out of range", "out of range", [](auto& t) { t[4] = Src(kFileTexcoord, 8); });
  edit("temp out of range", "out of range", [](auto& t) { t[3] = Dst(kFileTemp, 32); });
  edit("sampler out of range", "sampler index", [](auto& t) { t[5] = MakeSamplerToken(16); });
  edit("sampler operand of wrong file", "sampler register",
       [](auto& t) { t[5] = Src(kFileConst, 0, 0); });
  edit("unknown register file", "register file", [](auto& t) { t[8] = Src(ShaderFile(9), 0); });
  edit("constant as destination", "cannot be written", [](auto& t) { t[7] = Dst(kFileConst, 0); });
  edit("output read as source", "cannot be read", [](auto& t) { t[8] = Src(kFileOutput, 0); });
  edit("empty write mask", "write mask", [](auto& t) { t[7] = Dst(kFileOutput, 0, 0); });
  edit("destination with swizzle bits", "destination", [](auto& t) { t[7] |= 0x00E40000u; });
  edit("source with mask bits", "source", [](auto& t) { t[8] |= 0x0000F000u; });
  edit("temp read before written", "read before it is written",
       [](auto& t) { t[9] = Src(kFileTemp, 1); });
  edit("temp component never written", "read before it is written", [](auto& t) {
    t[3] = Dst(kFileTemp, 0, 0x7);  // the MUL still reads .w
  });
  edit("output partly written", "not completely written",
       [](auto& t) { t[7] = Dst(kFileOutput, 0, 0x7); });
  cases.push_back({"literal read before DEF", Stream().Op(kOpMov, {kOut, Src(kFileLiteral, 0)}).Finish(),
                   "before it is defined"});
  cases.push_back({"literal defined twice",
                   Stream().Def(0, 1, 1, 1, 1).Def(0, 2, 2, 2, 2).Op(kOpMov, {kOut, Src(kFileLiteral, 0)}).Finish(),
                   "defined twice"});
  cases.push_back({"literal NaN",
                   Stream().Def(0, 1, NAN, 1, 1).Op(kOpMov, {kOut, Src(kFileLiteral, 0)}).Finish(),
                   "finite"});
  cases.push_back({"no output at all", Stream().Finish(), "not completely written"});
  return cases;
}

TEST(ShaderProgramDecode, RejectsCorruptStreams) {
  for (const CorruptCase& c : CorruptCases()) {
    SCOPED_TRACE(c.name);
    std::string error;
    EXPECT_FALSE(Decode(c.tokens, &error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
}

TEST(ShaderProgramDecode, HugeCountIsRejectedBeforeReadingOn) {
  // Only the two header tokens exist: a decoder that trusted the count
  // would read far past them (AddressSanitizer would see it).
  std::vector<DWORD> header{kShaderHeader, 0xFFFFFFFFu};
  std::string error;
  EXPECT_FALSE(Decode(header, &error));
  EXPECT_NE(error.find("token count"), std::string::npos) << error;
}

TEST(ShaderProgramDecode, NullInputsAndTinyErrorBuffer) {
  ShaderProgram program;
  EXPECT_FALSE(DecodePixelShader(nullptr, &program, nullptr, 0));
  std::vector<DWORD> bad{0, 0};
  char one[1] = {'x'};
  EXPECT_FALSE(DecodePixelShader(bad.data(), &program, one, sizeof one));
  EXPECT_EQ(one[0], '\0');
}

// Sampling stand-in: a colour made from the coordinates, and a log.
struct SampleLog {
  int calls = 0;
  uint32_t sampler = 99;
  float u = -1, v = -1;
};
void FakeSample(void* context, uint32_t sampler, const float coords[4], float rgba[4]) {
  SampleLog* log = static_cast<SampleLog*>(context);
  ++log->calls;
  log->sampler = sampler;
  log->u = coords[0];
  log->v = coords[1];
  rgba[0] = coords[0];
  rgba[1] = coords[1];
  rgba[2] = 0.5f;
  rgba[3] = 1.0f - coords[0];
}

TEST(ShaderProgramRun, ComputesSwizzlesMasksNegationAndLiterals) {
  // r0 = sample(s3, t1.yx); r1.xy = -c2.wz * r0; r1.zw = c2 + l0; out = r1
  std::string error;
  auto p = Decode(
      Stream()
          .Def(0, 10, 20, 30, 40)
          .Op(kOpTex, {Dst(kFileTemp, 0), Src(kFileTexcoord, 1, MakeSwizzle(1, 0, 2, 3)),
                       MakeSamplerToken(3)})
          .Op(kOpMul, {Dst(kFileTemp, 1, 0x3), Src(kFileConst, 2, MakeSwizzle(3, 2, 1, 0), true),
                       Src(kFileTemp, 0)})
          .Op(kOpAdd, {Dst(kFileTemp, 1, 0xC), Src(kFileConst, 2), Src(kFileLiteral, 0)})
          .Op(kOpMov, {kOut, Src(kFileTemp, 1)})
          .Finish(),
      &error);
  ASSERT_TRUE(p) << error;
  float constants[kMaxShaderConstants][4] = {};
  const float c2[4] = {1, 2, 3, 4};
  std::memcpy(constants[2], c2, sizeof c2);
  PixelShaderInputs inputs{};
  inputs.texcoord[1][0] = 0.25f;
  inputs.texcoord[1][1] = 0.75f;
  SampleLog log;
  float out[4];
  RunPixelShader(*p, constants, inputs, FakeSample, &log, out);
  EXPECT_EQ(log.calls, 1);
  EXPECT_EQ(log.sampler, 3u);
  EXPECT_EQ(log.u, 0.75f);  // .yx
  EXPECT_EQ(log.v, 0.25f);
  // The sample is (0.75, 0.25, 0.5, 0.25).
  EXPECT_FLOAT_EQ(out[0], -4 * 0.75f);
  EXPECT_FLOAT_EQ(out[1], -3 * 0.25f);
  EXPECT_FLOAT_EQ(out[2], 3 + 30);
  EXPECT_FLOAT_EQ(out[3], 4 + 40);
}

struct ClassCase {
  const char* name;
  std::vector<DWORD> tokens;
  PixelShaderPattern pattern;
  uint32_t constant, sampler, texcoord;
};

TEST(ShaderProgramClassify, RecognisesTheTwoCommonProgramsOnly) {
  std::vector<ClassCase> cases = {
      {"constant", Stream().Op(kOpMov, {kOut, Src(kFileConst, 7)}).Finish(), kPatternConstant, 7,
       0, 0},
      {"constant through a temporary",
       Stream()
           .Op(kOpMov, {Dst(kFileTemp, 4), Src(kFileConst, 1)})
           .Op(kOpMov, {kOut, Src(kFileTemp, 4)})
           .Finish(),
       kPatternConstant, 1, 0, 0},
      {"constant times texture", ModulateProgram(), kPatternConstantTimesTexture, 0, 0, 0},
      {"texture times constant, other registers",
       Stream()
           .Op(kOpTex, {Dst(kFileTemp, 2), Src(kFileTexcoord, 3), MakeSamplerToken(6)})
           .Op(kOpMul, {Dst(kFileTemp, 5), Src(kFileTemp, 2), Src(kFileConst, 4)})
           .Op(kOpMov, {kOut, Src(kFileTemp, 5)})
           .Finish(),
       kPatternConstantTimesTexture, 4, 6, 3},
      {"swizzled constant", Stream().Op(kOpMov, {kOut, Src(kFileConst, 0, MakeSwizzle(3, 2, 1, 0))}).Finish(),
       kPatternGeneral, 0, 0, 0},
      {"negated constant", Stream().Op(kOpMov, {kOut, Src(kFileConst, 0, kSwizzleIdentity, true)}).Finish(),
       kPatternGeneral, 0, 0, 0},
      {"two constants",
       Stream()
           .Op(kOpMov, {Dst(kFileOutput, 0, 0x3), Src(kFileConst, 0)})
           .Op(kOpMov, {Dst(kFileOutput, 0, 0xC), Src(kFileConst, 1)})
           .Finish(),
       kPatternGeneral, 0, 0, 0},
      {"sum instead of product",
       Stream()
           .Op(kOpTex, {Dst(kFileTemp, 0), Src(kFileTexcoord, 0), MakeSamplerToken(0)})
           .Op(kOpAdd, {kOut, Src(kFileConst, 0), Src(kFileTemp, 0)})
           .Finish(),
       kPatternGeneral, 0, 0, 0},
      {"coordinates swapped",
       Stream()
           .Op(kOpTex, {Dst(kFileTemp, 0), Src(kFileTexcoord, 0, MakeSwizzle(1, 0, 2, 3)), MakeSamplerToken(0)})
           .Op(kOpMul, {kOut, Src(kFileConst, 0), Src(kFileTemp, 0)})
           .Finish(),
       kPatternGeneral, 0, 0, 0},
      {"sample channels crossed",
       Stream()
           .Op(kOpTex, {Dst(kFileTemp, 0), Src(kFileTexcoord, 0), MakeSamplerToken(0)})
           .Op(kOpMul, {kOut, Src(kFileConst, 0), Src(kFileTemp, 0, MakeSwizzle(0, 0, 0, 3))})
           .Finish(),
       kPatternGeneral, 0, 0, 0},
      {"literal colour", Stream().Def(0, 1, 1, 1, 1).Op(kOpMov, {kOut, Src(kFileLiteral, 0)}).Finish(),
       kPatternGeneral, 0, 0, 0},
  };
  for (const ClassCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    auto p = Decode(c.tokens, &error);
    ASSERT_TRUE(p) << error;
    PixelShaderClass k = ClassifyPixelShader(*p);
    EXPECT_EQ(k.pattern, c.pattern);
    if (c.pattern != kPatternGeneral) {
      EXPECT_EQ(k.constant, c.constant);
    }
    if (c.pattern == kPatternConstantTimesTexture) {
      EXPECT_EQ(k.sampler, c.sampler);
      EXPECT_EQ(k.texcoord, c.texcoord);
    }
  }
}

}  // namespace
