#include <PellinFoundation/UserDefaults.h>

#include <cerrno>

#include <PellinFoundation/FileManager.h>

#include "RegisteredDefaults.h"
#include "SettingsDomainReports.h"
#include "SettingsDomainSnapshot.h"
#include "SettingsDomainWriter.h"
#include "SettingsValueConversions.h"
#include "XmlCharacters.h"
#include "XmlPropertyListWriter.h"

namespace foundation {

using namespace settings_detail;

namespace {

// Room for ".plist", the temporary file's affixes and a kept-aside file's time stamp within
// the 255 bytes of a file name.
constexpr std::size_t kLongestSuiteName = 200;

bool isUsableSuiteName(std::string_view name) {
    return !name.empty() && name.size() <= kLongestSuiteName && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

DomainLocation locationIn(const std::string& folder, std::string_view suiteName) {
    DomainLocation where;
    where.folder = folder;
    where.fileName = std::string(suiteName) + ".plist";
    where.path = folder + "/" + where.fileName;
    return where;
}

// A failed change cannot be reported by the setter; the next synchronize of the domain does,
// whichever object of this process it goes through.
void change(const DomainLocation& where, const DomainChange& what) {
    Error error;
    if (!changeDomain(where, what, error)) {
        settings_detail::recordFailedChange(where.path, error);
    }
}

}  // namespace

struct UserDefaults::State {
    DomainLocation where;
};

UserDefaults::UserDefaults(std::unique_ptr<State> state) : state_(std::move(state)) {}
UserDefaults::~UserDefaults() = default;

std::unique_ptr<UserDefaults> UserDefaults::initWithSuiteName(std::string_view suiteName) {
    if (!isUsableSuiteName(suiteName)) {
        return nullptr;
    }
    // A relative home would put the settings wherever we happen to be.
    const std::optional<std::string> home = absoluteHomeDirectory();
    if (!home) {
        return nullptr;
    }
    auto state = std::make_unique<State>();
    const std::string_view base = home->size() > 1 && home->back() == '/'
                                      ? std::string_view(*home).substr(0, home->size() - 1)
                                      : std::string_view(*home);
    state->where =
        locationIn(std::string(base == "/" ? "" : base) + "/Library/Preferences", suiteName);
    return std::unique_ptr<UserDefaults>(new UserDefaults(std::move(state)));
}

Value UserDefaults::objectForKey(std::string_view key) const {
    const std::shared_ptr<const Value> root = currentValues(state_->where.path);
    const Dictionary& values = *root->dictionary();
    if (const auto found = values.find(key); found != values.end()) {
        return found->second;
    }
    return registeredDefault(key).value_or(Value());
}

bool UserDefaults::boolForKey(std::string_view key) const {
    return boolFromValue(objectForKey(key));
}

std::optional<std::string> UserDefaults::stringForKey(std::string_view key) const {
    return stringFromValue(objectForKey(key));
}

std::optional<Dictionary> UserDefaults::dictionaryForKey(std::string_view key) const {
    const Value value = objectForKey(key);
    if (const Dictionary* dictionary = value.dictionary()) {
        return *dictionary;
    }
    return std::nullopt;
}

void UserDefaults::setObject(const Value& value, std::string_view key) {
    if (value.isNone()) {
        removeObjectForKey(key);
        return;
    }
    // The entry as the domain's file will hold it: made once, and only if it can be.
    const std::optional<std::string> entry = plist_detail::xmlDomainEntry(key, value);
    if (!entry) {
        settings_detail::recordFailedChange(
            state_->where.path,
            Error{EINVAL, "Cannot store the value of \"" + plist_detail::asXmlText(key) +
                              "\" in \"" + state_->where.path +
                              "\": it has no property-list form"});
        removeObjectForKey(key);
        return;
    }
    change(state_->where, DomainChange{key, &value, *entry});
}

void UserDefaults::setBool(bool value, std::string_view key) {
    setObject(Value(value), key);
}

void UserDefaults::removeObjectForKey(std::string_view key) {
    change(state_->where, DomainChange{key, nullptr, {}});
}

void UserDefaults::removePersistentDomainForName(std::string_view name) {
    if (!isUsableSuiteName(name)) {
        return;
    }
    const DomainLocation where = locationIn(state_->where.folder, name);
    Error error;
    if (!removeDomain(where, error)) {
        settings_detail::recordFailedChange(where.path, error);
    }
}

bool UserDefaults::synchronize(Error* error) {
    std::optional<Error> failed = takeFailedChange(state_->where.path);
    Error flush;
    if (!makeDomainDurable(state_->where, flush) && !failed) {
        failed = std::move(flush);
    }
    if (failed && error != nullptr) {
        *error = std::move(*failed);
    }
    return !failed;
}

void UserDefaults::recordFailedChange(const Error& cause) {
    settings_detail::recordFailedChange(state_->where.path, cause);
}

std::vector<DroppedEntry> UserDefaults::takeDroppedEntries() {
    currentValues(state_->where.path);  // reads the file's current version, if it is new
    return settings_detail::takeDroppedEntries(state_->where.path);
}

void UserDefaults::registerDefaults(const Dictionary& defaults) {
    settings_detail::registerDefaults(defaults);
}

const std::string& UserDefaults::path() const {
    return state_->where.path;
}

}  // namespace foundation
