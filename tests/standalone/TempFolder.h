#pragma once

#include <windows.h>

#include <string>

// A fresh folder under the temporary folder, removed with its files when the test ends.
class TempFolder
{
public:
    TempFolder()
    {
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        static int counter = 0;
        path = std::wstring(base) + L"marlquin-" + std::to_wstring(GetCurrentProcessId()) + L"-"
               + std::to_wstring(++counter) + L"\\";
    }
    ~TempFolder() { Remove(); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path; }
    std::wstring File(const wchar_t* name) const { return path + name; }
    bool Exists() const { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    void Remove() const
    {
        WIN32_FIND_DATAW found{};
        HANDLE search = FindFirstFileW((path + L"*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileW((path + found.cFileName).c_str());
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(path.c_str());
    }

private:
    std::wstring path;
};
