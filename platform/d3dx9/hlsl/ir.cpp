#include "d3dx9/hlsl/ir.h"

#include <string.h>

#include <algorithm>

#include "d3d9/shader_program.h"

namespace standin {
namespace hlsl {
namespace {

int SourceCount(const IrInstr& ins) { return ins.op == kOpAdd || ins.op == kOpMul ? 2 : 1; }

// Which of a source's four swizzled components the instruction reads.
uint8_t ReadMask(const IrInstr& ins) { return ins.op == kOpTex ? 0x3 : ins.dst.mask; }

// Register components behind the swizzled components in `readMask`.
uint8_t RegisterComponents(const IrOperand& op, uint8_t readMask) {
  uint8_t comps = 0;
  for (int c = 0; c < 4; ++c)
    if (readMask & (1u << c)) comps |= static_cast<uint8_t>(1u << op.swz[c]);
  return comps;
}

bool Reads(const IrInstr& ins, uint8_t file, uint16_t index, uint8_t comps) {
  for (int k = 0; k < SourceCount(ins); ++k) {
    const IrOperand& op = ins.src[k];
    if (op.file == file && op.index == index && (RegisterComponents(op, ReadMask(ins)) & comps))
      return true;
  }
  return false;
}

bool Writes(const IrInstr& ins, uint8_t file, uint16_t index, uint8_t comps) {
  return ins.dst.file == file && ins.dst.index == index && (ins.dst.mask & comps);
}

// Reads of a temporary that holds a plain copy of a register that never
// changes (a constant, an input, a literal) read that register instead.
bool PropagateCopies(std::vector<IrInstr>& code) {
  struct Copy {
    bool valid = false;
    uint8_t file = 0;
    uint16_t index = 0;
    uint8_t comp = 0;
    bool neg = false;
  };
  static_assert(kMaxIrTemps <= 64, "copy table size");
  Copy copies[kMaxIrTemps][4];
  bool changed = false;
  for (IrInstr& ins : code) {
    if (ins.dead) continue;
    const uint8_t readMask = ReadMask(ins);
    for (int k = 0; k < SourceCount(ins); ++k) {
      IrOperand& op = ins.src[k];
      if (op.file != kFileTemp) continue;
      const Copy* first = nullptr;
      bool ok = true;
      for (int c = 0; c < 4 && ok; ++c) {
        if (!(readMask & (1u << c))) continue;
        const Copy& copy = copies[op.index][op.swz[c]];
        if (!copy.valid) ok = false;
        else if (!first) first = &copy;
        else ok = copy.file == first->file && copy.index == first->index && copy.neg == first->neg;
      }
      if (!ok || !first) continue;
      IrOperand replaced = op;
      replaced.file = first->file;
      replaced.index = first->index;
      replaced.neg = op.neg != first->neg;
      uint8_t fill = 0;
      for (int c = 0; c < 4; ++c)
        if (readMask & (1u << c)) fill = replaced.swz[c] = copies[op.index][op.swz[c]].comp;
      for (int c = 0; c < 4; ++c)
        if (!(readMask & (1u << c))) replaced.swz[c] = fill;
      op = replaced;
      changed = true;
    }
    if (ins.dst.file == kFileTemp) {
      for (int c = 0; c < 4; ++c) {
        if (!(ins.dst.mask & (1u << c))) continue;
        Copy& copy = copies[ins.dst.index][c];
        copy = Copy();
        const IrOperand& src = ins.src[0];
        if (ins.op == kOpMov && src.file != kFileTemp) {
          copy.valid = true;
          copy.file = src.file;
          copy.index = src.index;
          copy.comp = src.swz[c];
          copy.neg = src.neg;
        }
      }
    }
  }
  return changed;
}

// MOV d, rB where rB was computed by one earlier instruction W and is not
// read afterwards: W writes d directly and the move goes.
bool CoalesceMoves(std::vector<IrInstr>& code) {
  bool changed = false;
  const size_t n = code.size();
  for (size_t i = 0; i < n; ++i) {
    const IrInstr& move = code[i];
    if (move.dead || move.op != kOpMov) continue;
    const IrOperand& src = move.src[0];
    const uint8_t mask = move.dst.mask;
    if (src.file != kFileTemp || src.neg) continue;
    bool identity = true;
    for (int c = 0; c < 4; ++c)
      if ((mask & (1u << c)) && src.swz[c] != c) identity = false;
    if (!identity) continue;
    if (move.dst.file == kFileTemp && move.dst.index == src.index) continue;

    size_t w = i;
    while (w-- > 0)
      if (!code[w].dead && Writes(code[w], kFileTemp, src.index, mask)) break;
    if (w >= i || code[w].dst.mask != mask) continue;

    bool ok = true;
    for (size_t j = w + 1; j < i && ok; ++j) {
      const IrInstr& between = code[j];
      if (between.dead) continue;
      if (Reads(between, kFileTemp, src.index, mask)) ok = false;
      if (Reads(between, move.dst.file, move.dst.index, mask) ||
          Writes(between, move.dst.file, move.dst.index, 0xF))
        ok = false;
    }
    uint8_t live = mask;
    for (size_t j = i + 1; j < n && ok && live; ++j) {
      const IrInstr& after = code[j];
      if (after.dead) continue;
      if (Reads(after, kFileTemp, src.index, live)) ok = false;
      if (after.dst.file == kFileTemp && after.dst.index == src.index)
        live = static_cast<uint8_t>(live & ~after.dst.mask);
    }
    if (!ok) continue;
    code[w].dst.file = move.dst.file;
    code[w].dst.index = move.dst.index;
    code[i].dead = true;
    changed = true;
  }
  return changed;
}

// Backwards liveness: the colour output is live at the end; an instruction
// none of whose written components is read later goes, and the others write
// only what is read.
bool RemoveDeadCode(std::vector<IrInstr>& code) {
  uint8_t live[kMaxIrTemps] = {};
  bool changed = false;
  for (size_t i = code.size(); i-- > 0;) {
    IrInstr& ins = code[i];
    if (ins.dead) continue;
    if (ins.dst.file == kFileTemp) {
      const uint8_t used = ins.dst.mask & live[ins.dst.index];
      if (!used) {
        ins.dead = true;
        changed = true;
        continue;
      }
      if (used != ins.dst.mask) changed = true;
      ins.dst.mask = used;
      live[ins.dst.index] = static_cast<uint8_t>(live[ins.dst.index] & ~used);
    }
    for (int k = 0; k < SourceCount(ins); ++k)
      if (ins.src[k].file == kFileTemp)
        live[ins.src[k].index] |= RegisterComponents(ins.src[k], ReadMask(ins));
  }
  return changed;
}

uint32_t PackSwizzle(const uint8_t swz[4]) { return MakeSwizzle(swz[0], swz[1], swz[2], swz[3]); }

}  // namespace

void OptimizeIr(std::vector<IrInstr>* code) {
  // Each pass only removes or simplifies, so this settles quickly; the bound
  // is a guard, not a tuning knob.
  for (int round = 0; round < 16; ++round) {
    bool changed = PropagateCopies(*code);
    changed = CoalesceMoves(*code) || changed;
    changed = RemoveDeadCode(*code) || changed;
    code->erase(std::remove_if(code->begin(), code->end(), [](const IrInstr& i) { return i.dead; }),
                code->end());
    if (!changed) break;
  }
}

void AllocateIr(std::vector<IrInstr>* code, const std::vector<LiteralValue>& pool,
                IrAllocation* out) {
  int tempMap[kMaxIrTemps];
  for (int& t : tempMap) t = -1;
  std::vector<int> literalMap(pool.size(), -1);
  auto number = [](std::vector<int>& order, int id) {
    auto it = std::find(order.begin(), order.end(), id);
    if (it != order.end()) return static_cast<uint16_t>(it - order.begin());
    order.push_back(id);
    return static_cast<uint16_t>(order.size() - 1);
  };
  auto rewrite = [&](IrOperand& op) {
    switch (op.file) {
      case kFileTemp:
        if (tempMap[op.index] < 0) tempMap[op.index] = static_cast<int>(out->tempCount++);
        op.index = static_cast<uint16_t>(tempMap[op.index]);
        break;
      case kIrGlobalConst:
        op.file = kFileConst;
        op.index = number(out->constants, op.index);
        break;
      case kIrGlobalSampler:
        op.file = kFileSampler;
        op.index = number(out->samplers, op.index);
        break;
      case kFileLiteral:
        if (literalMap[op.index] < 0) {
          literalMap[op.index] = static_cast<int>(out->literals.size());
          out->literals.push_back(pool[op.index]);
        }
        op.index = static_cast<uint16_t>(literalMap[op.index]);
        break;
      default: break;
    }
  };
  for (IrInstr& ins : *code) {
    rewrite(ins.src[0]);
    if (ins.op != kOpMov) rewrite(ins.src[1]);
    rewrite(ins.dst);
  }
  out->instructionCount = static_cast<uint32_t>(code->size());
}

void SerializeIr(const std::vector<IrInstr>& code, const IrAllocation& allocation,
                 std::vector<DWORD>* tokens) {
  tokens->clear();
  tokens->push_back(kShaderHeader);
  tokens->push_back(0);
  for (size_t i = 0; i < allocation.literals.size(); ++i) {
    tokens->push_back(MakeInstructionToken(kOpDef, 5));
    tokens->push_back(MakeDestToken(kFileLiteral, static_cast<uint32_t>(i), 0xF));
    for (float f : allocation.literals[i].v) {
      DWORD bits;
      memcpy(&bits, &f, sizeof bits);
      tokens->push_back(bits);
    }
  }
  for (const IrInstr& ins : code) {
    const ShaderOp op = static_cast<ShaderOp>(ins.op);
    tokens->push_back(MakeInstructionToken(op, op == kOpMov ? 2 : 3));
    tokens->push_back(MakeDestToken(static_cast<ShaderFile>(ins.dst.file), ins.dst.index,
                                    ins.dst.mask));
    tokens->push_back(MakeSourceToken(static_cast<ShaderFile>(ins.src[0].file), ins.src[0].index,
                                      PackSwizzle(ins.src[0].swz), ins.src[0].neg));
    if (op == kOpTex)
      tokens->push_back(MakeSamplerToken(ins.src[1].index));
    else if (op != kOpMov)
      tokens->push_back(MakeSourceToken(static_cast<ShaderFile>(ins.src[1].file),
                                        ins.src[1].index, PackSwizzle(ins.src[1].swz),
                                        ins.src[1].neg));
  }
  tokens->push_back(MakeInstructionToken(kOpEnd, 0));
  (*tokens)[1] = static_cast<DWORD>(tokens->size());
}

}  // namespace hlsl
}  // namespace standin
