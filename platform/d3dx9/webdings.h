// The Webdings symbol font's character codes as Unicode pictographs.
#pragma once

#include <stdint.h>

namespace standin {

// The Unicode code point that stands for Webdings character `code`, or 0
// for a code with no glyph (the control range and 0x7F).
uint32_t WebdingsToUnicode(unsigned char code);

}  // namespace standin
