#include "d3d9/shader_program.h"

#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace standin {
namespace {

bool Fail(char* error, size_t errorSize, const char* format, ...) {
  if (error && errorSize > 0) {
    va_list args;
    va_start(args, format);
    vsnprintf(error, errorSize, format, args);
    va_end(args);
  }
  return false;
}

uint32_t FileSize(uint8_t file) {
  switch (file) {
    case kFileTemp: return kMaxShaderTemps;
    case kFileConst: return kMaxShaderConstants;
    case kFileTexcoord: return kMaxShaderTexcoords;
    case kFileColor: return kMaxShaderColors;
    case kFileSampler: return kMaxShaderSamplers;
    case kFileOutput: return kMaxShaderOutputs;
    case kFileLiteral: return kMaxShaderLiterals;
    default: return 0;
  }
}

uint32_t OperandCount(uint32_t op) {
  switch (op) {
    case kOpMov: return 2;
    case kOpAdd:
    case kOpMul:
    case kOpTex: return 3;
    case kOpDef: return 5;
    case kOpEnd: return 0;
    default: return ~0u;
  }
}

const char* OpName(uint32_t op) {
  switch (op) {
    case kOpMov: return "MOV";
    case kOpAdd: return "ADD";
    case kOpMul: return "MUL";
    case kOpTex: return "TEX";
    case kOpDef: return "DEF";
    default: return "END";
  }
}

// Decoding state that outlives one instruction: which temporary components
// and literals have been written so far.
struct DecodeState {
  uint8_t tempWritten[kMaxShaderTemps] = {};
  uint8_t outputWritten = 0;
  uint32_t literalDefined = 0;
};

bool DecodeDest(DWORD token, uint32_t tokenIndex, bool literal, ShaderOperand* out, char* error,
                size_t errorSize) {
  uint32_t index = token & 0xFF;
  uint32_t file = (token >> 8) & 0xF;
  uint32_t mask = (token >> 12) & 0xF;
  if (token & 0xFFFF0000u)
    return Fail(error, errorSize, "token %u: destination has source fields or reserved bits set",
                tokenIndex);
  bool allowed = literal ? file == kFileLiteral : (file == kFileTemp || file == kFileOutput);
  if (!allowed)
    return Fail(error, errorSize, "token %u: register file %u cannot be written here", tokenIndex,
                file);
  if (index >= FileSize(file))
    return Fail(error, errorSize, "token %u: register index %u out of range for file %u",
                tokenIndex, index, file);
  if (mask == 0 || (literal && mask != 0xF))
    return Fail(error, errorSize, "token %u: bad write mask 0x%x", tokenIndex, mask);
  out->file = static_cast<uint8_t>(file);
  out->index = static_cast<uint8_t>(index);
  out->mask = static_cast<uint8_t>(mask);
  return true;
}

// `readMask`: which of the operand's four swizzled components the
// instruction reads; they decide which register components must hold data.
bool DecodeSource(DWORD token, uint32_t tokenIndex, uint32_t readMask, const DecodeState& state,
                  ShaderProgram* program, ShaderOperand* out, char* error, size_t errorSize) {
  uint32_t index = token & 0xFF;
  uint32_t file = (token >> 8) & 0xF;
  if (token & 0xFE00F000u)
    return Fail(error, errorSize, "token %u: source has destination fields or reserved bits set",
                tokenIndex);
  if (file != kFileTemp && file != kFileConst && file != kFileTexcoord && file != kFileColor &&
      file != kFileLiteral)
    return Fail(error, errorSize, "token %u: register file %u cannot be read here", tokenIndex,
                file);
  if (index >= FileSize(file))
    return Fail(error, errorSize, "token %u: register index %u out of range for file %u",
                tokenIndex, index, file);
  out->file = static_cast<uint8_t>(file);
  out->index = static_cast<uint8_t>(index);
  out->negate = (token >> 24) & 1;
  uint32_t swizzle = (token >> 16) & 0xFF;
  uint32_t needed = 0;
  for (int c = 0; c < 4; ++c) {
    out->swizzle[c] = static_cast<uint8_t>((swizzle >> (2 * c)) & 3);
    if (readMask & (1u << c)) needed |= 1u << out->swizzle[c];
  }
  if (file == kFileTemp && (state.tempWritten[index] & needed) != needed)
    return Fail(error, errorSize, "token %u: r%u read before it is written", tokenIndex, index);
  if (file == kFileLiteral && !(state.literalDefined & (1u << index)))
    return Fail(error, errorSize, "token %u: l%u read before it is defined", tokenIndex, index);
  if (file == kFileTexcoord) program->texcoordMask |= 1u << index;
  if (file == kFileColor) program->colorMask |= 1u << index;
  if (file == kFileConst && index + 1 > program->constantCount) program->constantCount = index + 1;
  return true;
}

}  // namespace

