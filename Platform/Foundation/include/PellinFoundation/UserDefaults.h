#pragma once

// Per-user settings domains. Domain NAME lives in $HOME/Library/Preferences/NAME.plist as an XML
// property list (XML and binary files are read), HOME being read when the domain is opened.
// Every set or removal reaches the file before the call returns: under an exclusive lock the
// file is read again, only this change is applied, and the result is written to a temporary
// file that is renamed into place. So another process sees a change at once, concurrent writers
// never lose each other's keys, and a crash never leaves a damaged file. A damaged or foreign
// file (or one larger than 16 MiB) reads as an empty domain and is kept aside (renamed to
// NAME.plist.damaged-<UTC time>, readable by the user alone, only the newest kept) before the
// first write replaces it. One entry that cannot be read costs only itself (see
// takeDroppedEntries). Reads of an unchanged file cost one stat(2): parsed domains are cached
// for the whole process. A set or removal still reads and writes the whole file, but when the
// file is as this process last wrote it, only the changed entry is made anew: the others' bytes
// are copied. Objects may be used from several threads. When root runs with a
// user's HOME, what the store creates there belongs to that user.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <PellinFoundation/Export.h>
#include <PellinFoundation/FileManager.h>
#include <PellinFoundation/PropertyList.h>
#include <PellinFoundation/Value.h>

namespace foundation {

class PELLIN_EXPORT UserDefaults {
  public:
    // Opens the current user's domain `suiteName`; nullptr when there is no home folder to keep
    // it in, or the name cannot be a file name.
    static std::unique_ptr<UserDefaults> initWithSuiteName(std::string_view suiteName);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The stored value, else the value registered in this process, else no value.
    Value objectForKey(std::string_view key) const;
    // A Boolean or number is true when non-zero; a text is true when it reads as "YES"/"true"
    // or a non-zero number and false otherwise (so "NO" is false); no value is false.
    bool boolForKey(std::string_view key) const;
    // A text as it is, a number as its text; any other kind gives nothing.
    std::optional<std::string> stringForKey(std::string_view key) const;
    // The value when it is a dictionary, otherwise nothing.
    std::optional<Dictionary> dictionaryForKey(std::string_view key) const;

    // Storing no value removes the key. When the store cannot write, the file stays as it was.
    // A value without a property-list form (a key or text XML cannot carry, a date that is not
    // a finite time between the years -9999 and 9999, nesting too deep) is not stored, and the
    // key is removed, so that no earlier value outlives it. Either failure makes the next
    // synchronize of the domain answer false.
    void setObject(const Value& value, std::string_view key);
    void setBool(bool value, std::string_view key);
    // An absent key is no error.
    void removeObjectForKey(std::string_view key);
    // Deletes every stored key of the domain `name` for the current user: its file in the
    // Preferences folder this object was opened in, with the copies set aside when it was
    // damaged.
    void removePersistentDomainForName(std::string_view name);

    // Makes every change durable now (fsync of the file and the folder). False when that fails,
    // or when a set or removal of this domain failed in this process since the last synchronize
    // of it, through whichever object; `error` (when given) then receives the first failure's
    // cause: the errno value, and a description naming the step and the path.
    bool synchronize(Error* error = nullptr);

    // Records a change of this domain that failed before it reached the store, so that the next
    // synchronize answers false with `cause`.
    void recordFailedChange(const Error& cause);

    // The entries of the domain's file that could not be read as stored: they read as absent
    // and the next write leaves them out. Each is handed out once per process and version of
    // the file, so that a caller can warn about it once.
    std::vector<DroppedEntry> takeDroppedEntries();

    // Adds to the registered defaults of this process (never written to any file), replacing
    // earlier registrations of the same keys. Thread-safe; shared by every domain.
    void registerDefaults(const Dictionary& defaults);

    // Where the domain is stored.
    const std::string& path() const;

  private:
    struct State;
    explicit UserDefaults(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace foundation
