// Generated landscape pictures for the sample Windows folder.
#pragma once

#include <stdint.h>

constexpr int kPictureCount = 5;

// Paints picture `index` (0 to kPictureCount - 1) into `rgb`, 3 bytes a
// pixel, rows top to bottom. The same arguments always give the same bytes.
void PaintPicture(int index, int width, int height, uint8_t* rgb);
