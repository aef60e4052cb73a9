#include "standalone/IniText.h"

#include <windows.h>

#include <algorithm>
#include <climits>

namespace {

constexpr wchar_t kBlanks[] = L" \t\r\v\f";

std::wstring Trimmed(const std::wstring& text)
{
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::wstring::npos)
        return std::wstring();
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::wstring WithoutQuotes(const std::wstring& value)
{
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

bool SameName(const std::wstring& a, const wchar_t* b)
{
    return CompareStringOrdinal(a.c_str(), int(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

std::wstring FromUtf16(const std::string& bytes, size_t start, bool bigEndian)
{
    std::wstring text;
    text.reserve((bytes.size() - start) / 2);
    for (size_t i = start; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        text.push_back(wchar_t(bigEndian ? first << 8 | second : second << 8 | first));
    }
    return text;
}

// Empty when the bytes are not text in that code page (with flags MB_ERR_INVALID_CHARS).
std::wstring FromCodePage(const std::string& bytes, size_t start, UINT codePage, DWORD flags)
{
    const char* text = bytes.data() + start;
    const int length = int(bytes.size() - start);
    const int units = MultiByteToWideChar(codePage, flags, text, length, nullptr, 0);
    if (units <= 0)
        return std::wstring();
    std::wstring wide(size_t(units), L'\0');
    MultiByteToWideChar(codePage, flags, text, length, wide.data(), units);
    return wide;
}

bool StartsWith(const std::string& bytes, const char* mark)
{
    return bytes.compare(0, std::char_traits<char>::length(mark), mark) == 0;
}

} // namespace

std::wstring IniText::Decode(const std::string& bytes)
{
    if (bytes.size() > size_t(INT_MAX))
        return std::wstring();
    if (StartsWith(bytes, "\xFF\xFE"))
        return FromUtf16(bytes, 2, false);
    if (StartsWith(bytes, "\xFE\xFF"))
        return FromUtf16(bytes, 2, true);
    if (StartsWith(bytes, "\xEF\xBB\xBF"))
        return FromCodePage(bytes, 3, CP_UTF8, 0);
    const std::wstring utf8 = FromCodePage(bytes, 0, CP_UTF8, MB_ERR_INVALID_CHARS);
    return utf8.empty() ? FromCodePage(bytes, 0, CP_ACP, 0) : utf8;
}

IniText::IniText(const std::wstring& text)
{
    std::wstring section;
    size_t start = 0;
    while (start < text.size()) {
        // A NUL ends a line too: no value read back may hold one the profile functions would cut.
        size_t end = text.find_first_of(L"\n", start);
        const size_t nul = text.find(L'\0', start);
        end = std::min(end == std::wstring::npos ? text.size() : end, nul == std::wstring::npos ? text.size() : nul);
        const std::wstring line = Trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty())
            continue;
        if (line.front() == L'[') {
            const size_t close = line.rfind(L']');
            section = Trimmed(line.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
            continue;
        }
        const size_t equals = line.find(L'=');
        entries.push_back(
            Entry{section, Trimmed(line.substr(0, equals)),
                  equals == std::wstring::npos ? std::wstring() : WithoutQuotes(Trimmed(line.substr(equals + 1)))});
    }
}

std::optional<IniText> IniText::Load(const std::wstring& path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string bytes(kMaxFileBytes, '\0');
    DWORD got = 0;
    const bool read = ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr) != FALSE;
    CloseHandle(file);
    if (!read)
        return std::nullopt;
    bytes.resize(got);
    return IniText(Decode(bytes));
}

std::optional<std::wstring> IniText::Value(const wchar_t* section, const wchar_t* key) const
{
    for (const Entry& entry : entries)
        if (SameName(entry.section, section) && SameName(entry.key, key))
            return entry.value;
    return std::nullopt;
}
