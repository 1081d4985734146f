#include <PellinCommonFramework/PellinCommonFramework.h>

extern "C" {

const unsigned char PellinCommonFrameworkVersionString[] =
    "@(#)PROGRAM:PellinCommonFramework  PROJECT:PellinCommonFramework-1\n";
const double PellinCommonFrameworkVersionNumber = 1.0;
}
