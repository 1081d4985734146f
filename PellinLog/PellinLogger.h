#pragma once

// Sets up the log sinks of a Pellin program and its log level:
//
//     int main(int argc, char* argv[]) {
//         PellinLogger::setup();  // before anything else logs
//
// installs a file sink writing to $HOME/Library/Logs/<program>/ (none, with a word on standard
// error, when there is no absolute home folder) and sets ddLogLevel from the "level" key of the
// settings domain "com.brenvik.bvlog" ("ERROR", "WARN", "INFO", "DEBUG", "VERBOSE" or "OFF";
// without the key the level stays 7, error to info).

#include <cstdint>

#include <PellinFoundation/Export.h>
#include <PellinFoundation/Value.h>

// The level map, level name -> mask as an integer Value, created by the first call of
// PellinLogger::logLevelMap() and kept until the process ends; nullptr before. A C name, so
// that the exported symbol is the plain "_logLevelMap".
extern "C" PELLIN_EXPORT foundation::Dictionary* _logLevelMap;

class PELLIN_EXPORT PellinLogger {
  public:
    PellinLogger() = delete;

    // _logLevelMap, created on the first call with "ERROR" 1, "WARN" 3, "INFO" 7, "DEBUG" 15,
    // "VERBOSE" 31 and "OFF" 0; every call returns the same dictionary.
    static foundation::Dictionary* logLevelMap();

    // Installs the file sink, then sets ddLogLevel from the logging settings domain. Once, at
    // start-up, on the main thread, before anything else logs.
    static void setup();

    // Each installs one sink with a formatter of its own, receiving every message. The mask
    // argument does not filter: the sinks write whatever passes ddLogLevel.
    static void setupConcoleLogger(unsigned long logLevel);
    static void setupAppleSystemLogger(unsigned long logLevel);
    static void setupFileLogger(unsigned long logLevel);

    // The mask for a level name; 0 for anything that is not exactly one of the six names (a
    // lower-case name, a number, no value), which turns all logging off.
    static std::int32_t formatLogLevelToInt(const foundation::Value& logLevel);
};
