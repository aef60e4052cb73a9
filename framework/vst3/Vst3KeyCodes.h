#pragma once

#include "framework/graphics/IGraphicsRecords.h"

#include <cstdint>

namespace iplug {

// VST 3 virtual key codes and modifier bits the editor view translates (the SDK subset
// the build uses ships no key-code header).
enum Vst3VirtualKey : int16_t
{
    kVst3KeyBack = 1,
    kVst3KeyTab = 2,
    kVst3KeyClear = 3,
    kVst3KeyReturn = 4,
    kVst3KeyPause = 5,
    kVst3KeyEscape = 6,
    kVst3KeySpace = 7,
    kVst3KeyNext = 8,
    kVst3KeyEnd = 9,
    kVst3KeyHome = 10,
    kVst3KeyLeft = 11,
    kVst3KeyUp = 12,
    kVst3KeyRight = 13,
    kVst3KeyDown = 14,
    kVst3KeyPageUp = 15,
    kVst3KeyPageDown = 16,
    kVst3KeySelect = 17,
    kVst3KeyPrint = 18,
    kVst3KeyEnter = 19,
    kVst3KeySnapshot = 20,
    kVst3KeyInsert = 21,
    kVst3KeyDelete = 22,
    kVst3KeyHelp = 23,
    kVst3KeyNumPad0 = 24,
    kVst3KeyNumPad9 = 33,
    kVst3KeyMultiply = 34,
    kVst3KeyDivide = 39,
    kVst3KeyF1 = 40,
    kVst3KeyF12 = 51,
    kVst3KeyNumLock = 52,
    kVst3KeyScroll = 53,
    kVst3KeyShift = 54,
    kVst3KeyControl = 55,
    kVst3KeyAlt = 56,
    kVst3KeyEquals = 57,
    // Codes from here on are ASCII keys offset by 80.
    kVst3KeyAsciiBase = 128
};

enum Vst3KeyModifier : int16_t
{
    kVst3ShiftKey = 1 << 0,
    kVst3AlternateKey = 1 << 1,
    kVst3CommandKey = 1 << 2
};

// The Windows virtual-key code of a VST 3 key code; codes 0 and 57 go by the character
// (firstTextByte, the key text's first byte), through the calling thread's layout.
int Vst3KeyCodeToVirtualKey(int16_t keyCode, char firstTextByte);
// The key stroke of a host key event; false when the host's keys are not taken (a host
// that only passes the space bar on).
bool Vst3KeyToKeyStroke(char16_t character, int16_t keyCode, int16_t modifiers, int hostCode,
                        igraphics::IKeyStroke& key);

} // namespace iplug
