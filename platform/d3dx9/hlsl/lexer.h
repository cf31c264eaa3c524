// Tokens of the HLSL subset, read from a source of known length (no
// terminating NUL is assumed or read).
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace standin {
namespace hlsl {

constexpr uint32_t kMaxIdentifierLength = 127;

struct Location {
  int line = 1;
  int column = 1;
};

enum TokenKind : uint8_t {
  kTokEnd,         // end of source
  kTokIdentifier,  // also keywords
  kTokNumber,
  kTokPunct,       // one to two characters in `text`
  kTokError,       // a lexical error; `error` says what
};

struct Token {
  TokenKind kind = kTokEnd;
  Location loc;
  const char* text = nullptr;  // into the source
  uint32_t length = 0;
  float number = 0.0f;         // kTokNumber
  const char* error = nullptr; // kTokError: static text
  char detail[48] = {};        // kTokError: the offending text, printable

  bool Is(const char* s) const;  // identifier or punctuator spelled exactly s
};

class Lexer {
 public:
  Lexer(const char* source, size_t length) : end_(source + length), pos_(source) {}
  Token Next();

 private:
  bool SkipSpaceAndComments(Token* error);
  void Advance();  // one byte, keeping line and column

  const char* end_;
  const char* pos_;
  Location loc_;
};

// Printable form of a token for messages ("'foo'", "end of file").
void DescribeToken(const Token& token, char* out, size_t size);

}  // namespace hlsl
}  // namespace standin
