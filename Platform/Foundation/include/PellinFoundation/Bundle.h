#pragma once

// Bundles: the resource folders of the Pellin programs and libraries, and their localised
// string tables.
//
// A bundle is a folder "Resources" holding "<lang>.lproj/<Table>.strings". A program or shared
// library named N keeps its bundle at "share/pellin/N/Resources" under the folder above the one
// it lies in, which is the same in the build tree (build/bin, build/lib, build/share) and in an
// installed prefix (bin, lib, share). N is the executable's file name, or the library's without
// "lib" and the ".so..." suffix (libPellinCommonFramework.so.1 is PellinCommonFramework).
//
// Tests run from test executables, which have no bundle of their own: they open a bundle from a
// path (bundleWithPath) and may make it the process's main bundle (setMainBundle).

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <PellinFoundation/Export.h>
#include <PellinFoundation/StringsFile.h>

namespace foundation {

// A text argument that may be absent, as nil is in the original interfaces. nullptr and
// std::nullopt both mean "no text", so a caller that translates nil never builds a std::string
// from a null pointer.
class NullableString {
  public:
    NullableString() = default;
    NullableString(std::nullptr_t) {}
    NullableString(std::nullopt_t) {}
    NullableString(const char* text) {
        if (text != nullptr) {
            value_ = std::string(text);
        }
    }
    NullableString(std::string text) : value_(std::move(text)) {}
    NullableString(std::string_view text) : value_(std::string(text)) {}
    NullableString(std::optional<std::string> text) : value_(std::move(text)) {}

    bool isNil() const { return !value_.has_value(); }
    const std::optional<std::string>& value() const { return value_; }
    // The text, or "" when there is none.
    std::string_view textOrEmpty() const { return value_ ? std::string_view(*value_) : ""; }

  private:
    std::optional<std::string> value_;
};

class PELLIN_EXPORT Bundle {
  public:
    // A bundle whose "<lang>.lproj" folders lie in `resourcePath`. The folder need not exist:
    // a bundle without tables answers every key with the key itself.
    explicit Bundle(std::filesystem::path resourcePath);
    Bundle(const Bundle&) = delete;
    Bundle& operator=(const Bundle&) = delete;

    // One bundle object per resource folder for the whole process, so that each table is read
    // (and a broken one reported) once.
    static std::shared_ptr<Bundle> bundleWithPath(const std::filesystem::path& resourcePath);

    // The running program's bundle, found from /proc/self/exe, unless setMainBundle chose
    // another one.
    static std::shared_ptr<Bundle> mainBundle();
    // Makes `bundle` the main bundle of the whole process (for tests, which run from test
    // executables); nullptr goes back to the program's own bundle.
    static void setMainBundle(std::shared_ptr<Bundle> bundle);

    // The stand-in for bundleForClass: the bundle of the binary (shared library or program)
    // that holds `address`, an object of the class's library. Found with dladdr at run time, so
    // it follows the library wherever it was loaded from. Pass an object of internal linkage
    // (in an unnamed namespace): an exported variable that a program uses may have been copied
    // into the program (a copy relocation) and would lead to the program's bundle.
    static std::shared_ptr<Bundle> bundleForAddress(const void* address);

    // Where the bundle of the binary at `binaryPath` lies: the first of its folder's parent and
    // grandparent that holds "share/pellin/<Name>/Resources" (the grandparent serves a
    // multi-arch library folder such as lib/x86_64-linux-gnu); the parent's when neither does.
    // The folder is taken through its links (/lib/x86_64-linux-gnu is /usr/lib/x86_64-linux-gnu).
    static std::filesystem::path resourcePathForBinary(const std::filesystem::path& binaryPath);
    // "PellinUninstaller" for ".../bin/PellinUninstaller", "PellinCommonFramework" for
    // ".../lib/libPellinCommonFramework.so.1".
    static std::string bundleNameForBinary(const std::filesystem::path& binaryPath);

    // The ".lproj" names to search, best first, from LANGUAGE (a colon-separated list), then
    // the first set of LC_ALL, LC_MESSAGES and LANG, then "en" and "Base". "ja_JP.UTF-8" gives
    // "ja_JP", "ja-JP", "ja". A locale variable set to "C" or "POSIX" means untranslated
    // program texts, as gettext has it: LANGUAGE is then not used and the answer is English.
    static std::vector<std::string> preferredLocalizations();

    const std::filesystem::path& resourcePath() const { return resourcePath_; }

    // The localised text for `key` in the table `tableName` ("Localizable" when nil), searched
    // in the preferred localisations in order, so that a key that one language's table lacks is
    // taken from the next, and finally from English. Then, as NSBundle answers: a key found
    // nowhere gives `value`, or the key itself when `value` is nil or empty; a nil key gives
    // `value`, or "" when that is nil too. A broken table is skipped, with a warning on
    // standard error the first time it is read.
    std::string localizedStringForKey(const NullableString& key, const NullableString& value,
                                      const NullableString& tableName) const;

  private:
    // The table "<localization>.lproj/<table>.strings", read once; nullptr when it is missing
    // or broken.
    const StringsTable* table(const std::string& localization, const std::string& table) const;

    std::filesystem::path resourcePath_;
    mutable std::mutex mutex_;
    mutable std::map<std::string, std::optional<StringsTable>, std::less<>> tables_;
};

}  // namespace foundation
