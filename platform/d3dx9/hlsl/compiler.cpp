// One pass over the source: a recursive-descent parser that checks names
// and types as it goes and emits an intermediate form of the token format's
// instructions for every function. The entry point's code is then optimised
// (copy propagation, coalescing of moves, dead code removal), its registers
// numbered, serialised and, as a last guard, decoded again.
#include "d3dx9/hlsl/compiler.h"

#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "d3d9/shader_program.h"
#include "d3dx9/hlsl/ir.h"

namespace standin {
namespace hlsl {
namespace {

constexpr int kMaxExpressionDepth = 64;
constexpr int kMaxBlockDepth = 32;
constexpr size_t kMaxGlobals = 256;
constexpr size_t kMaxStructs = 64;
constexpr size_t kMaxMembers = 16;
constexpr size_t kMaxFunctions = 64;
constexpr size_t kMaxParams = 16;
constexpr size_t kMaxLocals = 128;
constexpr size_t kMaxArguments = 4;

struct Profile {
  const char* name;
  uint32_t temps;
  uint32_t constants;  // float constants and literals together, as on the hardware
  uint32_t instructions;
};

const Profile kProfiles[] = {
    {"ps_2_0", 12, 32, 96},
    {"ps_2_a", 22, 32, 512},
    {"ps_2_b", 32, 32, 512},
    {"ps_3_0", 32, 224, 512},
};

enum BaseType : uint8_t { kTypeVoid, kTypeFloat, kTypeStruct, kTypeSampler, kTypeTexture };

struct Type {
  BaseType base = kTypeVoid;
  uint8_t dim = 0;  // kTypeFloat: 1 to 4
  int structIndex = -1;
};

bool IsNumeric(const Type& t) { return t.base == kTypeFloat; }
bool SameType(const Type& a, const Type& b) {
  return a.base == b.base && a.dim == b.dim && a.structIndex == b.structIndex;
}

enum SemanticKind : uint8_t {
  kSemPosition,
  kSemTexcoord,
  kSemColor,
  kSemTarget,
  kSemDepth,
  kSemFace,
  kSemOther,
};

struct Semantic {
  bool present = false;
  SemanticKind kind = kSemOther;
  uint32_t index = 0;
  std::string text;
  Location loc;
};

struct Member {
  std::string name;
  Type type;
  Semantic semantic;
};

struct StructDef {
  std::string name;
  std::vector<Member> members;
};

struct Global {
  std::string name;
  Type type;
  Location loc;
  bool hasDefault = false;
  float defaultValue[4] = {};
};

// Storage of one float vector of a local or parameter.
struct Slot {
  uint8_t file = kFileNone;  // kFileTemp, or none for an unreadable POSITION input
  uint16_t index = 0;
  uint8_t dim = 0;
  uint8_t init = 0;  // components written so far
};

struct Local {
  std::string name;
  Type type;
  bool param = false;
  int depth = 0;
  Location loc;
  Slot slots[kMaxMembers];
  uint32_t slotCount = 0;
};

struct Value {
  enum Kind : uint8_t { kNone, kReg, kLiteral, kStruct, kSampler, kTexture } kind = kNone;
  Type type;
  IrOperand op;         // kReg
  float lit[4] = {};    // kLiteral
  int local = -1;       // kReg read from a local's slot, kStruct: the local
  int slot = -1;
  bool position = false;  // kReg: an input with the POSITION semantic
  int global = -1;      // kSampler, kTexture
  Location loc;
};

struct Lvalue {
  int local = -1;
  int slot = -1;  // -1: the whole struct
  uint8_t dim = 0;
  uint8_t comps[4] = {0, 1, 2, 3};
  Location loc;
};

const char* const kUnsupportedKeywords[] = {
    "if",      "else",     "for",     "while",    "do",        "switch", "case",
    "default", "break",    "continue", "discard", "static",    "const",  "inline",
    "out",     "inout",    "typedef", "technique", "technique10", "pass", "cbuffer",
    "tbuffer", "namespace", "shared", "volatile", "precise",   "groupshared", "linear",
    "centroid", "nointerpolation", "noperspective", "sample", "row_major", "column_major",
    "snorm",   "unorm",    "export", "class", "interface", "true", "false",
};

const char* const kIntrinsics[] = {
    "abs",   "acos",     "all",        "any",       "asin",     "atan",    "atan2",
    "ceil",  "clamp",    "clip",       "cos",       "cosh",     "cross",   "ddx",
    "ddy",   "degrees",  "determinant", "distance", "dot",      "exp",     "exp2",
    "faceforward", "floor", "fmod",    "frac",      "frexp",    "fwidth",  "isfinite",
    "isinf", "isnan",    "ldexp",      "length",    "lerp",     "lit",     "log",
    "log10", "log2",     "max",        "min",       "modf",     "mul",     "noise",
    "normalize", "pow",  "radians",    "reflect",   "refract",  "round",   "rsqrt",
    "saturate", "sign",  "sin",        "sincos",    "sinh",     "smoothstep", "sqrt",
    "step",  "tan",      "tanh",       "tex1D",     "tex2Dlod", "tex2Dbias", "tex2Dgrad",
    "tex2Dproj", "tex3D", "texCUBE",   "transpose", "trunc",
};

bool InList(const std::string& name, const char* const* list, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (name == list[i]) return true;
  return false;
}

bool EqualsNoCase(const std::string& a, const char* b) {
  size_t n = strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// Built-in numeric and object types we handle; dim 0 when not one.
Type BuiltinType(const std::string& name) {
  Type t;
  static const struct {
    const char* name;
    BaseType base;
    uint8_t dim;
  } kTypes[] = {
      {"float", kTypeFloat, 1},   {"float1", kTypeFloat, 1},  {"float2", kTypeFloat, 2},
      {"float3", kTypeFloat, 3},  {"float4", kTypeFloat, 4},  {"half", kTypeFloat, 1},
      {"half1", kTypeFloat, 1},   {"half2", kTypeFloat, 2},   {"half3", kTypeFloat, 3},
      {"half4", kTypeFloat, 4},   {"void", kTypeVoid, 0},     {"sampler", kTypeSampler, 0},
      {"sampler2D", kTypeSampler, 0}, {"texture", kTypeTexture, 0},
      {"texture2D", kTypeTexture, 0}, {"Texture", kTypeTexture, 0},
  };
  for (const auto& entry : kTypes) {
    if (name == entry.name) {
      t.base = entry.base;
      t.dim = entry.dim;
      return t;
    }
  }
  t.dim = 0xFF;  // not a built-in type we handle
  return t;
}

bool IsKnownType(const std::string& name) { return BuiltinType(name).dim != 0xFF; }

// HLSL types outside the subset, so that they get a clear message.
bool IsUnsupportedTypeName(const std::string& name) {
  static const char* const kPrefixes[] = {"bool", "int", "uint", "dword", "double", "min16float",
                                          "min10float", "min16int", "min12int", "min16uint",
                                          "float", "half"};
  for (const char* prefix : kPrefixes) {
    size_t n = strlen(prefix);
    if (name.compare(0, n, prefix) != 0) continue;
    std::string rest = name.substr(n);
    if (rest.empty()) return true;
    // Vector and matrix forms: N or NxM with N, M from 1 to 4.
    if (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4') return true;
    if (rest.size() == 3 && rest[0] >= '1' && rest[0] <= '4' && rest[1] == 'x' && rest[2] >= '1' &&
        rest[2] <= '4')
      return true;
  }
  static const char* const kOthers[] = {
      "matrix",   "vector",     "string",  "sampler1D", "sampler3D", "samplerCUBE",
      "texture1D", "texture3D", "textureCUBE", "SamplerState", "Texture1D", "Texture2D",
      "Texture3D", "TextureCube", "Buffer", "struct"};
  return InList(name, kOthers, sizeof kOthers / sizeof kOthers[0]);
}

class Compiler {
 public:
  Compiler(const char* source, size_t length, const char* entry, const Profile& profile,
           CompileResult* result)
      : lexer_(source, length), entry_(entry), profile_(profile), result_(result) {}

  bool Run();

 private:
  // --- tokens ---
  const Token& Peek(int k = 0);
  Token Take();
  bool TakeIf(const char* spelling);
  bool Expect(const char* spelling);
  bool ExpectIdentifier(Token* out);
  bool Unexpected(const Token& token);

  // --- messages ---
  bool Error(Location loc, const char* code, const char* format, ...)
      __attribute__((format(printf, 4, 5)));
  void Warning(Location loc, const char* code, const char* format, ...)
      __attribute__((format(printf, 4, 5)));
  void Message(Location loc, const char* kind, const char* code, const char* format, va_list args);

  // --- declarations ---
  bool ParseTopLevel();
  bool ParseStruct();
  bool ParseTypeName(const Token& name, Type* type);
  bool IsTypeToken(const Token& token);
  bool CheckNewGlobalName(const Token& name);
  bool ParseGlobal(const Type& type, const Token& name);
  bool ParseSamplerState(const Token& samplerName);
  bool ParseConstantInitializer(const Type& type, Global* global);
  bool ParseSemantic(Semantic* semantic);
  bool ParseFunction(const Type& returnType, const Token& name);
  bool DeclareParameter(const Type& type, const Token& name, const Semantic& semantic);
  bool BindEntryInput(const Semantic& semantic, const Type& type, const char* what,
                      Location loc, Slot* slot, bool* readable);
  bool CheckEntryOutput(const Semantic& semantic, const Type& type, const char* what,
                        Location loc, bool* isColor);

  // --- statements ---
  bool ParseBlockBody(int depth);
  bool ParseStatement(int depth);
  bool ParseDeclaration();
  bool ParseReturn(const Token& keyword);
  bool ParseAssignment();
  bool ParseLvalue(Lvalue* out);
  bool Store(const Lvalue& lv, Value value, Location loc);

  // --- expressions ---
  bool ParseExpression(Value* out, int depth);
  bool ParseAdditive(Value* out, int depth);
  bool ParseMultiplicative(Value* out, int depth);
  bool ParseUnary(Value* out, int depth);
  bool ParsePostfix(Value* out, int depth);
  bool ParsePrimary(Value* out, int depth);
  bool ParseArguments(std::vector<Value>* args, int depth);
  bool Subscript(Value* v, const Token& name);
  bool Construct(const Type& type, const Token& name, std::vector<Value>& args, Value* out);
  bool Tex2D(const Token& name, std::vector<Value>& args, Value* out);
  bool Binary(const Token& op, Value a, Value b, Value* out);

  // --- code generation ---
  bool Convert(Value* v, uint8_t dim, Location loc);
  bool Use(const Value& v, uint8_t readMask, IrOperand* out);
  bool AllocTemp(Location loc, uint16_t* index);
  bool ResultTemp(const Value& a, const Value& b, Location loc, uint16_t* index);
  bool Emit(uint8_t op, const IrOperand& dst, const IrOperand& a, const IrOperand& b = {});
  bool LiteralOperand(const float values[4], Location loc, IrOperand* out);
  Value ReadSlot(int local, int slot, Location loc);
  bool FinishEntry(Location loc);

  std::string TypeName(const Type& t) const;
  int FindLocal(const std::string& name) const;
  int FindGlobal(const std::string& name) const;
  int FindStruct(const std::string& name) const;
  bool IsFunction(const std::string& name) const;

  Lexer lexer_;
  Token lookahead_[3];
  int lookaheadCount_ = 0;
  const char* entry_;
  const Profile& profile_;
  CompileResult* result_;

  std::vector<StructDef> structs_;
  std::vector<Global> globals_;
  std::vector<std::string> functions_;
  bool entryFound_ = false;

  // The function being compiled.
  bool inFunction_ = false;
  bool isEntry_ = false;
  std::string functionName_;
  Type returnType_;
  Semantic returnSemantic_;
  bool returned_ = false;
  bool warnedUnreachable_ = false;
  std::vector<Local> locals_;
  int blockDepth_ = 0;
  uint16_t tempTop_ = 0;
  std::vector<IrInstr> code_;
  std::vector<LiteralValue> literals_;
};

// --- tokens -------------------------------------------------------------------

const Token& Compiler::Peek(int k) {
  while (lookaheadCount_ <= k) lookahead_[lookaheadCount_++] = lexer_.Next();
  return lookahead_[k];
}

Token Compiler::Take() {
  Peek(0);
  Token t = lookahead_[0];
  // The end token repeats forever; everything else is consumed.
  if (t.kind != kTokEnd) {
    for (int i = 1; i < lookaheadCount_; ++i) lookahead_[i - 1] = lookahead_[i];
    --lookaheadCount_;
  }
  return t;
}

bool Compiler::TakeIf(const char* spelling) {
  if (!Peek().Is(spelling)) return false;
  Take();
  return true;
}

bool Compiler::Unexpected(const Token& token) {
  if (token.kind == kTokError) {
    if (token.detail[0]) return Error(token.loc, "X3000", "%s: %s", token.error, token.detail);
    return Error(token.loc, "X3000", "%s", token.error);
  }
  char text[80];
  DescribeToken(token, text, sizeof text);
  if (token.kind == kTokEnd) return Error(token.loc, "X3000", "syntax error: unexpected end of file");
  return Error(token.loc, "X3000", "syntax error: unexpected token %s", text);
}

bool Compiler::Expect(const char* spelling) {
  const Token& t = Peek();
  if (t.Is(spelling)) {
    Take();
    return true;
  }
  if (t.kind == kTokError) return Unexpected(t);
  char text[80];
  DescribeToken(t, text, sizeof text);
  if (t.kind == kTokEnd)
    return Error(t.loc, "X3000", "syntax error: unexpected end of file, expected '%s'", spelling);
  return Error(t.loc, "X3000", "syntax error: unexpected token %s, expected '%s'", text, spelling);
}

bool Compiler::ExpectIdentifier(Token* out) {
  const Token& t = Peek();
  if (t.kind != kTokIdentifier) {
    if (t.kind == kTokError) return Unexpected(t);
    char text[80];
    DescribeToken(t, text, sizeof text);
    return Error(t.loc, "X3000", "syntax error: unexpected %s%s, expected identifier",
                 t.kind == kTokEnd ? "" : "token ", text);
  }
  *out = Take();
  return true;
}

// --- messages -----------------------------------------------------------------

void Compiler::Message(Location loc, const char* kind, const char* code, const char* format,
                       va_list args) {
  char text[512];
  vsnprintf(text, sizeof text, format, args);
  char line[640];
  snprintf(line, sizeof line, "(%d,%d): %s %s: %s\n", loc.line, loc.column, kind, code, text);
  result_->messages += line;
}

bool Compiler::Error(Location loc, const char* code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Message(loc, "error", code, format, args);
  va_end(args);
  return false;
}

void Compiler::Warning(Location loc, const char* code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Message(loc, "warning", code, format, args);
  va_end(args);
}

std::string Name(const Token& t) { return std::string(t.text, t.length); }

std::string Compiler::TypeName(const Type& t) const {
  switch (t.base) {
    case kTypeVoid: return "void";
    case kTypeSampler: return "sampler";
    case kTypeTexture: return "texture";
    case kTypeStruct: return structs_[t.structIndex].name;
    default: return t.dim == 1 ? "float" : "float" + std::to_string(t.dim);
  }
}

int Compiler::FindLocal(const std::string& name) const {
  for (int i = static_cast<int>(locals_.size()) - 1; i >= 0; --i)
    if (locals_[i].name == name) return i;
  return -1;
}

int Compiler::FindGlobal(const std::string& name) const {
  for (size_t i = 0; i < globals_.size(); ++i)
    if (globals_[i].name == name) return static_cast<int>(i);
  return -1;
}

int Compiler::FindStruct(const std::string& name) const {
  for (size_t i = 0; i < structs_.size(); ++i)
    if (structs_[i].name == name) return static_cast<int>(i);
  return -1;
}

bool Compiler::IsFunction(const std::string& name) const {
  return std::find(functions_.begin(), functions_.end(), name) != functions_.end();
}

// --- declarations ---------------------------------------------------------------

bool Compiler::Run() {
  for (;;) {
    const Token& t = Peek();
    if (t.kind == kTokEnd) break;
    if (!ParseTopLevel()) return false;
  }
  if (!entryFound_) {
    Location start;
    return Error(start, "X3501", "'%s': entrypoint not found", entry_);
  }
  return true;
}

bool Compiler::IsTypeToken(const Token& token) {
  if (token.kind != kTokIdentifier) return false;
  std::string name = Name(token);
  return IsKnownType(name) || FindStruct(name) >= 0 || IsUnsupportedTypeName(name);
}

bool Compiler::ParseTypeName(const Token& token, Type* type) {
  if (token.kind != kTokIdentifier) return Unexpected(token);
  std::string name = Name(token);
  Type t = BuiltinType(name);
  if (t.dim != 0xFF) {
    *type = t;
    return true;
  }
  int s = FindStruct(name);
  if (s >= 0) {
    type->base = kTypeStruct;
    type->dim = 0;
    type->structIndex = s;
    return true;
  }
  if (IsUnsupportedTypeName(name))
    return Error(token.loc, "X3000", "type '%s' is not supported by this compiler", name.c_str());
  if (InList(name, kUnsupportedKeywords, sizeof kUnsupportedKeywords / sizeof kUnsupportedKeywords[0]))
    return Error(token.loc, "X3000", "'%s' is not supported by this compiler", name.c_str());
  return Error(token.loc, "X3000", "unrecognized identifier '%s'", name.c_str());
}

bool Compiler::CheckNewGlobalName(const Token& name) {
  std::string n = Name(name);
  if (FindGlobal(n) >= 0 || FindStruct(n) >= 0 || IsFunction(n))
    return Error(name.loc, "X3003", "redefinition of '%s'", n.c_str());
  if (IsKnownType(n) || IsUnsupportedTypeName(n) || n == "tex2D" || n == "sampler_state" ||
      n == "return" || n == "register" || n == "uniform" || n == "extern" || n == "in" ||
      InList(n, kUnsupportedKeywords, sizeof kUnsupportedKeywords / sizeof kUnsupportedKeywords[0]))
    return Error(name.loc, "X3000", "syntax error: unexpected token '%s'", n.c_str());
  return true;
}

bool Compiler::ParseTopLevel() {
  if (TakeIf(";")) return true;
  Token first = Peek();
  if (first.kind != kTokIdentifier) return Unexpected(Take());
  std::string word = Name(first);
  if (word == "struct") {
    Take();
    return ParseStruct();
  }
  if (word == "uniform" || word == "extern") {
    Take();
    first = Peek();
    if (first.kind != kTokIdentifier) return Unexpected(Take());
  }
  Take();
  Type type;
  if (!ParseTypeName(first, &type)) return false;
  Token name;
  if (!ExpectIdentifier(&name)) return false;
  if (Peek().Is("(")) return ParseFunction(type, name);
  return ParseGlobal(type, name);
}

bool Compiler::ParseStruct() {
  Token name;
  if (!ExpectIdentifier(&name)) return false;
  if (!CheckNewGlobalName(name)) return false;
  if (structs_.size() >= kMaxStructs)
    return Error(name.loc, "X3000", "too many structs (more than %zu)", kMaxStructs);
  StructDef def;
  def.name = Name(name);
  if (!Expect("{")) return false;
  while (!Peek().Is("}")) {
    Token typeToken = Take();
    if (typeToken.kind != kTokIdentifier) return Unexpected(typeToken);
    Member m;
    if (!ParseTypeName(typeToken, &m.type)) return false;
    if (!IsNumeric(m.type))
      return Error(typeToken.loc, "X3000",
                   "struct member of type '%s' is not supported by this compiler (only float "
                   "vectors)",
                   TypeName(m.type).c_str());
    Token memberName;
    if (!ExpectIdentifier(&memberName)) return false;
    m.name = Name(memberName);
    for (const Member& other : def.members)
      if (other.name == m.name)
        return Error(memberName.loc, "X3003", "redefinition of '%s'", m.name.c_str());
    if (def.members.size() >= kMaxMembers)
      return Error(memberName.loc, "X3000", "too many struct members (more than %zu)",
                   kMaxMembers);
    if (Peek().Is(":") && !ParseSemantic(&m.semantic)) return false;
    if (!Expect(";")) return false;
    def.members.push_back(m);
  }
  Take();  // }
  if (!Expect(";")) return false;
  structs_.push_back(def);
  return true;
}

bool Compiler::ParseSemantic(Semantic* semantic) {
  Take();  // :
  Token t;
  if (!ExpectIdentifier(&t)) return false;
  std::string text = Name(t);
  if (text == "register" || text == "packoffset")
    return Error(t.loc, "X3000", "'%s' bindings are not supported by this compiler", text.c_str());
  size_t digits = text.size();
  while (digits > 0 && text[digits - 1] >= '0' && text[digits - 1] <= '9') --digits;
  std::string base = text.substr(0, digits);
  std::string number = text.substr(digits);
  if (number.size() > 2) return Error(t.loc, "X3000", "invalid semantic index in '%s'", text.c_str());
  semantic->present = true;
  semantic->text = text;
  semantic->loc = t.loc;
  semantic->index = number.empty() ? 0 : static_cast<uint32_t>(atoi(number.c_str()));
  if (EqualsNoCase(base, "POSITION") || EqualsNoCase(base, "SV_POSITION") ||
      EqualsNoCase(base, "VPOS"))
    semantic->kind = kSemPosition;
  else if (EqualsNoCase(base, "TEXCOORD"))
    semantic->kind = kSemTexcoord;
  else if (EqualsNoCase(base, "COLOR"))
    semantic->kind = kSemColor;
  else if (EqualsNoCase(base, "SV_TARGET"))
    semantic->kind = kSemTarget;
  else if (EqualsNoCase(base, "DEPTH") || EqualsNoCase(base, "SV_DEPTH"))
    semantic->kind = kSemDepth;
  else if (EqualsNoCase(base, "VFACE") || EqualsNoCase(base, "SV_ISFRONTFACE"))
    semantic->kind = kSemFace;
  else
    semantic->kind = kSemOther;
  return true;
}

bool Compiler::ParseGlobal(const Type& firstType, const Token& firstName) {
  Type type = firstType;
  Token name = firstName;
  for (;;) {
    if (!CheckNewGlobalName(name)) return false;
    if (type.base == kTypeVoid || type.base == kTypeStruct)
      return Error(name.loc, "X3000", "global '%s' of type '%s' is not supported by this compiler",
                   Name(name).c_str(), TypeName(type).c_str());
    if (globals_.size() >= kMaxGlobals)
      return Error(name.loc, "X3000", "too many globals (more than %zu)", kMaxGlobals);
    Global g;
    g.name = Name(name);
    g.type = type;
    g.loc = name.loc;
    if (Peek().Is(":")) {
      Semantic ignored;  // a semantic on a global is only a label
      if (!ParseSemantic(&ignored)) return false;
    }
    if (Peek().Is("<"))
      return Error(Peek().loc, "X3000", "annotations are not supported by this compiler");
    globals_.push_back(g);
    if (TakeIf("=")) {
      if (type.base == kTypeSampler) {
        if (!ParseSamplerState(name)) return false;
      } else if (type.base == kTypeTexture) {
        return Error(Peek().loc, "X3000", "a texture cannot be initialised");
      } else if (!ParseConstantInitializer(type, &globals_.back())) {
        return false;
      }
    }
    if (TakeIf(";")) return true;
    if (!Expect(",")) return false;
    if (!ExpectIdentifier(&name)) return false;
  }
}

bool Compiler::ParseSamplerState(const Token& samplerName) {
  Token keyword = Take();
  if (!keyword.Is("sampler_state")) {
    if (keyword.kind == kTokError) return Unexpected(keyword);
    return Error(keyword.loc, "X3000", "sampler '%s' must be initialised with sampler_state { ... }",
                 Name(samplerName).c_str());
  }
  if (!Expect("{")) return false;
  while (!Peek().Is("}")) {
    Token state;
    if (!ExpectIdentifier(&state)) return false;
    std::string key = Name(state);
    if (!Expect("=")) return false;
    if (EqualsNoCase(key, "Texture")) {
      const char* close = nullptr;
      if (TakeIf("(")) close = ")";
      else if (TakeIf("<")) close = ">";
      Token tex;
      if (!ExpectIdentifier(&tex)) return false;
      int g = FindGlobal(Name(tex));
      if (g < 0) return Error(tex.loc, "X3004", "undeclared identifier '%s'", Name(tex).c_str());
      if (globals_[g].type.base != kTypeTexture)
        return Error(tex.loc, "X3017", "'%s' is not a texture", Name(tex).c_str());
      if (close && !Expect(close)) return false;
    } else {
      static const char* const kFilters[] = {"NONE", "POINT", "LINEAR", "ANISOTROPIC"};
      static const char* const kAddresses[] = {"WRAP", "MIRROR", "CLAMP", "BORDER", "MIRRORONCE"};
      const char* const* values = nullptr;
      size_t count = 0;
      if (EqualsNoCase(key, "MipFilter") || EqualsNoCase(key, "MinFilter") ||
          EqualsNoCase(key, "MagFilter")) {
        values = kFilters;
        count = 4;
      } else if (EqualsNoCase(key, "AddressU") || EqualsNoCase(key, "AddressV") ||
                 EqualsNoCase(key, "AddressW")) {
        values = kAddresses;
        count = 5;
      } else {
        return Error(state.loc, "X3000", "unknown or unsupported sampler state '%s'", key.c_str());
      }
      Token value = Take();
      bool known = false;
      if (value.kind == kTokIdentifier)
        for (size_t i = 0; i < count; ++i) known = known || EqualsNoCase(Name(value), values[i]);
      if (!known) {
        if (value.kind == kTokError) return Unexpected(value);
        char text[80];
        DescribeToken(value, text, sizeof text);
        return Error(value.loc, "X3000", "invalid value %s for sampler state '%s'", text,
                     key.c_str());
      }
    }
    if (!Expect(";")) return false;
  }
  Take();  // }
  return true;
}

// A global's default: literals only, as a scalar, a constructor or a brace list.
bool Compiler::ParseConstantInitializer(const Type& type, Global* global) {
  Location loc = Peek().loc;
  float values[4] = {};
  uint32_t count = 0;
  if (TakeIf("{")) {
    for (;;) {
      Value v;
      Location itemLoc = Peek().loc;
      if (!ParseExpression(&v, 0)) return false;
      if (v.kind != Value::kLiteral)
        return Error(itemLoc, "X3000", "initializer of '%s' must be a literal constant",
                     global->name.c_str());
      for (uint32_t c = 0; c < v.type.dim; ++c) {
        if (count >= 4 || count >= type.dim)
          return Error(itemLoc, "X3000", "too many initializers for '%s'", global->name.c_str());
        values[count++] = v.lit[c];
      }
      if (TakeIf("}")) break;
      if (!Expect(",")) return false;
    }
    if (count != type.dim)
      return Error(loc, "X3000", "too few initializers for '%s'", global->name.c_str());
  } else {
    Value v;
    if (!ParseExpression(&v, 0)) return false;
    if (v.kind != Value::kLiteral)
      return Error(loc, "X3000", "initializer of '%s' must be a literal constant",
                   global->name.c_str());
    if (!Convert(&v, type.dim, loc)) return false;
    for (uint32_t c = 0; c < type.dim; ++c) values[c] = v.lit[c];
  }
  global->hasDefault = true;
  memcpy(global->defaultValue, values, sizeof values);
  return true;
}

bool Compiler::ParseFunction(const Type& returnType, const Token& name) {
  if (!CheckNewGlobalName(name)) return false;
  if (functions_.size() >= kMaxFunctions)
    return Error(name.loc, "X3000", "too many functions (more than %zu)", kMaxFunctions);
  functions_.push_back(Name(name));
  Take();  // (

  inFunction_ = true;
  functionName_ = Name(name);
  isEntry_ = functionName_ == entry_;
  if (isEntry_) entryFound_ = true;
  returnType_ = returnType;
  returnSemantic_ = Semantic();
  returned_ = false;
  warnedUnreachable_ = false;
  locals_.clear();
  blockDepth_ = 0;
  tempTop_ = 0;
  code_.clear();
  literals_.clear();

  if (returnType.base == kTypeSampler || returnType.base == kTypeTexture)
    return Error(name.loc, "X3000", "functions returning '%s' are not supported by this compiler",
                 TypeName(returnType).c_str());

  if (Peek().Is("void") && Peek(1).Is(")")) Take();
  size_t paramCount = 0;
  if (!Peek().Is(")")) {
    for (;;) {
      Token t = Take();
      if (t.Is("in")) t = Take();
      if (t.Is("uniform") || t.Is("out") || t.Is("inout"))
        return Error(t.loc, "X3000", "'%.*s' parameters are not supported by this compiler",
                     (int)t.length, t.text);
      if (t.kind != kTokIdentifier) return Unexpected(t);
      Type type;
      if (!ParseTypeName(t, &type)) return false;
      Token paramName;
      if (!ExpectIdentifier(&paramName)) return false;
      Semantic semantic;
      if (Peek().Is(":") && !ParseSemantic(&semantic)) return false;
      if (Peek().Is("="))
        return Error(Peek().loc, "X3000", "default parameter values are not supported by this compiler");
      if (++paramCount > kMaxParams)
        return Error(paramName.loc, "X3000", "too many parameters (more than %zu)", kMaxParams);
      if (!DeclareParameter(type, paramName, semantic)) return false;
      if (TakeIf(")")) break;
      if (!Expect(",")) return false;
    }
  } else {
    Take();
  }

  if (Peek().Is(":") && !ParseSemantic(&returnSemantic_)) return false;

  if (isEntry_) {
    bool hasColor = false;
    if (returnType.base == kTypeStruct) {
      if (returnSemantic_.present)
        return Error(returnSemantic_.loc, "X3000", "a struct return value takes no semantic");
      const StructDef& def = structs_[returnType.structIndex];
      for (const Member& m : def.members) {
        bool isColor = false;
        std::string what = def.name + "." + m.name;
        if (!CheckEntryOutput(m.semantic, m.type, what.c_str(), name.loc, &isColor)) return false;
        if (isColor && hasColor)
          return Error(m.semantic.loc, "X4504", "overlapping output semantics");
        hasColor = hasColor || isColor;
      }
    } else if (returnType.base == kTypeFloat) {
      if (!CheckEntryOutput(returnSemantic_, returnType, "return value", name.loc, &hasColor))
        return false;
    }
    if (!hasColor)
      return Error(name.loc, "X3000", "'%s': a pixel shader must return a COLOR0 output",
                   functionName_.c_str());
  }

  if (Peek().Is(";"))
    return Error(Peek().loc, "X3000",
                 "function declarations without a body are not supported by this compiler");
  if (!Expect("{")) return false;
  if (!ParseBlockBody(1)) return false;
  Token close = Take();  // }
  if (returnType.base != kTypeVoid && !returned_)
    return Error(close.loc, "X3080", "'%s': function must return a value", functionName_.c_str());
  inFunction_ = false;
  if (isEntry_) return FinishEntry(name.loc);
  return true;
}

bool Compiler::CheckEntryOutput(const Semantic& semantic, const Type& type, const char* what,
                                Location loc, bool* isColor) {
  *isColor = false;
  if (!semantic.present)
    return Error(loc, "X3503", "'%s': %s missing semantics", functionName_.c_str(), what);
  if ((semantic.kind == kSemColor || semantic.kind == kSemTarget) && semantic.index == 0) {
    if (type.base != kTypeFloat || type.dim != 4)
      return Error(semantic.loc, "X3000", "output %s must be a float4, not '%s'",
                   semantic.text.c_str(), TypeName(type).c_str());
    *isColor = true;
    return true;
  }
  return Error(semantic.loc, "X4502", "output semantic '%s' is not supported by this compiler",
               semantic.text.c_str());
}

bool Compiler::BindEntryInput(const Semantic& semantic, const Type& type, const char* what,
                              Location loc, Slot* slot, bool* readable) {
  *readable = true;
  if (!semantic.present)
    return Error(loc, "X3502", "'%s': input parameter '%s' missing semantics",
                 functionName_.c_str(), what);
  if (!IsNumeric(type))
    return Error(loc, "X3000", "input '%s' of type '%s' is not supported", what,
                 TypeName(type).c_str());
  switch (semantic.kind) {
    case kSemPosition: *readable = false; return true;
    case kSemTexcoord:
      if (semantic.index >= kMaxShaderTexcoords)
        return Error(semantic.loc, "X4502", "invalid input semantic '%s': legal indices are 0 to %u",
                     semantic.text.c_str(), kMaxShaderTexcoords - 1);
      slot->file = kFileTexcoord;
      slot->index = static_cast<uint16_t>(semantic.index);
      return true;
    case kSemColor:
      if (semantic.index >= kMaxShaderColors)
        return Error(semantic.loc, "X4502", "invalid input semantic '%s': legal indices are 0 to %u",
                     semantic.text.c_str(), kMaxShaderColors - 1);
      slot->file = kFileColor;
      slot->index = static_cast<uint16_t>(semantic.index);
      return true;
    default:
      return Error(semantic.loc, "X4502", "input semantic '%s' is not supported by this compiler",
                   semantic.text.c_str());
  }
}

// A parameter becomes a local that starts as a copy of its input registers;
// copy propagation removes the copies again when nothing writes to them.
bool Compiler::DeclareParameter(const Type& type, const Token& name, const Semantic& semantic) {
  std::string n = Name(name);
  for (const Local& l : locals_)
    if (l.name == n) return Error(name.loc, "X3003", "redefinition of '%s'", n.c_str());
  if (type.base != kTypeFloat && type.base != kTypeStruct)
    return Error(name.loc, "X3000", "parameters of type '%s' are not supported by this compiler",
                 TypeName(type).c_str());
  Local local;
  local.name = n;
  local.type = type;
  local.param = true;
  local.depth = 1;  // the body's outermost block: a local there may not reuse the name
  local.loc = name.loc;

  struct Part {
    Type type;
    Semantic semantic;
    std::string what;
  };
  std::vector<Part> parts;
  if (type.base == kTypeStruct) {
    const StructDef& def = structs_[type.structIndex];
    for (const Member& m : def.members) parts.push_back({m.type, m.semantic, n + "." + m.name});
  } else {
    parts.push_back({type, semantic, n});
  }
  for (size_t i = 0; i < parts.size(); ++i) {
    Slot& slot = local.slots[i];
    slot.dim = parts[i].type.dim;
    Slot input;
    bool readable = true;
    if (isEntry_) {
      if (type.base == kTypeStruct && semantic.present)
        return Error(semantic.loc, "X3000", "a struct parameter takes no semantic");
      if (!BindEntryInput(parts[i].semantic, parts[i].type, parts[i].what.c_str(), name.loc,
                          &input, &readable))
        return false;
    } else {
      input.file = kIrParam;
      input.index = static_cast<uint16_t>(locals_.size() * kMaxMembers + i);
    }
    if (!readable) continue;  // slot.file stays none: reading it is an error
    if (!AllocTemp(name.loc, &slot.index)) return false;
    slot.file = kFileTemp;
    slot.init = static_cast<uint8_t>((1u << slot.dim) - 1);
    IrOperand dst, src;
    dst.file = kFileTemp;
    dst.index = slot.index;
    dst.mask = slot.init;
    src.file = input.file;
    src.index = input.index;
    if (!Emit(kOpMov, dst, src)) return false;
  }
  local.slotCount = static_cast<uint32_t>(parts.size());
  if (locals_.size() >= kMaxLocals)
    return Error(name.loc, "X3000", "too many local variables (more than %zu)", kMaxLocals);
  locals_.push_back(local);
  return true;
}

// --- statements -----------------------------------------------------------------

bool Compiler::ParseBlockBody(int depth) {
  if (depth > kMaxBlockDepth)
    return Error(Peek().loc, "X3000", "blocks nested too deeply (more than %d)", kMaxBlockDepth);
  const size_t localMark = locals_.size();
  const uint16_t tempMark = tempTop_;
  ++blockDepth_;
  while (!Peek().Is("}")) {
    if (Peek().kind == kTokEnd) return Expect("}");
    if (!ParseStatement(depth)) return false;
  }
  --blockDepth_;
  locals_.resize(localMark);
  tempTop_ = tempMark;
  return true;
}

bool Compiler::ParseStatement(int depth) {
  const Token& t = Peek();
  if (returned_ && !warnedUnreachable_ && !t.Is(";")) {
    Warning(t.loc, "X3557", "unreachable code");
    warnedUnreachable_ = true;
  }
  if (t.Is(";")) {
    Take();
    return true;
  }
  if (t.Is("{")) {
    Take();
    if (!ParseBlockBody(depth + 1)) return false;
    Take();  // }
    return true;
  }
  if (t.kind != kTokIdentifier) {
    if (t.kind == kTokError || t.kind == kTokEnd || !(t.Is("(") || t.kind == kTokNumber))
      return Unexpected(Take());
    return ParseAssignment();
  }
  std::string word = Name(t);
  if (word == "return") return ParseReturn(Take());
  if (InList(word, kUnsupportedKeywords, sizeof kUnsupportedKeywords / sizeof kUnsupportedKeywords[0]))
    return Error(t.loc, "X3000", "'%s' is not supported by this compiler", word.c_str());
  if (FindLocal(word) < 0 && IsTypeToken(t) && !Peek(1).Is("(")) return ParseDeclaration();
  return ParseAssignment();
}

bool Compiler::ParseDeclaration() {
  Token typeToken = Take();
  Type type;
  if (!ParseTypeName(typeToken, &type)) return false;
  if (type.base != kTypeFloat && type.base != kTypeStruct)
    return Error(typeToken.loc, "X3000", "local variables of type '%s' are not supported by this compiler",
                 TypeName(type).c_str());
  for (;;) {
    Token name;
    if (!ExpectIdentifier(&name)) return false;
    std::string n = Name(name);
    for (size_t i = locals_.size(); i-- > 0;) {
      if (locals_[i].depth < blockDepth_) break;
      if (locals_[i].name == n) return Error(name.loc, "X3003", "redefinition of '%s'", n.c_str());
    }
    if (IsKnownType(n) || FindStruct(n) >= 0 || n == "tex2D")
      return Error(name.loc, "X3000", "syntax error: unexpected token '%s'", n.c_str());
    if (locals_.size() >= kMaxLocals)
      return Error(name.loc, "X3000", "too many local variables (more than %zu)", kMaxLocals);
    Local local;
    local.name = n;
    local.type = type;
    local.depth = blockDepth_;
    local.loc = name.loc;
    if (type.base == kTypeStruct) {
      const StructDef& def = structs_[type.structIndex];
      local.slotCount = static_cast<uint32_t>(def.members.size());
      for (size_t i = 0; i < def.members.size(); ++i) {
        local.slots[i].dim = def.members[i].type.dim;
        local.slots[i].file = kFileTemp;
        if (!AllocTemp(name.loc, &local.slots[i].index)) return false;
      }
    } else {
      local.slotCount = 1;
      local.slots[0].dim = type.dim;
      local.slots[0].file = kFileTemp;
      if (!AllocTemp(name.loc, &local.slots[0].index)) return false;
    }
    // The initializer cannot see the variable it initialises.
    Local pending = local;
    pending.name.clear();
    locals_.push_back(pending);
    const int index = static_cast<int>(locals_.size()) - 1;
    const uint16_t statementTemps = tempTop_;
    if (Peek().Is(":"))
      return Error(Peek().loc, "X3000", "semantics on local variables are not supported by this compiler");
    if (TakeIf("=")) {
      Location loc = Peek().loc;
      if (Peek().Is("{"))
        return Error(loc, "X3000", "initializer lists are only supported on globals");
      Value v;
      if (!ParseExpression(&v, 0)) return false;
      Lvalue lv;
      lv.local = index;
      lv.slot = type.base == kTypeStruct ? -1 : 0;
      lv.dim = type.dim;
      lv.loc = name.loc;
      if (!Store(lv, v, loc)) return false;
    }
    tempTop_ = statementTemps;
    locals_[index].name = n;
    if (TakeIf(";")) return true;
    if (!Expect(",")) return false;
  }
}

bool Compiler::ParseReturn(const Token& keyword) {
  if (returnType_.base == kTypeVoid) {
    if (!Peek().Is(";"))
      return Error(Peek().loc, "X3000", "'%s': void function cannot return a value",
                   functionName_.c_str());
    Take();
    returned_ = true;
    return true;
  }
  if (Peek().Is(";"))
    return Error(keyword.loc, "X3080", "'%s': function must return a value", functionName_.c_str());
  const uint16_t mark = tempTop_;
  Location loc = Peek().loc;
  Value v;
  if (!ParseExpression(&v, 0)) return false;
  if (!Expect(";")) return false;

  const bool emit = isEntry_ && !returned_;
  if (returnType_.base == kTypeStruct) {
    if (v.kind != Value::kStruct || !SameType(v.type, returnType_))
      return Error(loc, "X3017", "cannot implicitly convert from '%s' to '%s'",
                   TypeName(v.type).c_str(), TypeName(returnType_).c_str());
    const StructDef& def = structs_[returnType_.structIndex];
    for (size_t i = 0; i < def.members.size(); ++i) {
      Value member = ReadSlot(v.local, static_cast<int>(i), loc);
      IrOperand src;
      if (!Use(member, static_cast<uint8_t>((1u << member.type.dim) - 1), &src)) return false;
      if (emit) {
        IrOperand dst;
        dst.file = kFileOutput;
        dst.mask = 0xF;
        if (!Emit(kOpMov, dst, src)) return false;
      }
    }
  } else {
    if (!Convert(&v, returnType_.dim, loc)) return false;
    IrOperand src;
    if (!Use(v, static_cast<uint8_t>((1u << returnType_.dim) - 1), &src)) return false;
    if (emit) {
      IrOperand dst;
      dst.file = kFileOutput;
      dst.mask = 0xF;
      if (!Emit(kOpMov, dst, src)) return false;
    }
  }
  returned_ = true;
  tempTop_ = mark;
  return true;
}

bool Compiler::ParseLvalue(Lvalue* out) {
  Token name;
  if (!ExpectIdentifier(&name)) return false;
  std::string n = Name(name);
  out->loc = name.loc;
  int local = FindLocal(n);
  if (local < 0) {
    if (FindGlobal(n) >= 0)
      return Error(name.loc, "X3025",
                   "global variables are implicitly constant, enable compatibility mode to allow "
                   "modification");
    return Error(name.loc, "X3004", "undeclared identifier '%s'", n.c_str());
  }
  const Local& l = locals_[local];
  out->local = local;
  out->slot = -1;
  Type type = l.type;
  if (type.base == kTypeStruct) {
    if (!TakeIf(".")) return true;  // the whole struct
    Token member;
    if (!ExpectIdentifier(&member)) return false;
    const StructDef& def = structs_[type.structIndex];
    std::string m = Name(member);
    for (size_t i = 0; i < def.members.size(); ++i)
      if (def.members[i].name == m) out->slot = static_cast<int>(i);
    if (out->slot < 0) return Error(member.loc, "X3018", "invalid subscript '%s'", m.c_str());
    type = def.members[out->slot].type;
  } else {
    out->slot = 0;
  }
  if (l.slots[out->slot].file != kFileTemp)
    return Error(name.loc, "X3000", "the POSITION input cannot be used in a pixel shader");
  out->dim = type.dim;
  if (TakeIf(".")) {
    Token swizzle;
    if (!ExpectIdentifier(&swizzle)) return false;
    std::string s = Name(swizzle);
    if (s.size() > 4) return Error(swizzle.loc, "X3018", "invalid subscript '%s'", s.c_str());
    uint8_t used = 0;
    const bool rgba = s.find_first_of("rgba") != std::string::npos;
    for (size_t i = 0; i < s.size(); ++i) {
      const char* set = rgba ? "rgba" : "xyzw";
      const char* p = strchr(set, s[i]);
      if (!p || s[i] == '\0' || static_cast<uint8_t>(p - set) >= type.dim)
        return Error(swizzle.loc, "X3018", "invalid subscript '%s'", s.c_str());
      uint8_t comp = static_cast<uint8_t>(p - set);
      if (used & (1u << comp))
        return Error(swizzle.loc, "X3018", "invalid l-value: component '%c' written twice", s[i]);
      used |= static_cast<uint8_t>(1u << comp);
      out->comps[i] = comp;
    }
    out->dim = static_cast<uint8_t>(s.size());
    if (Peek().Is("."))
      return Error(Peek().loc, "X3018", "invalid l-value");
  }
  return true;
}

bool Compiler::Store(const Lvalue& lv, Value value, Location loc) {
  Local& l = locals_[lv.local];
  if (lv.slot < 0) {
    if (value.kind != Value::kStruct || !SameType(value.type, l.type))
      return Error(loc, "X3017", "cannot implicitly convert from '%s' to '%s'",
                   TypeName(value.type).c_str(), TypeName(l.type).c_str());
    for (uint32_t i = 0; i < l.slotCount; ++i) {
      Value member = ReadSlot(value.local, static_cast<int>(i), loc);
      Lvalue part;
      part.local = lv.local;
      part.slot = static_cast<int>(i);
      part.dim = l.slots[i].dim;
      // An input that cannot be read is not copied: the member stays unset.
      if (l.slots[i].file != kFileTemp || member.position) continue;
      if (!Store(part, member, loc)) return false;
    }
    return true;
  }
  if (!Convert(&value, lv.dim, loc)) return false;
  Slot& slot = l.slots[lv.slot];
  IrOperand src;
  if (!Use(value, static_cast<uint8_t>((1u << lv.dim) - 1), &src)) return false;
  // Component i of the value goes to register component comps[i].
  IrOperand moved = src;
  uint8_t mask = 0;
  for (uint32_t i = 0; i < lv.dim; ++i) {
    moved.swz[lv.comps[i]] = src.swz[i];
    mask |= static_cast<uint8_t>(1u << lv.comps[i]);
  }
  IrOperand dst;
  dst.file = kFileTemp;
  dst.index = slot.index;
  dst.mask = mask;
  if (!Emit(kOpMov, dst, moved)) return false;
  slot.init |= mask;
  return true;
}

bool Compiler::ParseAssignment() {
  const uint16_t mark = tempTop_;
  const Token& first = Peek();
  // A statement that does not start with a variable (a call, a literal, a
  // parenthesis) can only be an expression without effect.
  if (first.kind != kTokIdentifier || FindLocal(Name(first)) < 0) {
    if (first.kind == kTokIdentifier && !Peek(1).Is("(") && FindGlobal(Name(first)) < 0) {
      Token name = Take();
      return Error(name.loc, "X3004", "undeclared identifier '%s'", Name(name).c_str());
    }
    if (first.kind == kTokIdentifier && FindGlobal(Name(first)) >= 0 &&
        (Peek(1).Is("=") || Peek(1).Is(".") || Peek(1).Is("*=") || Peek(1).Is("+=") ||
         Peek(1).Is("-=") || Peek(1).Is("/="))) {
      Lvalue ignored;
      return ParseLvalue(&ignored);  // reports the global's constness
    }
    Location loc = first.loc;
    Value v;
    if (!ParseExpression(&v, 0)) return false;
    if (Peek().Is("=") || Peek().Is("*=") || Peek().Is("+=") || Peek().Is("-=") || Peek().Is("/="))
      return Error(loc, "X3025", "l-value specifies const object");
    if (!Expect(";")) return false;
    return Error(loc, "X3000", "statement has no effect");
  }
  Lvalue lv;
  if (!ParseLvalue(&lv)) return false;
  Token op = Take();
  static const char* const kOps[] = {"=", "*=", "+=", "-=", "/="};
  bool known = false;
  for (const char* o : kOps) known = known || op.Is(o);
  if (!known) {
    if (op.Is(";")) return Error(lv.loc, "X3000", "statement has no effect");
    if (op.Is("++") || op.Is("--"))
      return Error(op.loc, "X3000", "operator '%.*s' is not supported by this compiler",
                   (int)op.length, op.text);
    if (op.kind == kTokError) return Unexpected(op);
    char text[80];
    DescribeToken(op, text, sizeof text);
    return Error(op.loc, "X3000", "syntax error: unexpected token %s, expected '='", text);
  }
  Location loc = Peek().loc;
  Value rhs;
  if (!ParseExpression(&rhs, 0)) return false;
  if (!op.Is("=")) {
    if (lv.slot < 0)
      return Error(op.loc, "X3020", "operator '%.*s' cannot be applied to '%s'", (int)op.length,
                   op.text, TypeName(locals_[lv.local].type).c_str());
    Value current = ReadSlot(lv.local, lv.slot, lv.loc);
    current.type.dim = lv.dim;
    for (int i = 0; i < 4; ++i) current.op.swz[i] = lv.comps[i < lv.dim ? i : lv.dim - 1];
    Token binary = op;
    binary.length = 1;  // "*=" -> "*"
    Value combined;
    if (!Binary(binary, current, rhs, &combined)) return false;
    rhs = combined;
  }
  if (!Expect(";")) return false;
  if (!Store(lv, rhs, loc)) return false;
  tempTop_ = mark;
  return true;
}

// --- expressions ------------------------------------------------------------------

bool Compiler::ParseExpression(Value* out, int depth) {
  if (!ParseAdditive(out, depth)) return false;
  const Token& t = Peek();
  static const char* const kUnsupported[] = {"<", ">", "<=", ">=", "==", "!=", "&&", "||",
                                             "?", "&", "|", "^", "<<", ">>", "%"};
  for (const char* op : kUnsupported)
    if (t.Is(op))
      return Error(t.loc, "X3000", "operator '%s' is not supported by this compiler", op);
  return true;
}

bool Compiler::ParseAdditive(Value* out, int depth) {
  if (!ParseMultiplicative(out, depth)) return false;
  while (Peek().Is("+") || Peek().Is("-")) {
    Token op = Take();
    Value rhs;
    if (!ParseMultiplicative(&rhs, depth)) return false;
    Value combined;
    if (!Binary(op, *out, rhs, &combined)) return false;
    *out = combined;
  }
  return true;
}

bool Compiler::ParseMultiplicative(Value* out, int depth) {
  if (!ParseUnary(out, depth)) return false;
  while (Peek().Is("*") || Peek().Is("/")) {
    Token op = Take();
    Value rhs;
    if (!ParseUnary(&rhs, depth)) return false;
    Value combined;
    if (!Binary(op, *out, rhs, &combined)) return false;
    *out = combined;
  }
  return true;
}

bool Compiler::ParseUnary(Value* out, int depth) {
  if (depth >= kMaxExpressionDepth)
    return Error(Peek().loc, "X3000", "expression nested too deeply (more than %d levels)",
                 kMaxExpressionDepth);
  const Token& t = Peek();
  if (t.Is("-") || t.Is("+")) {
    Token op = Take();
    if (!ParseUnary(out, depth + 1)) return false;
    if (!IsNumeric(out->type))
      return Error(op.loc, "X3020", "operator '%c' cannot be applied to '%s'", op.text[0],
                   TypeName(out->type).c_str());
    if (op.Is("-")) {
      if (out->kind == Value::kLiteral)
        for (float& f : out->lit) f = -f;
      else
        out->op.neg = !out->op.neg;
    }
    out->loc = op.loc;
    return true;
  }
  if (t.Is("!") || t.Is("~") || t.Is("++") || t.Is("--"))
    return Error(t.loc, "X3000", "operator '%.*s' is not supported by this compiler",
                 (int)t.length, t.text);
  return ParsePostfix(out, depth);
}

bool Compiler::ParsePostfix(Value* out, int depth) {
  if (!ParsePrimary(out, depth)) return false;
  for (;;) {
    if (Peek().Is(".")) {
      Take();
      Token name;
      if (!ExpectIdentifier(&name)) return false;
      if (!Subscript(out, name)) return false;
    } else if (Peek().Is("[") || Peek().Is("++") || Peek().Is("--")) {
      return Error(Peek().loc, "X3000", "operator '%.*s' is not supported by this compiler",
                   (int)Peek().length, Peek().text);
    } else {
      return true;
    }
  }
}

Value Compiler::ReadSlot(int local, int slot, Location loc) {
  const Local& l = locals_[local];
  const Slot& s = l.slots[slot];
  Value v;
  v.kind = Value::kReg;
  v.type.base = kTypeFloat;
  v.type.dim = s.dim;
  v.op.file = s.file;
  v.op.index = s.index;
  v.local = local;
  v.slot = slot;
  v.position = s.file == kFileNone;
  v.loc = loc;
  return v;
}

bool Compiler::Subscript(Value* v, const Token& name) {
  std::string n = Name(name);
  if (v->kind == Value::kStruct) {
    const StructDef& def = structs_[v->type.structIndex];
    for (size_t i = 0; i < def.members.size(); ++i) {
      if (def.members[i].name == n) {
        Location loc = v->loc;
        *v = ReadSlot(v->local, static_cast<int>(i), loc);
        if (v->position)
          return Error(name.loc, "X4502",
                       "'%s.%s': the POSITION input cannot be read in a pixel shader",
                       locals_[v->local].name.c_str(), n.c_str());
        return true;
      }
    }
    return Error(name.loc, "X3018", "invalid subscript '%s'", n.c_str());
  }
  if (!IsNumeric(v->type) || n.size() > 4)
    return Error(name.loc, "X3018", "invalid subscript '%s'", n.c_str());
  const bool rgba = n.find_first_of("rgba") != std::string::npos;
  const char* set = rgba ? "rgba" : "xyzw";
  uint8_t comps[4];
  for (size_t i = 0; i < n.size(); ++i) {
    const char* p = strchr(set, n[i]);
    if (!p || static_cast<uint8_t>(p - set) >= v->type.dim)
      return Error(name.loc, "X3018", "invalid subscript '%s'", n.c_str());
    comps[i] = static_cast<uint8_t>(p - set);
  }
  const uint8_t dim = static_cast<uint8_t>(n.size());
  if (v->kind == Value::kLiteral) {
    float lit[4];
    for (int i = 0; i < 4; ++i) lit[i] = v->lit[comps[i < dim ? i : dim - 1]];
    memcpy(v->lit, lit, sizeof lit);
  } else {
    uint8_t swz[4];
    for (int i = 0; i < 4; ++i) swz[i] = v->op.swz[comps[i < dim ? i : dim - 1]];
    memcpy(v->op.swz, swz, sizeof swz);
  }
  v->type.dim = dim;
  return true;
}

bool Compiler::ParseArguments(std::vector<Value>* args, int depth) {
  Take();  // (
  if (TakeIf(")")) return true;
  for (;;) {
    Value v;
    if (!ParseExpression(&v, depth + 1)) return false;
    if (args->size() >= kMaxArguments)
      return Error(v.loc, "X3000", "too many arguments (more than %zu)", kMaxArguments);
    args->push_back(v);
    if (TakeIf(")")) return true;
    if (!Expect(",")) return false;
  }
}

bool Compiler::ParsePrimary(Value* out, int depth) {
  Token t = Take();
  out->loc = t.loc;
  if (t.kind == kTokNumber) {
    out->kind = Value::kLiteral;
    out->type.base = kTypeFloat;
    out->type.dim = 1;
    for (float& f : out->lit) f = t.number;
    return true;
  }
  if (t.Is("(")) {
    if (IsTypeToken(Peek()) && Peek(1).Is(")"))
      return Error(t.loc, "X3000", "casts are not supported by this compiler");
    if (!ParseExpression(out, depth + 1)) return false;
    out->loc = t.loc;
    return Expect(")");
  }
  if (t.kind != kTokIdentifier) return Unexpected(t);

  const std::string name = Name(t);
  int local = FindLocal(name);
  if (local >= 0) {
    const Local& l = locals_[local];
    if (l.type.base == kTypeStruct) {
      out->kind = Value::kStruct;
      out->type = l.type;
      out->local = local;
      return true;
    }
    *out = ReadSlot(local, 0, t.loc);
    if (out->position)
      return Error(t.loc, "X4502", "'%s': the POSITION input cannot be read in a pixel shader",
                   name.c_str());
    return true;
  }
  int global = FindGlobal(name);
  if (global >= 0) {
    const Global& g = globals_[global];
    out->type = g.type;
    out->global = global;
    if (g.type.base == kTypeSampler) {
      out->kind = Value::kSampler;
    } else if (g.type.base == kTypeTexture) {
      out->kind = Value::kTexture;
    } else {
      if (!inFunction_)
        return Error(t.loc, "X3000", "initializer must be a literal constant");
      out->kind = Value::kReg;
      out->op.file = kIrGlobalConst;
      out->op.index = static_cast<uint16_t>(global);
    }
    return true;
  }
  const bool call = Peek().Is("(");
  Type type = BuiltinType(name);
  if (type.dim != 0xFF || FindStruct(name) >= 0 || IsUnsupportedTypeName(name)) {
    if (!call) return Unexpected(t);
    if (type.dim == 0xFF || type.base != kTypeFloat)
      return Error(t.loc, "X3000", "constructors of type '%s' are not supported by this compiler",
                   name.c_str());
    std::vector<Value> args;
    if (!ParseArguments(&args, depth)) return false;
    return Construct(type, t, args, out);
  }
  if (name == "tex2D" && call) {
    std::vector<Value> args;
    if (!ParseArguments(&args, depth)) return false;
    return Tex2D(t, args, out);
  }
  if (IsFunction(name) || (name == functionName_ && inFunction_))
    return Error(t.loc, "X3000", "calls to user-defined functions are not supported by this compiler");
  if (call && InList(name, kIntrinsics, sizeof kIntrinsics / sizeof kIntrinsics[0]))
    return Error(t.loc, "X3000", "intrinsic function '%s' is not supported by this compiler",
                 name.c_str());
  if (InList(name, kUnsupportedKeywords, sizeof kUnsupportedKeywords / sizeof kUnsupportedKeywords[0]))
    return Error(t.loc, "X3000", "'%s' is not supported by this compiler", name.c_str());
  if (name == "return" || name == "struct" || name == "sampler_state")
    return Unexpected(t);
  return Error(t.loc, "X3004", "undeclared identifier '%s'", name.c_str());
}

bool Compiler::Construct(const Type& type, const Token& name, std::vector<Value>& args,
                         Value* out) {
  uint32_t total = 0;
  bool allLiteral = true;
  for (const Value& a : args) {
    if (!IsNumeric(a.type))
      return Error(a.loc, "X3017", "cannot convert from '%s' to a component of '%s'",
                   TypeName(a.type).c_str(), TypeName(type).c_str());
    total += a.type.dim;
    allLiteral = allLiteral && a.kind == Value::kLiteral;
  }
  if (total != type.dim)
    return Error(name.loc, "X3014", "incorrect number of arguments to numeric-type constructor");
  out->type = type;
  out->loc = name.loc;
  if (allLiteral) {
    out->kind = Value::kLiteral;
    uint32_t c = 0;
    for (const Value& a : args)
      for (uint32_t i = 0; i < a.type.dim; ++i) out->lit[c++] = a.lit[i];
    for (; c < 4; ++c) out->lit[c] = out->lit[type.dim - 1];
    return true;
  }
  uint16_t temp = 0;
  if (!AllocTemp(name.loc, &temp)) return false;
  uint32_t pos = 0;
  for (const Value& a : args) {
    IrOperand src;
    if (!Use(a, static_cast<uint8_t>((1u << a.type.dim) - 1), &src)) return false;
    IrOperand placed = src;
    IrOperand dst;
    dst.file = kFileTemp;
    dst.index = temp;
    for (uint32_t i = 0; i < a.type.dim; ++i) {
      placed.swz[pos + i] = src.swz[i];
      dst.mask |= static_cast<uint8_t>(1u << (pos + i));
    }
    if (!Emit(kOpMov, dst, placed)) return false;
    pos += a.type.dim;
  }
  out->kind = Value::kReg;
  out->op = IrOperand();
  out->op.file = kFileTemp;
  out->op.index = temp;
  return true;
}

bool Compiler::Tex2D(const Token& name, std::vector<Value>& args, Value* out) {
  if (args.size() != 2)
    return Error(name.loc, "X3013", "'tex2D': no matching %zu parameter intrinsic function",
                 args.size());
  if (args[0].kind != Value::kSampler)
    return Error(args[0].loc, "X3017", "'tex2D': cannot convert from '%s' to 'sampler2D'",
                 TypeName(args[0].type).c_str());
  Value coords = args[1];
  if (!IsNumeric(coords.type) || coords.type.dim < 2)
    return Error(coords.loc, "X3017", "'tex2D': cannot implicitly convert from '%s' to 'float2'",
                 TypeName(coords.type).c_str());
  if (!Convert(&coords, 2, coords.loc)) return false;
  IrOperand uv;
  if (!Use(coords, 0x3, &uv)) return false;
  uint16_t temp = 0;
  if (!ResultTemp(coords, Value(), name.loc, &temp)) return false;
  IrOperand dst, sampler;
  dst.file = kFileTemp;
  dst.index = temp;
  dst.mask = 0xF;
  sampler.file = kIrGlobalSampler;
  sampler.index = static_cast<uint16_t>(args[0].global);
  if (!Emit(kOpTex, dst, uv, sampler)) return false;
  *out = Value();
  out->kind = Value::kReg;
  out->type.base = kTypeFloat;
  out->type.dim = 4;
  out->op.file = kFileTemp;
  out->op.index = temp;
  out->loc = name.loc;
  return true;
}

bool Compiler::Binary(const Token& op, Value a, Value b, Value* out) {
  const char symbol = op.text[0];
  if (!IsNumeric(a.type) || !IsNumeric(b.type))
    return Error(op.loc, "X3020", "type mismatch: operator '%c' cannot be applied to '%s' and '%s'",
                 symbol, TypeName(a.type).c_str(), TypeName(b.type).c_str());
  uint8_t dim;
  if (a.type.dim == 1) dim = b.type.dim;
  else if (b.type.dim == 1) dim = a.type.dim;
  else dim = std::min(a.type.dim, b.type.dim);
  if (a.type.dim > 1 && b.type.dim > 1 && a.type.dim != b.type.dim)
    Warning(op.loc, "X3206", "implicit truncation of vector type");
  // Truncation already reported: shorten quietly; Convert broadcasts scalars.
  if (a.type.dim > dim) a.type.dim = dim;
  if (b.type.dim > dim) b.type.dim = dim;
  if (!Convert(&a, dim, op.loc) || !Convert(&b, dim, op.loc)) return false;

  *out = Value();
  out->type.base = kTypeFloat;
  out->type.dim = dim;
  out->loc = a.loc;
  if (a.kind == Value::kLiteral && b.kind == Value::kLiteral) {
    out->kind = Value::kLiteral;
    for (int c = 0; c < 4; ++c) {
      float x = a.lit[c], y = b.lit[c], r;
      switch (symbol) {
        case '*': r = x * y; break;
        case '+': r = x + y; break;
        case '-': r = x - y; break;
        default: r = x / y; break;
      }
      if (!isfinite(r))
        return Error(op.loc, "X3000", "constant expression out of range (overflow or division by zero)");
      out->lit[c] = r;
    }
    return true;
  }
  if (symbol == '/')
    return Error(op.loc, "X3000", "division is not supported by this compiler");
  if (symbol == '-') {
    if (b.kind == Value::kLiteral)
      for (float& f : b.lit) f = -f;
    else
      b.op.neg = !b.op.neg;
  }
  const uint8_t mask = static_cast<uint8_t>((1u << dim) - 1);
  IrOperand x, y;
  if (!Use(a, mask, &x) || !Use(b, mask, &y)) return false;
  uint16_t temp = 0;
  if (!ResultTemp(a, b, op.loc, &temp)) return false;
  IrOperand dst;
  dst.file = kFileTemp;
  dst.index = temp;
  dst.mask = mask;
  if (!Emit(symbol == '*' ? kOpMul : kOpAdd, dst, x, y)) return false;
  out->kind = Value::kReg;
  out->op.file = kFileTemp;
  out->op.index = temp;
  return true;
}

// --- code generation ----------------------------------------------------------------

bool Compiler::Convert(Value* v, uint8_t dim, Location loc) {
  if (!IsNumeric(v->type)) {
    Type target;
    target.base = kTypeFloat;
    target.dim = dim;
    return Error(loc, "X3017", "cannot implicitly convert from '%s' to '%s'",
                 TypeName(v->type).c_str(), TypeName(target).c_str());
  }
  if (v->type.dim == dim) return true;
  if (v->type.dim == 1) {
    if (v->kind == Value::kLiteral)
      for (float& f : v->lit) f = v->lit[0];
    else
      for (uint8_t& s : v->op.swz) s = v->op.swz[0];
    v->type.dim = dim;
    return true;
  }
  if (v->type.dim > dim) {
    Warning(loc, "X3206", "implicit truncation of vector type");
    v->type.dim = dim;
    return true;
  }
  Type target;
  target.base = kTypeFloat;
  target.dim = dim;
  return Error(loc, "X3017", "cannot implicitly convert from '%s' to '%s'",
               TypeName(v->type).c_str(), TypeName(target).c_str());
}

bool Compiler::LiteralOperand(const float values[4], Location loc, IrOperand* out) {
  size_t i = 0;
  for (; i < literals_.size(); ++i)
    if (memcmp(literals_[i].v, values, sizeof literals_[i].v) == 0) break;
  if (i == literals_.size()) {
    if (literals_.size() >= kMaxShaderLiterals)
      return Error(loc, "X5589", "too many literal constants (more than %u)", kMaxShaderLiterals);
    LiteralValue lit;
    memcpy(lit.v, values, sizeof lit.v);
    literals_.push_back(lit);
  }
  *out = IrOperand();
  out->file = kFileLiteral;
  out->index = static_cast<uint16_t>(i);
  return true;
}

bool Compiler::Use(const Value& v, uint8_t readMask, IrOperand* out) {
  if (v.kind == Value::kLiteral) {
    float values[4];
    memcpy(values, v.lit, sizeof values);
    // -0.0 and 0.0 read the same; one register serves both.
    for (float& f : values)
      if (f == 0.0f) f = 0.0f;
    return LiteralOperand(values, v.loc, out);
  }
  if (v.kind != Value::kReg)
    return Error(v.loc, "X3017", "cannot use '%s' as a value", TypeName(v.type).c_str());
  if (v.local >= 0 && v.slot >= 0) {
    const Local& l = locals_[v.local];
    const Slot& s = l.slots[v.slot];
    uint8_t needed = 0;
    for (int c = 0; c < 4; ++c)
      if (readMask & (1u << c)) needed |= static_cast<uint8_t>(1u << v.op.swz[c]);
    if ((s.init & needed) != needed)
      return Error(v.loc, "X4000", "variable '%s' used without having been completely initialized",
                   l.name.c_str());
  }
  *out = v.op;
  out->mask = 0;
  return true;
}

bool Compiler::AllocTemp(Location loc, uint16_t* index) {
  if (tempTop_ >= kMaxIrTemps)
    return Error(loc, "X5608", "too many temporary values (more than %u)", kMaxIrTemps);
  *index = tempTop_++;
  return true;
}

// An intermediate result is read once, by the instruction that consumes it,
// so that instruction may write its own result there: long expressions then
// need no more temporaries than their nesting.
bool Compiler::ResultTemp(const Value& a, const Value& b, Location loc, uint16_t* index) {
  for (const Value* v : {&a, &b}) {
    if (v->kind == Value::kReg && v->op.file == kFileTemp && v->local < 0) {
      *index = v->op.index;
      return true;
    }
  }
  return AllocTemp(loc, index);
}

bool Compiler::Emit(uint8_t op, const IrOperand& dst, const IrOperand& a, const IrOperand& b) {
  if (returned_ || !isEntry_) return true;  // checked, but no code kept
  if (code_.size() >= kMaxIrInstructions)
    return Error(Peek().loc, "X5608", "program too long (more than %u instructions)",
                 kMaxIrInstructions);
  IrInstr ins;
  ins.op = op;
  ins.dst = dst;
  ins.src[0] = a;
  ins.src[1] = b;
  code_.push_back(ins);
  return true;
}

bool Compiler::FinishEntry(Location loc) {
  OptimizeIr(&code_);

  IrAllocation allocation;
  AllocateIr(&code_, literals_, &allocation);
  if (allocation.instructionCount > profile_.instructions)
    return Error(loc, "X5608", "'%s': the program needs %u instruction slots, %s has %u",
                 entry_, allocation.instructionCount, profile_.name, profile_.instructions);
  if (allocation.tempCount > profile_.temps)
    return Error(loc, "X5608", "'%s': the program needs %u temporary registers, %s has %u", entry_,
                 allocation.tempCount, profile_.name, profile_.temps);
  const uint32_t constantRegisters =
      static_cast<uint32_t>(allocation.constants.size() + allocation.literals.size());
  if (constantRegisters > profile_.constants)
    return Error(loc, "X5608", "'%s': the program needs %u constant registers, %s has %u", entry_,
                 constantRegisters, profile_.name, profile_.constants);
  if (allocation.samplers.size() > kMaxShaderSamplers)
    return Error(loc, "X5608", "'%s': the program uses more than %u samplers", entry_,
                 kMaxShaderSamplers);

  SerializeIr(code_, allocation, &result_->tokens);

  // The decoder is the device's gatekeeper; our own output must pass it.
  ShaderProgram* check = new ShaderProgram;
  char reason[160];
  const bool valid = DecodePixelShader(result_->tokens.data(), check, reason, sizeof reason);
  delete check;
  if (!valid) {
    result_->tokens.clear();
    return Error(loc, "X0000", "internal compiler error: generated code is invalid (%s)", reason);
  }

  for (size_t i = 0; i < allocation.constants.size(); ++i) {
    const Global& g = globals_[allocation.constants[i]];
    ConstantInfo info;
    info.name = g.name;
    info.kind = ConstantInfo::kFloat;
    info.registerIndex = static_cast<uint32_t>(i);
    info.columns = g.type.dim;
    info.hasDefault = g.hasDefault;
    memcpy(info.defaultValue, g.defaultValue, sizeof info.defaultValue);
    result_->constants.push_back(info);
  }
  for (size_t i = 0; i < allocation.samplers.size(); ++i) {
    ConstantInfo info;
    info.name = globals_[allocation.samplers[i]].name;
    info.kind = ConstantInfo::kSampler;
    info.registerIndex = static_cast<uint32_t>(i);
    result_->constants.push_back(info);
  }
  return true;
}

}  // namespace

bool CompilePixelShaderSource(const char* source, size_t length, const char* entry,
                              const char* profile, CompileResult* result) {
  result->tokens.clear();
  result->constants.clear();
  result->messages.clear();
  if (!profile) {
    result->messages = "(1,1): error X3505: no compilation target given\n";
    return false;
  }
  const Profile* target = nullptr;
  for (const Profile& p : kProfiles)
    if (strcmp(p.name, profile) == 0) target = &p;
  if (!target) {
    char line[200];
    snprintf(line, sizeof line,
             "(1,1): error X3505: unsupported compilation target '%.40s' (this compiler knows "
             "ps_2_0, ps_2_a, ps_2_b and ps_3_0)\n",
             profile);
    result->messages = line;
    return false;
  }
  if (!entry || !entry[0]) {
    result->messages = "(1,1): error X3501: no entrypoint given\n";
    return false;
  }
  if (strlen(entry) > kMaxIdentifierLength) {
    result->messages = "(1,1): error X3501: entrypoint name too long\n";
    return false;
  }
  if (length > kMaxSourceLength) {
    char line[120];
    snprintf(line, sizeof line, "(1,1): error X3000: source too large (%zu bytes, at most %zu)\n",
             length, kMaxSourceLength);
    result->messages = line;
    return false;
  }
  Compiler* compiler = new Compiler(source, length, entry, *target, result);
  const bool ok = compiler->Run();
  delete compiler;
  if (!ok) result->tokens.clear();
  return ok;
}

}  // namespace hlsl
}  // namespace standin
