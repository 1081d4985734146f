#pragma once

// The log call convention of the Pellin programs. Each operation names itself once:
//
//     void UninstallCommand::executeUninstallCommand() {
//         PELLIN_METHOD("+[UninstallCommand executeUninstallCommand]");
//         DDLogDebug("Start %@", pellinMethod.selector());
//
// and every DDLog* macro then tests its flag against ddLogLevel before anything else is
// evaluated: with the flag off, no argument expression runs and nothing is formatted. The
// format string is checked against its arguments at compile time. Error lines are handed to
// the sinks synchronously, all others asynchronously.

#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>

#include <PellinFoundation/Format.h>
#include <PellinLog/PellinLogLevel.h>
#include <PellinLumberjack/DDLog.h>

namespace pellinlog {

// The full name of an operation in the form "+[Class selector:]" (or "-[...]" for an instance
// operation), with the selector taken from it at compile time.
class MethodName {
  public:
    consteval MethodName(const char* fullName) : fullName_(fullName) {
        const std::string_view name(fullName);
        if (name.size() < 5 || (name[0] != '+' && name[0] != '-') || name[1] != '[' ||
            name.back() != ']' || name.find(' ') == std::string_view::npos) {
            method_name_must_look_like_plus_bracket_class_blank_selector_bracket();
        }
    }
    constexpr std::string_view fullName() const { return fullName_; }
    // "executeUninstallCommand", "repeatUninstallProcWithAppleScript:".
    constexpr std::string_view selector() const {
        const std::size_t blank = fullName_.find(' ');
        return fullName_.substr(blank + 1, fullName_.size() - blank - 2);
    }
    // The full name is a string literal, so its data is NUL-terminated.
    const char* c_str() const { return fullName_.data(); }

  private:
    static void method_name_must_look_like_plus_bracket_class_blank_selector_bracket();
    std::string_view fullName_;
};

// The file name, the method's name and the format are string literals, so the facility keeps
// them as they are; the arguments are copied as they are now, and the text is made on the
// sinks' queues rather than on the calling thread.
template <class... Args>
void logMessage(bool asynchronous, std::int32_t level, lumberjack::DDLogFlag flag, const char* file,
                unsigned long line, const MethodName& method,
                foundation::FormatString<std::type_identity_t<Args>...> format,
                const Args&... args) {
    const foundation::format_detail::Argument arguments[] = {
        foundation::format_detail::erase(args)..., {}};
    lumberjack::DDLog::log(asynchronous, level, flag, file, method.c_str(), line, format.text,
                           std::span(arguments, sizeof...(Args)));
}

}  // namespace pellinlog

#define PELLIN_METHOD(fullName)                             \
    static constexpr ::pellinlog::MethodName pellinMethod { \
        fullName                                            \
    }

#define PELLIN_LOG_CALL(asynchronous, flag, format, ...)                                 \
    do {                                                                                 \
        const ::std::int32_t pellinLevel = ::ddLogLevel;                                 \
        if ((static_cast<unsigned>(pellinLevel) & (flag)) != 0) {                        \
            ::pellinlog::logMessage(asynchronous, pellinLevel, flag, __FILE__, __LINE__, \
                                    pellinMethod, format __VA_OPT__(, ) __VA_ARGS__);    \
        }                                                                                \
    } while (false)

#define DDLogError(format, ...) \
    PELLIN_LOG_CALL(false, ::lumberjack::DDLogFlagError, format __VA_OPT__(, ) __VA_ARGS__)
#define DDLogWarn(format, ...) \
    PELLIN_LOG_CALL(true, ::lumberjack::DDLogFlagWarning, format __VA_OPT__(, ) __VA_ARGS__)
#define DDLogInfo(format, ...) \
    PELLIN_LOG_CALL(true, ::lumberjack::DDLogFlagInfo, format __VA_OPT__(, ) __VA_ARGS__)
#define DDLogDebug(format, ...) \
    PELLIN_LOG_CALL(true, ::lumberjack::DDLogFlagDebug, format __VA_OPT__(, ) __VA_ARGS__)
#define DDLogVerbose(format, ...) \
    PELLIN_LOG_CALL(true, ::lumberjack::DDLogFlagVerbose, format __VA_OPT__(, ) __VA_ARGS__)