bool DecodePixelShader(const DWORD* tokens, ShaderProgram* out, char* error, size_t errorSize) {
  if (error && errorSize > 0) error[0] = '\0';
  if (!tokens || !out) return Fail(error, errorSize, "no shader tokens");
  if ((tokens[0] >> 16) != kShaderMagic)
    return Fail(error, errorSize, "not a stand-in pixel shader (header 0x%08x)", tokens[0]);
  if ((tokens[0] & 0xFFFF) != kShaderVersion)
    return Fail(error, errorSize, "unsupported shader version 0x%04x", tokens[0] & 0xFFFF);
  const uint32_t count = tokens[1];
  if (count < 3 || count > kMaxShaderTokens)
    return Fail(error, errorSize, "token count %u outside 3..%u", count, kMaxShaderTokens);

  ShaderProgram& program = *out;
  program.tokenCount = count;
  program.instructionCount = 0;
  program.texcoordMask = program.colorMask = program.samplerMask = 0;
  program.constantCount = 0;
  memset(program.literals, 0, sizeof(program.literals));
  DecodeState state;

  uint32_t pos = 2;
  while (pos < count) {
    const DWORD token = tokens[pos];
    const uint32_t op = token & 0xFF;
    const uint32_t length = (token >> 8) & 0xF;
    if (token & 0xFFFFF000u)
      return Fail(error, errorSize, "token %u: instruction has reserved bits set", pos);
    const uint32_t expected = OperandCount(op);
    if (expected == ~0u) return Fail(error, errorSize, "token %u: unknown opcode %u", pos, op);
    if (length != expected)
      return Fail(error, errorSize, "token %u: %s with %u operands, expected %u", pos, OpName(op),
                  length, expected);
    if (op == kOpEnd) {
      if (pos != count - 1)
        return Fail(error, errorSize, "token %u: END before the last token (%u)", pos, count - 1);
      if (state.outputWritten != 0xF)
        return Fail(error, errorSize, "colour output not completely written (mask 0x%x)",
                    state.outputWritten);
      return true;
    }
    // The END token must still fit after this instruction.
    if (length >= count - 1 - pos)
      return Fail(error, errorSize,
                  "token %u: %s runs past the end of the stream or leaves no room for END", pos,
                  OpName(op));
    const DWORD* operands = tokens + pos + 1;

    if (op == kOpDef) {
      ShaderOperand dst;
      if (!DecodeDest(operands[0], pos + 1, true, &dst, error, errorSize)) return false;
      if (state.literalDefined & (1u << dst.index))
        return Fail(error, errorSize, "token %u: l%u defined twice", pos + 1, dst.index);
      for (int c = 0; c < 4; ++c) {
        float value;
        memcpy(&value, &operands[1 + c], sizeof value);
        if (!isfinite(value))
          return Fail(error, errorSize, "token %u: literal is not a finite number", pos + 2 + c);
        program.literals[dst.index][c] = value;
      }
      state.literalDefined |= 1u << dst.index;
      pos += 1 + length;
      continue;
    }

    if (program.instructionCount >= kMaxShaderInstructions)
      return Fail(error, errorSize, "more than %u instructions", kMaxShaderInstructions);
    ShaderInstruction& ins = program.instructions[program.instructionCount];
    ins = ShaderInstruction();
    ins.op = static_cast<uint8_t>(op);
    if (!DecodeDest(operands[0], pos + 1, false, &ins.dst, error, errorSize)) return false;
    if (op == kOpTex) {
      // The sample reads the coordinates' x and y.
      if (!DecodeSource(operands[1], pos + 2, 0x3, state, &program, &ins.src[0], error,
                        errorSize))
        return false;
      const DWORD s = operands[2];
      if (s & 0xFFFFF000u || ((s >> 8) & 0xF) != kFileSampler)
        return Fail(error, errorSize, "token %u: TEX needs a plain sampler register", pos + 3);
      if ((s & 0xFF) >= kMaxShaderSamplers)
        return Fail(error, errorSize, "token %u: sampler index %u out of range", pos + 3,
                    s & 0xFF);
      ins.src[1].file = kFileSampler;
      ins.src[1].index = static_cast<uint8_t>(s & 0xFF);
      program.samplerMask |= 1u << ins.src[1].index;
    } else {
      for (uint32_t k = 0; k + 1 < length; ++k)
        if (!DecodeSource(operands[1 + k], pos + 2 + k, ins.dst.mask, state, &program, &ins.src[k],
                          error, errorSize))
          return false;
    }
    if (ins.dst.file == kFileTemp) state.tempWritten[ins.dst.index] |= ins.dst.mask;
    else state.outputWritten |= ins.dst.mask;
    ++program.instructionCount;
    pos += 1 + length;
  }
  return Fail(error, errorSize, "no END token within %u tokens", count);
}

