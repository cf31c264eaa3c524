// The stand-in's clock, shared by kernel32 and the device's Present.
#pragma once

// Advances the virtual clock by its per-Present step, if one is set.
void StandinClockAfterPresent();
