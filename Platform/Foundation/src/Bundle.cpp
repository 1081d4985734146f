#include <PellinFoundation/Bundle.h>

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace foundation {

namespace {

namespace fs = std::filesystem;

std::mutex& registryMutex() {
    static std::mutex mutex;
    return mutex;
}

// Every bundle opened so far, by resource folder; bundles live as long as the process.
std::map<fs::path, std::shared_ptr<Bundle>>& registry() {
    static std::map<fs::path, std::shared_ptr<Bundle>> bundles;
    return bundles;
}

std::shared_ptr<Bundle>& mainBundleOverride() {
    static std::shared_ptr<Bundle> bundle;
    return bundle;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// "ja_JP.UTF-8@cjk" is the locale "ja_JP"; codeset and modifier do not choose a language.
std::string localeName(std::string_view entry) {
    return std::string(entry.substr(0, entry.find_first_of(".@")));
}

bool isUntranslatedLocale(std::string_view name) {
    return name == "C" || name == "POSIX";
}

void appendCandidates(std::vector<std::string>& out, const std::string& locale) {
    if (locale.empty() || isUntranslatedLocale(locale)) {
        return;
    }
    std::vector<std::string> names{locale};
    const std::size_t separator = locale.find_first_of("_-");
    if (separator != std::string::npos) {
        std::string hyphenated = locale;
        hyphenated[separator] = locale[separator] == '_' ? '-' : '_';
        names.push_back(hyphenated);
        names.push_back(locale.substr(0, separator));
    }
    for (auto& name : names) {
        // A name with a path separator could leave the resource folder.
        if (name.find('/') == std::string::npos && name != "." && name != ".." &&
            std::find(out.begin(), out.end(), name) == out.end()) {
            out.push_back(std::move(name));
        }
    }
}

fs::path executablePath() {
    std::error_code error;
    fs::path path = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : path;
}

}  // namespace

Bundle::Bundle(fs::path resourcePath) : resourcePath_(std::move(resourcePath)) {}

std::shared_ptr<Bundle> Bundle::bundleWithPath(const fs::path& resourcePath) {
    const fs::path key = resourcePath.lexically_normal();
    std::lock_guard lock(registryMutex());
    auto& bundle = registry()[key];
    if (!bundle) {
        bundle = std::make_shared<Bundle>(key);
    }
    return bundle;
}

std::shared_ptr<Bundle> Bundle::mainBundle() {
    {
        std::lock_guard lock(registryMutex());
        if (mainBundleOverride()) {
            return mainBundleOverride();
        }
    }
    return bundleWithPath(resourcePathForBinary(executablePath()));
}

void Bundle::setMainBundle(std::shared_ptr<Bundle> bundle) {
    std::lock_guard lock(registryMutex());
    mainBundleOverride() = std::move(bundle);
}

std::shared_ptr<Bundle> Bundle::bundleForAddress(const void* address) {
    Dl_info info{};
    link_map* map = nullptr;
    if (dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
        map == nullptr || map->l_name == nullptr || map->l_name[0] == '\0') {
        // The program itself has no name in the link map.
        return bundleWithPath(resourcePathForBinary(executablePath()));
    }
    return bundleWithPath(resourcePathForBinary(map->l_name));
}

std::string Bundle::bundleNameForBinary(const fs::path& binaryPath) {
    std::string name = binaryPath.filename().string();
    if (name.starts_with("lib") && name.find(".so") != std::string::npos) {
        name = name.substr(3, name.find(".so") - 3);
    }
    return name;
}

fs::path Bundle::resourcePathForBinary(const fs::path& binaryPath) {
    std::error_code error;
    fs::path folder = fs::absolute(binaryPath, error).lexically_normal().parent_path();
    // The folder the binary really lies in: a merged-/usr system loads the libraries through
    // /lib, a link to /usr/lib, and nothing above /lib holds share/pellin.
    if (fs::path real = fs::weakly_canonical(folder, error); !error) {
        folder = std::move(real);
    }
    const fs::path inShare =
        fs::path("share") / "pellin" / bundleNameForBinary(binaryPath) / "Resources";
    const fs::path parent = folder.parent_path();
    for (const fs::path& above : {parent, parent.parent_path()}) {
        if (fs::is_directory(above / inShare, error)) {
            return above / inShare;
        }
    }
    return parent / inShare;
}

std::vector<std::string> Bundle::preferredLocalizations() {
    std::string locale;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = environment(variable);
        if (!locale.empty()) {
            break;
        }
    }
    locale = localeName(locale);
    std::vector<std::string> out;
    if (!isUntranslatedLocale(locale)) {
        const std::string languages = environment("LANGUAGE");
        std::size_t start = 0;
        while (start <= languages.size()) {
            const std::size_t end = std::min(languages.find(':', start), languages.size());
            appendCandidates(out,
                             localeName(std::string_view(languages).substr(start, end - start)));
            start = end + 1;
        }
        appendCandidates(out, locale);
    }
    appendCandidates(out, "en");
    appendCandidates(out, "Base");
    return out;
}

const StringsTable* Bundle::table(const std::string& localization,
                                  const std::string& tableName) const {
    const std::string key = localization + "/" + tableName;
    std::lock_guard lock(mutex_);
    if (const auto found = tables_.find(key); found != tables_.end()) {
        return found->second ? &*found->second : nullptr;
    }
    const fs::path file = resourcePath_ / (localization + ".lproj") / (tableName + ".strings");
    std::optional<StringsTable> loaded;
    std::error_code error;
    if (fs::exists(file, error)) {
        std::string whyNot;
        loaded = StringsFile::read(file, &whyNot);
        if (!loaded) {
            std::fprintf(stderr, "warning: string table %s is ignored: %s\n", file.c_str(),
                         whyNot.c_str());
        }
    }
    const auto& stored = tables_.emplace(key, std::move(loaded)).first->second;
    return stored ? &*stored : nullptr;
}

std::string Bundle::localizedStringForKey(const NullableString& key, const NullableString& value,
                                          const NullableString& tableName) const {
    if (key.isNil()) {
        return std::string(value.textOrEmpty());
    }
    std::string name = tableName.isNil() || tableName.textOrEmpty().empty()
                           ? std::string("Localizable")
                           : std::string(tableName.textOrEmpty());
    if (name.find('/') == std::string::npos) {
        for (const auto& localization : preferredLocalizations()) {
            if (const StringsTable* strings = table(localization, name)) {
                if (const auto found = strings->find(*key.value()); found != strings->end()) {
                    return found->second;
                }
            }
        }
    }
    return value.textOrEmpty().empty() ? *key.value() : std::string(value.textOrEmpty());
}

}  // namespace foundation
