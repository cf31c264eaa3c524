// Compiled pixel shaders of the stand-in: our own token format, its decoder,
// a reference interpreter and a classifier for the programs the rasteriser
// draws with specialised span loops.
//
// Token stream (32-bit little-endian words):
//   [0]  header: kShaderMagic << 16 | kShaderVersion
//   [1]  total number of tokens, header and END included
//   then instructions, each an instruction token followed by its operands,
//   and last the END token.
//
// Instruction token: bits 0-7 opcode, bits 8-11 number of operand tokens
// that follow; all other bits zero.
//
// Operand token:
//   bits 0-7    register index
//   bits 8-11   register file (ShaderFile)
//   bits 12-15  write mask, destinations only (bit 0 = x ... bit 3 = w)
//   bits 16-23  swizzle, sources only: two bits per output component, x first
//   bit  24     negate, sources only
// Every bit a role does not use must be zero.
//
// Instructions:
//   MOV dst, src          dst = src
//   ADD dst, a, b         dst = a + b
//   MUL dst, a, b         dst = a * b (component by component)
//   TEX dst, coord, s#    dst = 2D sample of sampler s# at coord.xy
//   DEF l#, x, y, z, w    literal register l# = (x, y, z, w) as raw floats;
//                         must come before any read of l#
//   END
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <windows.h>

namespace standin {

constexpr DWORD kShaderMagic = 0x5350;  // "SP"
constexpr DWORD kShaderVersion = 0x0100;
constexpr DWORD kShaderHeader = (kShaderMagic << 16) | kShaderVersion;

// A stream longer than this is corrupt: no program within the instruction
// and literal limits below needs more.
constexpr uint32_t kMaxShaderTokens = 4096;
constexpr uint32_t kMaxShaderInstructions = 512;  // DEF not counted

constexpr uint32_t kMaxShaderTemps = 32;
constexpr uint32_t kMaxShaderConstants = 224;
constexpr uint32_t kMaxShaderTexcoords = 8;
constexpr uint32_t kMaxShaderColors = 2;
constexpr uint32_t kMaxShaderSamplers = 16;
constexpr uint32_t kMaxShaderOutputs = 1;
constexpr uint32_t kMaxShaderLiterals = 32;

enum ShaderOp : uint8_t {
  kOpMov = 1,
  kOpAdd = 2,
  kOpMul = 3,
  kOpTex = 4,
  kOpDef = 5,
  kOpEnd = 0x7F,
};

enum ShaderFile : uint8_t {
  kFileNone = 0,
  kFileTemp = 1,      // r#: read-write scratch
  kFileConst = 2,     // c#: float4 constants set by the application
  kFileTexcoord = 3,  // t#: interpolated texture coordinate sets
  kFileColor = 4,     // v#: interpolated vertex colours
  kFileSampler = 5,   // s#: texture samplers
  kFileOutput = 6,    // oC0: the colour written to the render target
  kFileLiteral = 7,   // l#: constants carried by the program (DEF)
};

constexpr uint8_t kSwizzleIdentity = 0xE4;  // x y z w

inline DWORD MakeInstructionToken(ShaderOp op, uint32_t operandCount) {
  return static_cast<DWORD>(op) | (operandCount << 8);
}
inline DWORD MakeDestToken(ShaderFile file, uint32_t index, uint32_t mask) {
  return index | (static_cast<DWORD>(file) << 8) | (mask << 12);
}
inline DWORD MakeSourceToken(ShaderFile file, uint32_t index, uint32_t swizzle = kSwizzleIdentity,
                             bool negate = false) {
  return index | (static_cast<DWORD>(file) << 8) | (swizzle << 16) | (negate ? 1u << 24 : 0u);
}
inline DWORD MakeSamplerToken(uint32_t index) {
  return index | (static_cast<DWORD>(kFileSampler) << 8);
}
// Swizzle from four component numbers (0 = x ... 3 = w).
inline uint32_t MakeSwizzle(uint32_t x, uint32_t y, uint32_t z, uint32_t w) {
  return x | (y << 2) | (z << 4) | (w << 6);
}

struct ShaderOperand {
  uint8_t file = kFileNone;
  uint8_t index = 0;
  uint8_t mask = 0;           // destinations
  uint8_t swizzle[4] = {};    // sources: component read for each of x, y, z, w
  bool negate = false;        // sources
};

struct ShaderInstruction {
  uint8_t op = 0;
  ShaderOperand dst;
  ShaderOperand src[2];  // TEX: src[0] the coordinates, src[1] the sampler
};

struct ShaderProgram {
  uint32_t tokenCount = 0;  // of the stream it was decoded from
  uint32_t instructionCount = 0;
  ShaderInstruction instructions[kMaxShaderInstructions];
  float literals[kMaxShaderLiterals][4] = {};
  // What the program reads, so that the caller interpolates and binds only that.
  uint32_t texcoordMask = 0;  // bit k: t# k
  uint32_t colorMask = 0;     // bit k: v# k
  uint32_t samplerMask = 0;   // bit k: s# k
  uint32_t constantCount = 0; // one past the highest c# read, 0 when none
};

// Validates a token stream and decodes it into `out`. Reads the header first
// and never reads past the count it gives, which is itself bounded by
// kMaxShaderTokens. Rejects unknown opcodes, bad operand fields, registers
// out of range, reads of temporaries or literals before they are written, a
// colour output not completely written, and a stream not closed by END.
// On failure `error` holds a one-line reason (if errorSize > 0).
bool DecodePixelShader(const DWORD* tokens, ShaderProgram* out, char* error, size_t errorSize);

struct PixelShaderInputs {
  float texcoord[kMaxShaderTexcoords][4];
  float color[kMaxShaderColors][4];
};

// Samples sampler `sampler` at coords (u = coords[0], v = coords[1]) into
// rgba, with the device's filter and address states.
typedef void (*SampleFunction)(void* context, uint32_t sampler, const float coords[4],
                               float rgba[4]);

// Runs a decoded program for one pixel. `constants` must hold at least
// program.constantCount registers; only the inputs the program reads (its
// masks) need be set. Allocates nothing.
void RunPixelShader(const ShaderProgram& program, const float (*constants)[4],
                    const PixelShaderInputs& inputs, SampleFunction sample, void* sampleContext,
                    float outColor[4]);

// The two programs worth drawing without the interpreter.
enum PixelShaderPattern {
  kPatternGeneral,           // anything else: run the interpreter
  kPatternConstant,          // output = c[constant]
  kPatternConstantTimesTexture,  // output = c[constant] * sample(s[sampler], t[texcoord].xy)
};

struct PixelShaderClass {
  PixelShaderPattern pattern = kPatternGeneral;
  uint32_t constant = 0;
  uint32_t sampler = 0;
  uint32_t texcoord = 0;
};

// Follows the program symbolically, so any sequence of moves and products
// that amounts to one of the patterns is recognised, whatever the registers
// in between.
PixelShaderClass ClassifyPixelShader(const ShaderProgram& program);

}  // namespace standin
