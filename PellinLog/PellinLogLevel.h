#pragma once

#include <cstdint>

#include <PellinFoundation/Export.h>

// The process-wide level mask that every log call tests before it does anything else:
// error 1, warning 2, info 4, debug 8, verbose 16. Starts at 7; PellinLogger::setup sets it
// once from the logging settings domain.
extern "C" PELLIN_EXPORT std::int32_t ddLogLevel;
