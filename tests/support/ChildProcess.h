#pragma once

// startProgram, waitForExit and runProgram, beside the Subprocess they run through.

#include "Subprocess.h"
