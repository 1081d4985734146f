#pragma once
// Kept for the benchmarks; everything is in Uninstaller.h.
#include "support/Uninstaller.h"
