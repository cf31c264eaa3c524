// The HLSL compiler of the stand-in's D3DX: the subset of HLSL that pixel
// shaders like the show's use, compiled to the token format of
// d3d9/shader_program.h. Independent of COM so that tests and fuzzers can
// drive it directly.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include <windows.h>

#include "d3dx9/hlsl/lexer.h"

namespace standin {
namespace hlsl {

// Whole sources larger than this are refused before lexing.
constexpr size_t kMaxSourceLength = 1u << 20;

struct ConstantInfo {
  enum Kind : uint8_t { kFloat, kSampler };
  std::string name;
  Kind kind = kFloat;
  uint32_t registerIndex = 0;  // c# or s#
  uint32_t columns = 0;        // 1 to 4 for floats, 0 for samplers
  bool hasDefault = false;
  float defaultValue[4] = {};
};

struct CompileResult {
  std::vector<DWORD> tokens;           // empty on failure
  std::vector<ConstantInfo> constants; // only those the entry point reads
  // One line per message, "(line,column): error X3004: text" or "...: warning ...".
  std::string messages;
};

// Compiles `entry` from the first `length` bytes of `source` for `profile`
// (ps_2_0, ps_2_a, ps_2_b or ps_3_0). Returns false on any error; the first
// error ends compilation.
bool CompilePixelShaderSource(const char* source, size_t length, const char* entry,
                              const char* profile, CompileResult* result);

}  // namespace hlsl
}  // namespace standin