namespace {

inline void ReadSource(const ShaderOperand& op, const float (*temps)[4],
                       const float (*constants)[4], const PixelShaderInputs& inputs,
                       const ShaderProgram& program, float out[4]) {
  const float* reg;
  switch (op.file) {
    case kFileTemp: reg = temps[op.index]; break;
    case kFileConst: reg = constants[op.index]; break;
    case kFileTexcoord: reg = inputs.texcoord[op.index]; break;
    case kFileColor: reg = inputs.color[op.index]; break;
    default: reg = program.literals[op.index]; break;
  }
  const float sign = op.negate ? -1.0f : 1.0f;
  out[0] = sign * reg[op.swizzle[0]];
  out[1] = sign * reg[op.swizzle[1]];
  out[2] = sign * reg[op.swizzle[2]];
  out[3] = sign * reg[op.swizzle[3]];
}

}  // namespace

void RunPixelShader(const ShaderProgram& program, const float (*constants)[4],
                    const PixelShaderInputs& inputs, SampleFunction sample, void* sampleContext,
                    float outColor[4]) {
  // The decoder has proved that every temporary component is written before
  // it is read, so the registers need no clearing.
  float temps[kMaxShaderTemps][4];
  float output[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  for (uint32_t i = 0; i < program.instructionCount; ++i) {
    const ShaderInstruction& ins = program.instructions[i];
    float a[4], b[4], result[4];
    switch (ins.op) {
      case kOpMov:
        ReadSource(ins.src[0], temps, constants, inputs, program, result);
        break;
      case kOpAdd:
        ReadSource(ins.src[0], temps, constants, inputs, program, a);
        ReadSource(ins.src[1], temps, constants, inputs, program, b);
        for (int c = 0; c < 4; ++c) result[c] = a[c] + b[c];
        break;
      case kOpMul:
        ReadSource(ins.src[0], temps, constants, inputs, program, a);
        ReadSource(ins.src[1], temps, constants, inputs, program, b);
        for (int c = 0; c < 4; ++c) result[c] = a[c] * b[c];
        break;
      default:  // kOpTex
        ReadSource(ins.src[0], temps, constants, inputs, program, a);
        sample(sampleContext, ins.src[1].index, a, result);
        break;
    }
    float* dst = ins.dst.file == kFileTemp ? temps[ins.dst.index] : output;
    for (int c = 0; c < 4; ++c)
      if (ins.dst.mask & (1u << c)) dst[c] = result[c];
  }
  for (int c = 0; c < 4; ++c) outColor[c] = output[c];
}

namespace {

// What one register component holds, as far as the classifier can tell.
struct Term {
  enum Kind : uint8_t { kUnknown, kConst, kSample, kProduct } kind = kUnknown;
  uint8_t constant = 0;   // c# (kConst, kProduct)
  uint8_t constComp = 0;  // its component
  uint8_t sampler = 0;    // s# (kSample, kProduct)
  uint8_t texcoord = 0;   // t# read as .xy (kSample, kProduct)
  uint8_t channel = 0;    // component of the sample
};

Term ReadTerm(const ShaderOperand& op, int c, const Term (*temps)[4]) {
  Term t;
  if (op.negate) return t;
  if (op.file == kFileConst) {
    t.kind = Term::kConst;
    t.constant = op.index;
    t.constComp = op.swizzle[c];
  } else if (op.file == kFileTemp) {
    t = temps[op.index][op.swizzle[c]];
  }
  return t;
}

Term Multiply(Term a, Term b) {
  if (a.kind == Term::kSample && b.kind == Term::kConst) {
    Term t = a;
    a = b;
    b = t;
  }
  Term t;
  if (a.kind == Term::kConst && b.kind == Term::kSample) {
    t = b;
    t.kind = Term::kProduct;
    t.constant = a.constant;
    t.constComp = a.constComp;
  }
  return t;
}

}  // namespace

PixelShaderClass ClassifyPixelShader(const ShaderProgram& program) {
  Term temps[kMaxShaderTemps][4];
  Term output[4];
  for (uint32_t i = 0; i < program.instructionCount; ++i) {
    const ShaderInstruction& ins = program.instructions[i];
    Term result[4];
    for (int c = 0; c < 4; ++c) {
      if (!(ins.dst.mask & (1u << c))) continue;
      switch (ins.op) {
        case kOpMov: result[c] = ReadTerm(ins.src[0], c, temps); break;
        case kOpMul:
          result[c] = Multiply(ReadTerm(ins.src[0], c, temps), ReadTerm(ins.src[1], c, temps));
          break;
        case kOpTex: {
          const ShaderOperand& uv = ins.src[0];
          if (uv.file == kFileTexcoord && !uv.negate && uv.swizzle[0] == 0 && uv.swizzle[1] == 1) {
            result[c].kind = Term::kSample;
            result[c].sampler = ins.src[1].index;
            result[c].texcoord = uv.index;
            result[c].channel = static_cast<uint8_t>(c);
          }
          break;
        }
        default: break;  // ADD and anything else: unknown
      }
    }
    Term* dst = ins.dst.file == kFileTemp ? temps[ins.dst.index] : output;
    for (int c = 0; c < 4; ++c)
      if (ins.dst.mask & (1u << c)) dst[c] = result[c];
  }

  PixelShaderClass result;
  const Term& first = output[0];
  bool constant = true, product = true;
  for (int c = 0; c < 4; ++c) {
    const Term& t = output[c];
    constant = constant && t.kind == Term::kConst && t.constComp == c &&
               t.constant == first.constant;
    product = product && t.kind == Term::kProduct && t.constComp == c && t.channel == c &&
              t.constant == first.constant && t.sampler == first.sampler &&
              t.texcoord == first.texcoord;
  }
  if (constant) {
    result.pattern = kPatternConstant;
    result.constant = first.constant;
  } else if (product) {
    result.pattern = kPatternConstantTimesTexture;
    result.constant = first.constant;
    result.sampler = first.sampler;
    result.texcoord = first.texcoord;
  }
  return result;
}

}  // namespace standin
