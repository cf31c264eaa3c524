// The loading sequence: everything the show draws from is made here, once,
// before the show clock starts.
#pragma once

void RunLoadingSequence();
