#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// User preset files on disk: one state chunk per file, named "<preset>.marlquin" directly in the
// user preset folder. Paths are UTF-8 text here and wide text at every Windows call; the file
// system is asked through its error-code forms, so nothing here throws.
class PresetFiles
{
public:
    enum class ReadResult
    {
        kOk,
        kCannotOpen,
        kCannotRead,
        kNotPreset
    };

    static constexpr const char* kExtension = ".marlquin";
    static constexpr const char* kTemporarySuffix = ".writing";
    // The size limit files were once held to; it stays the floor so that no file that ever
    // loaded is refused now.
    static constexpr uint64_t kLegacySizeLimit = 0x8001000;

    // The largest file accepted: the largest chunk the plug-in itself writes (a loop frozen at
    // the highest supported rate), or the legacy limit when that is more.
    static uint64_t SizeLimit();

    // The UTF-8 form of a name from the file system. False for a name that has none (NTFS allows
    // unpaired surrogates): such a file can be neither listed nor opened again by a UTF-8 path.
    static bool Utf8Name(const std::filesystem::path& name, std::string& utf8);
    // File name without folders and without its last extension; a name that is only dots, or
    // whose only dot is its first character, keeps it.
    static std::string FileStem(const std::string& path);
    // Text before the first " - ", or empty when there is none.
    static std::string PresetGroupOf(const std::string& name);
    static bool PresetFileExists(const std::string& folder, const std::string& name);
    // base, then "base (2)" .. "base (100)": the first without a file; empty when all exist.
    static std::string UniquePresetName(const std::string& base, const std::string& folder);
    // Full paths of the preset files in folder, sorted byte-wise. A missing or unreadable
    // folder, or entries that vanish while listed, leave the list short.
    static std::vector<std::string> ListUserPresets(const std::string& folder);

    // Reads a whole preset file and checks that it starts with a parameter block that fits.
    static ReadResult ReadPresetFile(const std::string& path, std::vector<uint8_t>& bytes);
    // Whether bytes hold a parameter block whose values all lie inside them.
    static bool LooksLikePreset(const std::vector<uint8_t>& bytes);

    // Up to most bytes from the start of the file; false when it cannot be opened or read.
    static bool ReadFileStart(const std::string& path, size_t most, std::string& text);
    // Writes bytes to path + ".writing" and moves that over path, replacing an existing file, so
    // that a reader finds the old content or the new, never a part. On any failure the temporary
    // file is removed and the file at path is left as it was.
    static bool WriteReplacing(const std::string& path, const std::vector<uint8_t>& bytes);
    // Creates the folder and its missing parents; failures are left to later file calls.
    static void CreateFolders(const std::string& folder);
    static std::string Join(const std::string& folder, const std::string& name);
};
