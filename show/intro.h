// The intro: the crew announcement, three lines in the baked font rising out
// of black and sinking back into it, to a ring tone played once.
#pragma once

#include <windows.h>

// The intro branch of RenderFrame, for show times 1001 to 13871.
void DrawIntroScene(DWORD t);
