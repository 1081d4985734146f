#include <PellinLog/PellinLogLevel.h>

std::int32_t ddLogLevel = 7;
