#pragma once

#include <string>

// Where the effect keeps what a user makes with it (preset files, the panel's scale), shared by
// the plug-in module and the standalone program. Paths are UTF-8 text; every Windows call
// converts them to wide text.
class UserDataFolder
{
public:
    // The roaming application-data folder: the "APPDATA" variable, or the shell's known folder
    // when that is not set. Empty when neither is known, so that nothing is written relative to
    // the current drive's root.
    static std::string AppData();

    // "<app data>/Ostrevane/Marlquin", or empty when the app-data folder is unknown.
    static std::string ProductFolder();
    static std::string PresetFolder();
    static std::string UiScalePath();
};
