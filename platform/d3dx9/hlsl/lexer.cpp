#include "d3dx9/hlsl/lexer.h"

#include <float.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace standin {
namespace hlsl {
namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlnum(char c) { return IsAlpha(c) || IsDigit(c); }

// Two-character punctuators first so that they win over their first half.
const char* const kPunctuators[] = {
    "*=", "+=", "-=", "/=", "%=", "==", "!=", "<=", ">=", "&&", "||", "++", "--", "<<", ">>",
    "::", "{",  "}",  "(",  ")",  "[",  "]",  ";",  ",",  ".",  ":",  "=",  "<",  ">",  "*",
    "+",  "-",  "/",  "%",  "!",  "?",  "&",  "|",  "^",  "~",
};

}  // namespace

bool Token::Is(const char* s) const {
  if (kind != kTokIdentifier && kind != kTokPunct) return false;
  size_t n = strlen(s);
  return n == length && memcmp(text, s, n) == 0;
}

void Lexer::Advance() {
  char c = *pos_++;
  if (c == '\n' || (c == '\r' && (pos_ == end_ || *pos_ != '\n'))) {
    ++loc_.line;
    loc_.column = 1;
  } else if (c != '\r') {
    ++loc_.column;
  }
}

bool Lexer::SkipSpaceAndComments(Token* error) {
  while (pos_ < end_) {
    char c = *pos_;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f') {
      Advance();
    } else if (c == '/' && end_ - pos_ >= 2 && pos_[1] == '/') {
      while (pos_ < end_ && *pos_ != '\n' && *pos_ != '\r') Advance();
    } else if (c == '/' && end_ - pos_ >= 2 && pos_[1] == '*') {
      Location start = loc_;
      Advance();
      Advance();
      for (;;) {
        if (pos_ >= end_) {
          error->kind = kTokError;
          error->loc = start;
          error->error = "unterminated comment";
          return false;
        }
        if (*pos_ == '*' && end_ - pos_ >= 2 && pos_[1] == '/') {
          Advance();
          Advance();
          break;
        }
        Advance();
      }
    } else {
      break;
    }
  }
  return true;
}

Token Lexer::Next() {
  Token t;
  if (!SkipSpaceAndComments(&t)) return t;
  t.loc = loc_;
  t.text = pos_;
  if (pos_ >= end_) {
    t.kind = kTokEnd;
    return t;
  }
  const char c = *pos_;

  if (IsAlpha(c)) {
    while (pos_ < end_ && IsAlnum(*pos_)) Advance();
    t.length = static_cast<uint32_t>(pos_ - t.text);
    if (t.length > kMaxIdentifierLength) {
      t.kind = kTokError;
      t.error = "identifier too long";
      snprintf(t.detail, sizeof t.detail, "%.20s...", t.text);
      return t;
    }
    t.kind = kTokIdentifier;
    return t;
  }

  if (IsDigit(c) || (c == '.' && end_ - pos_ >= 2 && IsDigit(pos_[1]))) {
    while (pos_ < end_ && IsDigit(*pos_)) Advance();
    if (pos_ < end_ && *pos_ == '.') {
      Advance();
      while (pos_ < end_ && IsDigit(*pos_)) Advance();
    }
    if (pos_ < end_ && (*pos_ == 'e' || *pos_ == 'E')) {
      const char* save = pos_;
      Location saveLoc = loc_;
      Advance();
      if (pos_ < end_ && (*pos_ == '+' || *pos_ == '-')) Advance();
      if (pos_ < end_ && IsDigit(*pos_)) {
        while (pos_ < end_ && IsDigit(*pos_)) Advance();
      } else {
        pos_ = save;
        loc_ = saveLoc;
      }
    }
    const char* digitsEnd = pos_;
    if (pos_ < end_ && (*pos_ == 'f' || *pos_ == 'F' || *pos_ == 'h' || *pos_ == 'H'))
      Advance();
    // A letter or digit glued to the number (0x10, 1.0q, 2u) is not ours.
    if (pos_ < end_ && (IsAlnum(*pos_) || *pos_ == '.')) {
      while (pos_ < end_ && (IsAlnum(*pos_) || *pos_ == '.')) Advance();
      t.kind = kTokError;
      t.length = static_cast<uint32_t>(pos_ - t.text);
      t.error = "invalid numeric literal";
      snprintf(t.detail, sizeof t.detail, "%.*s", t.length > 40 ? 40 : (int)t.length, t.text);
      return t;
    }
    t.length = static_cast<uint32_t>(pos_ - t.text);
    size_t digits = static_cast<size_t>(digitsEnd - t.text);
    char buffer[80];
    if (digits >= sizeof buffer) {
      t.kind = kTokError;
      t.error = "numeric literal too long";
      snprintf(t.detail, sizeof t.detail, "%.20s...", t.text);
      return t;
    }
    memcpy(buffer, t.text, digits);
    buffer[digits] = '\0';
    double value = strtod(buffer, nullptr);
    if (!(value <= FLT_MAX)) {
      t.kind = kTokError;
      t.error = "numeric literal out of range";
      snprintf(t.detail, sizeof t.detail, "%.*s", digits > 40 ? 40 : (int)digits, t.text);
      return t;
    }
    t.kind = kTokNumber;
    t.number = static_cast<float>(value);
    return t;
  }

  for (const char* p : kPunctuators) {
    size_t n = strlen(p);
    if (static_cast<size_t>(end_ - pos_) >= n && memcmp(pos_, p, n) == 0) {
      for (size_t i = 0; i < n; ++i) Advance();
      t.kind = kTokPunct;
      t.length = static_cast<uint32_t>(n);
      return t;
    }
  }

  t.kind = kTokError;
  Advance();
  t.length = 1;
  const unsigned char byte = static_cast<unsigned char>(c);
  if (c == '#') {
    t.error = "preprocessor directives are not supported";
  } else if (c == '"' || c == '\'') {
    t.error = "string and character literals are not supported";
  } else if (byte >= 0x80) {
    t.error = "non-ASCII byte in source";
    snprintf(t.detail, sizeof t.detail, "0x%02X", byte);
  } else if (byte < 0x20 || byte == 0x7F) {
    t.error = "control character in source";
    snprintf(t.detail, sizeof t.detail, "0x%02X", byte);
  } else {
    t.error = "illegal character in source";
    snprintf(t.detail, sizeof t.detail, "'%c'", c);
  }
  return t;
}

void DescribeToken(const Token& token, char* out, size_t size) {
  switch (token.kind) {
    case kTokEnd: snprintf(out, size, "end of file"); break;
    case kTokError: snprintf(out, size, "%s", token.detail); break;
    default:
      snprintf(out, size, "'%.*s'", token.length > 60 ? 60 : (int)token.length, token.text);
      break;
  }
}

}  // namespace hlsl
}  // namespace standin
