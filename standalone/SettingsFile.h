#pragma once

#include "standalone/DeviceSettings.h"

#include <string>

// settings.ini: an INI file written with the system's profile functions, always as UTF-16LE with
// a byte-order mark so that device names outside ASCII survive, and read in UTF-16 or UTF-8
// alike (a file saved by an editor in UTF-8 keeps its names too).
// Writing goes to a temporary file that is then moved over the old one, so a failed write
// never leaves a half-written file behind.
class SettingsFile
{
public:
    // Buffer sizes outside 1..8192 are no buffer size the program can open; they come back
    // as the default.
    static constexpr uint32_t kMaxBufferSize = 8192;

    explicit SettingsFile(std::wstring path) : path(std::move(path)) {}

    // The folder "Quorrel" in the user's local application-data folder, with a trailing
    // backslash; empty when the system cannot name that folder.
    static std::wstring DefaultFolder();
    // Creates the folder when missing; false when it cannot.
    static bool EnsureFolder(const std::wstring& folder);

    bool Exists() const;
    // Reads every key into settings; missing keys take their defaults. False when there is
    // no file (settings then keeps its values).
    bool Load(DeviceSettings& settings) const;
    bool Save(const DeviceSettings& settings) const;

    const std::wstring& Path() const { return path; }

private:
    std::wstring path;
};
