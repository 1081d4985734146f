#pragma once

// PellinCommonFramework: modal alerts built from texts or from localised string keys.

#include <PellinFoundation/Export.h>

// "@(#)PROGRAM:PellinCommonFramework  PROJECT:PellinCommonFramework-1" and a line feed, for
// what(1) and for programs that check which framework they loaded.
extern "C" PELLIN_EXPORT const unsigned char PellinCommonFrameworkVersionString[];
extern "C" PELLIN_EXPORT const double PellinCommonFrameworkVersionNumber;

#include <PellinCommonFramework/PellinAlert.h>
