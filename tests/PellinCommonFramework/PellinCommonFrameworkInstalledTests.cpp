#include <dlfcn.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "RecordingPresenter.h"
#include "ScopedEnvironment.h"
#include "TemporaryHome.h"

namespace fs = std::filesystem;

// The library finds its string tables relative to where it was loaded from: a copy installed
// under another prefix reads that prefix's tables, not the build tree's.
TEST(PellinCommonFrameworkInstalled, AnInstalledCopyReadsTheTablesOfItsOwnPrefix) {
    pellin::test::ScopedEnvironment env;
    env.language("en_US.UTF-8");
    pellin::test::PresenterReset reset;
    pellin::test::TemporaryHome home;
    const fs::path prefix = home.path() / "prefix";
    fs::create_directories(prefix / "lib");
    fs::copy_file(pellin::test::buildDirectory() / "lib" / "libPellinCommonFramework.so.1.0.0",
                  prefix / "lib" / "libPellinCommonFramework.so.1");
    home.writeFile(
        "prefix/share/pellin/PellinCommonFramework/Resources/en.lproj/"
        "Localizable.strings",
        "\"OfflineErrorAlertMessageText\" = \"Text of the installed copy\";\n"
        "\"RetryButtonTitle\" = \"Retry\";\n");

    void* handle =
        dlopen((prefix / "lib" / "libPellinCommonFramework.so.1").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    // PellinAlert::showNetworkConnectionErrorAlertWithRetryButton()
    void* symbol =
        dlsym(handle, "_ZN11PellinAlert46showNetworkConnectionErrorAlertWithRetryButtonEv");
    ASSERT_NE(symbol, nullptr) << dlerror();
    const auto show = reinterpret_cast<long (*)()>(symbol);

    const auto presenter = pellin::test::RecordingPresenter::install(1001);
    EXPECT_EQ(show(), 1001);
    ASSERT_EQ(presenter->shown.size(), 1u);
    EXPECT_EQ(presenter->shown.front().messageText(), "Text of the installed copy");
    // Keys this prefix's table lacks show as the keys: nothing came from the build tree.
    EXPECT_EQ(presenter->shown.front().informativeText(), "OfflineErrorAlertInformativeText");
    dlclose(handle);
}
