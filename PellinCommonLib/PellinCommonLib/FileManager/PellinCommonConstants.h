#pragma once

// The fixed texts that every Pellin program shares: bundle identifiers, install paths, file
// and menu names. The install paths begin with "~" and are expanded to the current user's home
// folder only at the moment they are used, so that they always follow HOME.

#include <string_view>

inline constexpr std::string_view PellinUserNotificationFileName = "UserNotification.xml";
inline constexpr std::string_view PellinUpdaterBundleIdentifier =
    "com.brenvik.mac.Pellin.BRENVIKUPDATE";
inline constexpr std::string_view PellinBundleIdentifier = "com.brenvik.mac.Pellin";
inline constexpr std::string_view PellinSelectedInfoMenu = "SelectedInfoMenu";
inline constexpr std::string_view PellinSelectedSettingMenu = "SelectedSettingMenu";
inline constexpr std::string_view PellinUpdaterName = "BRENVIKUPDATE";
inline constexpr std::string_view PellinUserActionPath = "/users/action/utop";
inline constexpr std::string_view PellinUpdate = "update";
inline constexpr std::string_view PellinInfo = "info";
inline constexpr std::string_view PellinEshop = "eshop";
// The per-user launch agent's property list: the resident application's auto-start setting.
inline constexpr std::string_view PellinLaunchAgentPath =
    "~/Library/LaunchAgents/jp.brenvik.mac.Pellin.plist";
// The resident application.
inline constexpr std::string_view PellinAppPath = "~/Library/Pellin/Pellin.app";
// The launcher application, in the Applications folder of the user's home folder.
inline constexpr std::string_view KickPellinAppPath = "~/Applications/KickPellin.app";
inline constexpr std::string_view PellinInfoPlistSuffix = "/Contents/Info.plist";
