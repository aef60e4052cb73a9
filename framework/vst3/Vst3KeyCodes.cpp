#include "framework/vst3/Vst3KeyCodes.h"

#include "framework/core/TextBuffer.h"

#include <windows.h>

#include <cstring>

namespace iplug {

namespace {

constexpr int kHostReaper = 1;

} // namespace

int Vst3KeyCodeToVirtualKey(int16_t code, char firstTextByte)
{
    static const int kTable[] = {0,   8,   9,   12,  13,  19,  27,  32,  34,  35,  36,  37,
                                 38,  39,  40,  33,  34,  41,  42,  13,  44,  45,  46,  47,  // 0..23
                                 96,  97,  98,  99,  100, 101, 102, 103, 104, 105,           // 24..33
                                 106, 107, 108, 109, 110, 111,                               // 34..39
                                 112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, // 40..51
                                 144, 145, 16,  17,  18};                                    // 52..56
    if (code == 0 || code == kVst3KeyEquals) {
        // No character, no key: the system's answer for NUL is a control chord.
        if (firstTextByte == 0)
            return 0;
        const SHORT scan = VkKeyScanExA(firstTextByte, GetKeyboardLayout(0));
        return static_cast<int16_t>(scan);
    }
    if (code >= kVst3KeyAsciiBase)
        return code - 80;
    if (code > 0 && code < static_cast<int16_t>(sizeof kTable / sizeof kTable[0]))
        return kTable[code];
    return 0;
}

bool Vst3KeyToKeyStroke(char16_t character, int16_t keyCode, int16_t modifiers, int hostCode,
                        igraphics::IKeyStroke& key)
{
    key = igraphics::IKeyStroke();
    if (hostCode == kHostReaper) {
        if (keyCode != kVst3KeySpace)
            return false;
        key.virtualKey = 32;
        key.text[0] = ' ';
        return true;
    }
    if (character == 0) {
        if (keyCode >= kVst3KeyAsciiBase)
            character = static_cast<char16_t>((keyCode - 80) & 0xFF);
        else if (keyCode == kVst3KeySpace)
            character = u' ';
    }
    if (character != 0) {
        const char16_t text[2] = {character, 0};
        TextBuffer utf8;
        utf8.FromUtf16(text);
        // Only single-byte characters travel as key text.
        if (utf8.GetLength() == 1) {
            key.text[0] = utf8.Get()[0];
            key.text[1] = 0;
        }
    }
    key.virtualKey = Vst3KeyCodeToVirtualKey(keyCode, key.text[0]);
    key.shift = (modifiers & kVst3ShiftKey) != 0;
    key.ctrl = (modifiers & kVst3CommandKey) != 0;
    key.alt = (modifiers & kVst3AlternateKey) != 0;
    return true;
}

} // namespace iplug
