// The compiler's intermediate form: the token format's instructions with
// wider register numbers and symbolic registers for globals, plus the passes
// that turn it into a token stream.
#pragma once

#include <stdint.h>

#include <vector>

#include <windows.h>

namespace standin {
namespace hlsl {

// Register files of the intermediate form beyond the token format's own
// (ShaderFile): globals get their c# and s# only once the code is final, so
// that only what the entry point really reads is numbered.
enum : uint8_t {
  kIrGlobalConst = 16,    // index: the global's number
  kIrGlobalSampler = 17,  // index: the global's number
  kIrParam = 18,          // a parameter of a function that is not the entry point
};

constexpr uint32_t kMaxIrTemps = 64;
constexpr uint32_t kMaxIrInstructions = 2048;

struct IrOperand {
  uint8_t file = 0;
  uint16_t index = 0;
  uint8_t mask = 0;                  // destinations
  uint8_t swz[4] = {0, 1, 2, 3};     // sources
  bool neg = false;                  // sources
};

struct IrInstr {
  uint8_t op = 0;
  IrOperand dst;
  IrOperand src[2];  // TEX: coordinates and sampler
  bool dead = false;
};

struct LiteralValue {
  float v[4];
};

struct IrAllocation {
  uint32_t instructionCount = 0;
  uint32_t tempCount = 0;
  std::vector<int> constants;  // global numbers, in c# order
  std::vector<int> samplers;   // global numbers, in s# order
  std::vector<LiteralValue> literals;  // in l# order
};

// Copy propagation, coalescing of moves into the instruction that computed
// the value, and removal of code whose result is never read.
void OptimizeIr(std::vector<IrInstr>* code);

// Numbers temporaries, constants, samplers and literals in order of first use
// and rewrites the code to the token format's register files.
void AllocateIr(std::vector<IrInstr>* code, const std::vector<LiteralValue>& pool,
                IrAllocation* out);

void SerializeIr(const std::vector<IrInstr>& code, const IrAllocation& allocation,
                 std::vector<DWORD>* tokens);

}  // namespace hlsl
}  // namespace standin
