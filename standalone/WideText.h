#pragma once

#include <string>

// UTF-8 <-> UTF-16 for the Windows calls of the program; text that fails to convert becomes
// the empty text.
std::wstring ToWide(const std::string& utf8);
std::string ToUtf8(const std::wstring& wide);
