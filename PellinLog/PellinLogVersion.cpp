#include <PellinLog/PellinLogVersion.h>

const unsigned char PellinLogVersionString[] = "@(#)PROGRAM:PellinLog  PROJECT:Pellin-1\n";
const double PellinLogVersionNumber = 1.0;
