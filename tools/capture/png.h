// Writes a presented frame as an 8-bit RGB PNG.
#pragma once

#include <standin.h>

#include <string>

bool WriteFramePng(const std::string& path, const StandinFrame& frame);
