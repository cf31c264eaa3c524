// The three constants that make one of the four programs, and the layout
// scale that follows from them. The build defines the SHOW_* values.
#pragma once

#ifndef SHOW_SCREEN_WIDTH
#error "Build the show through show_add_configuration: SHOW_SCREEN_WIDTH is not defined"
#endif

constexpr int kScreenWidth = SHOW_SCREEN_WIDTH;
constexpr int kScreenHeight = SHOW_SCREEN_HEIGHT;
constexpr bool kWindowed = SHOW_WINDOWED != 0;
// Layout is authored for 720 lines and scaled by the height.
constexpr float kLayoutScale = kScreenHeight / 720.0f;

static_assert(kScreenWidth * 9 == kScreenHeight * 16, "both screen sizes are 16:9");
