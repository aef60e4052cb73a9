#pragma once

#include <string_view>

namespace iplug {
namespace igraphics {

// Reads the number lists of SVG attribute values (path data, point lists, transforms) from a
// bounded text; never reads past its end.
class SvgTextCursor
{
public:
    explicit SvgTextCursor(std::string_view text) : mText(text) {}

    bool AtEnd() const { return mPos >= mText.size(); }
    char Peek() const { return AtEnd() ? '\0' : mText[mPos]; }
    void Advance() { ++mPos; }
    std::string_view Rest() const { return mText.substr(mPos); }

    void SkipSpace();
    // Skips white space with at most one comma in it.
    void SkipSeparator();
    // Reads a finite number: sign, digits, fraction, exponent. Leaves the cursor in place on failure.
    bool ReadNumber(double& out);
    // Reads an arc flag: a single '0' or '1', which may run into the next number.
    bool ReadFlag(bool& out);
    // Consumes the given text when it comes next.
    bool Match(std::string_view word);

    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

private:
    std::string_view mText;
    size_t mPos = 0;
};

} // namespace igraphics
} // namespace iplug
