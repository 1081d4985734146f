#pragma once

// Symbols of the platform libraries that other libraries and programs may use. Everything else
// is hidden (-fvisibility=hidden), so a library's interface is exactly what its headers mark.
#define PELLIN_EXPORT __attribute__((visibility("default")))
