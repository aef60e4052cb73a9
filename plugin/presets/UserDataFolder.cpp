#include "plugin/presets/UserDataFolder.h"

#ifdef _WIN32
#include <shlobj.h>
#include <windows.h>

#include <cstdlib>
#include <vector>
#else
#include <cstdlib>
#endif

namespace {

#ifdef _WIN32
std::string Utf8FromWide(const wchar_t* text)
{
    if (!text)
        return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1)
        return {};
    std::vector<char> out(static_cast<size_t>(bytes));
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr) == 0)
        return {};
    return std::string(out.data());
}

std::string RoamingKnownFolder()
{
    PWSTR path = nullptr;
    std::string result;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path)))
        result = Utf8FromWide(path);
    CoTaskMemFree(path);
    return result;
}
#endif

} // namespace

std::string UserDataFolder::AppData()
{
#ifdef _WIN32
    // The wide variable: a user name outside the 8-bit code page must survive.
    std::string value = Utf8FromWide(_wgetenv(L"APPDATA"));
    if (value.empty())
        value = RoamingKnownFolder();
    return value;
#else
    const char* value = std::getenv("APPDATA");
    return value ? std::string(value) : std::string();
#endif
}

std::string UserDataFolder::ProductFolder()
{
    const std::string base = AppData();
    if (base.empty())
        return {};
    return base + "/Ostrevane/Marlquin";
}

std::string UserDataFolder::PresetFolder()
{
    const std::string product = ProductFolder();
    return product.empty() ? product : product + "/Presets";
}

std::string UserDataFolder::UiScalePath()
{
    const std::string product = ProductFolder();
    return product.empty() ? product : product + "/ui-scale.txt";
}
