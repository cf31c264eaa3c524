// Which installed font file stands in for a Windows face name, and which
// holds a given pictograph, found through fontconfig.
#pragma once

#include <stdint.h>

#include <string>

namespace standin {

struct FaceFile {
  std::string path;
  int index = 0;           // face index inside the file
  std::string family;      // the family fontconfig gave
  bool italic = false;     // the face itself is italic or oblique
};

// The face for a Windows face name, weight (FW_*, 0 for normal) and italic.
// Windows' core faces resolve to their metric-compatible stand-ins
// ("Arial" to Liberation Sans or Arimo, ...), whatever aliases the
// installed fontconfig rules prefer; a name with no installed match falls
// back to the default sans-serif face. False only when fontconfig finds no
// font at all.
bool ResolveFace(const char* faceName, unsigned weight, bool italic, FaceFile* out);

// Windows symbol fonts whose codes stand for Unicode pictographs.
bool IsWebdingsFace(const char* faceName);

// The first installed outline font, in a fixed order (the free symbol
// fonts first), whose character set has `codepoint`. False when no
// installed font has it.
bool FindFaceWithCodepoint(uint32_t codepoint, FaceFile* out);

}  // namespace standin
