#include "plugin/presets/UserDataFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// Sets or clears APPDATA for one test and puts the old value back. Windows takes the variable
// as wide text so that names outside the 8-bit code page survive.
class AppDataVariable
{
public:
    AppDataVariable()
    {
#ifdef _WIN32
        if (const wchar_t* old = _wgetenv(L"APPDATA"))
            saved = std::wstring(old);
#else
        if (const char* old = std::getenv("APPDATA"))
            saved = std::string(old);
#endif
    }
    ~AppDataVariable()
    {
        if (saved)
            Set(*saved);
        else
            Clear();
    }

#ifdef _WIN32
    using Text = std::wstring;
    static void Set(const Text& value)
    {
        _wputenv_s(L"APPDATA", value.c_str());
    }
    static void Clear()
    {
        _wputenv_s(L"APPDATA", L"");
    }
#else
    using Text = std::string;
    static void Set(const Text& value)
    {
        setenv("APPDATA", value.c_str(), 1);
    }
    static void Clear()
    {
        unsetenv("APPDATA");
    }
#endif

private:
    std::optional<Text> saved;
};

} // namespace

TEST(UserDataFolder, PathsFollowAppData)
{
    AppDataVariable keep;
#ifdef _WIN32
    AppDataVariable::Set(L"C:\\Users\\\u0416\u0435\u043d\u044f\\AppData\\Roaming");
    const std::string base = "C:\\Users\\Женя\\AppData\\Roaming";
#else
    AppDataVariable::Set("/home/Женя/.config");
    const std::string base = "/home/Женя/.config";
#endif
    EXPECT_EQ(UserDataFolder::AppData(), base);
    EXPECT_EQ(UserDataFolder::PresetFolder(), base + "/Ostrevane/Marlquin/Presets");
    EXPECT_EQ(UserDataFolder::UiScalePath(), base + "/Ostrevane/Marlquin/ui-scale.txt");
}

TEST(UserDataFolder, WithoutAppDataNothingPointsAtTheRoot)
{
    AppDataVariable keep;
    AppDataVariable::Clear();
    const std::string presets = UserDataFolder::PresetFolder();
#ifdef _WIN32
    // The shell's roaming application-data folder stands in for the variable.
    ASSERT_FALSE(presets.empty());
    EXPECT_EQ(presets, UserDataFolder::AppData() + "/Ostrevane/Marlquin/Presets");
    EXPECT_NE(presets.front(), '/');
    EXPECT_GT(UserDataFolder::AppData().size(), 3u) << "a drive root is not a user folder";
#else
    EXPECT_EQ(presets, "");
    EXPECT_EQ(UserDataFolder::UiScalePath(), "");
#endif
}
