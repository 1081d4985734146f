#pragma once

// Whether each installed item of the product exists for the current user, and the two
// operations on the launcher application's location. Every path is expanded from HOME at the
// moment of the call, never earlier.

class PellinCommonFileManager {
  public:
    PellinCommonFileManager() = delete;

    // The launch agent's property list exists, or else the resident application does; the
    // second is asked only when the first answers false.
    static bool existsAutoStartSettingFileOrPellinApp();
    // Something (a file, a folder, or what a final symbolic link names) is at the path.
    static bool existsAutoStartSettingFile();
    static bool existsPellinApp();
    static bool existsKickPellinApp();

    // Creates the folder that holds the launcher application, with missing parents; true
    // when no error was reported (an existing folder is no error).
    static bool makeUsersApplications();
    // Removes the launcher application; false, with an error line, when that failed (a
    // missing launcher is such a failure).
    static bool removeKickPellinApp();
};
