#pragma once

// The library's version, in the form that what(1) and ident(1) find in the binary:
// "@(#)PROGRAM:PellinLog  PROJECT:Pellin-1\n" and 1.0.

#include <PellinFoundation/Export.h>

extern "C" PELLIN_EXPORT const unsigned char PellinLogVersionString[];
extern "C" PELLIN_EXPORT const double PellinLogVersionNumber;
