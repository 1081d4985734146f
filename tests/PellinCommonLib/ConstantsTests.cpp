#include <PellinCommonLib/PellinCommonConstants.h>

#include <gtest/gtest.h>

#include <string_view>
#include <utility>
#include <vector>

namespace {

TEST(SharedConstants, TheFourteenTextsKeepTheirExactValuesInDeclaredOrder) {
    const std::vector<std::pair<std::string_view, std::string_view>> constants = {
        {PellinUserNotificationFileName, "UserNotification.xml"},
        {PellinUpdaterBundleIdentifier, "com.brenvik.mac.Pellin.BRENVIKUPDATE"},
        {PellinBundleIdentifier, "com.brenvik.mac.Pellin"},
        {PellinSelectedInfoMenu, "SelectedInfoMenu"},
        {PellinSelectedSettingMenu, "SelectedSettingMenu"},
        {PellinUpdaterName, "BRENVIKUPDATE"},
        {PellinUserActionPath, "/users/action/utop"},
        {PellinUpdate, "update"},
        {PellinInfo, "info"},
        {PellinEshop, "eshop"},
        {PellinLaunchAgentPath, "~/Library/LaunchAgents/jp.brenvik.mac.Pellin.plist"},
        {PellinAppPath, "~/Library/Pellin/Pellin.app"},
        {KickPellinAppPath, "~/Applications/KickPellin.app"},
        {PellinInfoPlistSuffix, "/Contents/Info.plist"},
    };
    ASSERT_EQ(constants.size(), 14u);
    for (const auto& [constant, expected] : constants) {
        EXPECT_EQ(constant, expected);
    }
}

TEST(SharedConstants, InstallPathsStayUnexpandedUntilTheyAreUsed) {
    for (const std::string_view path : {PellinLaunchAgentPath, PellinAppPath, KickPellinAppPath}) {
        EXPECT_TRUE(path.starts_with("~/")) << path;
    }
}

}  // namespace
