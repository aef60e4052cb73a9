#pragma once

#include <optional>
#include <string>
#include <vector>

// The keys of an INI file, read the way the system's profile functions read them (section and
// key names match without regard to case, blanks around names and values and one pair of
// quotes around a value are dropped, the first of repeated keys counts), from the encodings
// people save such a file in: UTF-16 with a byte-order mark in either byte order, UTF-8 with or
// without one, and the ANSI code page for older files that are not UTF-8. The profile functions
// themselves read a file without a byte-order mark in the ANSI code page only.
class IniText
{
public:
    // Reads at most this much of a file: nothing longer is a settings file.
    static constexpr size_t kMaxFileBytes = 1 << 20;

    explicit IniText(const std::wstring& text);

    // Null when the file cannot be opened or read.
    static std::optional<IniText> Load(const std::wstring& path);
    // A file's bytes as text, by their byte-order mark, or by whether they are UTF-8.
    static std::wstring Decode(const std::string& bytes);

    // The value of key in section; null when there is no such key.
    std::optional<std::wstring> Value(const wchar_t* section, const wchar_t* key) const;

private:
    struct Entry
    {
        std::wstring section;
        std::wstring key;
        std::wstring value;
    };

    std::vector<Entry> entries;
};
