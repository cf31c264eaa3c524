// One headless window and device for the text tests, made before the first
// test: the atlas is built on it, and the shaders compiled when the text is
// drawn.
#pragma once

#include <d3d9.h>

// Starts the window and device and builds the atlas; false on failure.
bool StartTextDevice();

// Builds the atlas anew, releasing the one there was.
void RebuildGlyphAtlas();

// The device's reference count, without changing it.
ULONG DeviceReferences();
