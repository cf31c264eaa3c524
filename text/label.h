// Text drawn with the system fonts through the shared sprite.
#pragma once

// Draws `text` with font `fontIndex` of g_Fonts, centred across the screen
// width with its top at 0, then scaled by `scale` about the top-left corner
// and moved by (x, y); white, added to the frame.
void DrawLabel(const char* text, int fontIndex, float scale, float x, float y);
