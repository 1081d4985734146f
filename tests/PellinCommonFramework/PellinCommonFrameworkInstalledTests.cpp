// The library finds its string tables where it was loaded from: a copy under another prefix reads
// that prefix's tables. (Not linked with the library: the copy would resolve to the original.)
#include <dlfcn.h>

#include <gtest/gtest.h>

#include "RecordingPresenter.h"
#include "ScopedEnvironment.h"
#include "TemporaryHome.h"

TEST(PellinCommonFrameworkInstalled, AnInstalledCopyReadsTheTablesOfItsOwnPrefix) {
    pellin::test::ScopedEnvironment env;
    env.language("en_US.UTF-8");
    pellin::test::TemporaryHome home;
    const auto copy = home.writeFile("prefix/lib/libPellinCommonFramework.so.1");
    std::filesystem::copy_file(
        pellin::test::buildDirectory() / "lib/libPellinCommonFramework.so.1.0.0", copy,
        std::filesystem::copy_options::overwrite_existing);
    home.writeFile(
        "prefix/share/pellin/PellinCommonFramework/Resources/en.lproj/Localizable.strings",
        "\"OfflineErrorAlertMessageText\" = \"Text of the installed copy\";\n");
    void* handle = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    const auto show = reinterpret_cast<long (*)()>(
        dlsym(handle, "_ZN11PellinAlert46showNetworkConnectionErrorAlertWithRetryButtonEv"));
    ASSERT_NE(show, nullptr) << dlerror();
    const auto presenter = pellin::test::RecordingPresenter::install();
    show();
    ASSERT_EQ(presenter->shown.size(), 1u);
    EXPECT_EQ(presenter->shown.front().messageText(), "Text of the installed copy");
    // Keys this prefix's table lacks show as the keys: nothing came from the build tree.
    EXPECT_EQ(presenter->shown.front().informativeText(), "OfflineErrorAlertInformativeText");
    dlclose(handle);
}
