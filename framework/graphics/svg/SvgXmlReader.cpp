#include "framework/graphics/svg/SvgXmlReader.h"

#include "framework/graphics/svg/SvgTextCursor.h"

namespace iplug {
namespace igraphics {

namespace {
bool EndsName(char c)
{
    return SvgTextCursor::IsSpace(c) || c == '/' || c == '>' || c == '=' || c == '<' || c == '"' || c == '\'';
}
} // namespace

bool SvgXmlReader::Read(std::string_view text, SvgXmlHandler& handler)
{
    mText = text;
    mPos = 0;
    mOpen.clear();
    mRootSeen = false;
    while (mPos < mText.size()) {
        const size_t lt = mText.find('<', mPos);
        if (lt == std::string_view::npos)
            break;
        mPos = lt + 1;
        if (!ReadMarkup(handler))
            return false;
    }
    return mRootSeen && mOpen.empty();
}

bool SvgXmlReader::ReadMarkup(SvgXmlHandler& handler)
{
    const std::string_view rest = mText.substr(mPos);
    if (rest.substr(0, 1) == "?")
        return SkipPast("?>");
    if (rest.substr(0, 3) == "!--")
        return SkipPast("-->");
    if (rest.substr(0, 8) == "![CDATA[")
        return SkipPast("]]>");
    if (rest.substr(0, 1) == "!")
        return SkipDeclaration();
    if (rest.substr(0, 1) == "/")
        return ReadEndTag(handler);
    return ReadStartTag(handler);
}

bool SvgXmlReader::SkipPast(std::string_view terminator)
{
    const size_t end = mText.find(terminator, mPos);
    if (end == std::string_view::npos)
        return false;
    mPos = end + terminator.size();
    return true;
}

// <!DOCTYPE ...> with quoted texts and an optional [internal subset].
bool SvgXmlReader::SkipDeclaration()
{
    int bracketDepth = 0;
    while (mPos < mText.size()) {
        const char c = mText[mPos++];
        if (c == '"' || c == '\'') {
            const size_t close = mText.find(c, mPos);
            if (close == std::string_view::npos)
                return false;
            mPos = close + 1;
        } else if (c == '[') {
            ++bracketDepth;
        } else if (c == ']') {
            --bracketDepth;
        } else if (c == '>' && bracketDepth <= 0) {
            return true;
        }
    }
    return false;
}

void SvgXmlReader::SkipSpace()
{
    while (mPos < mText.size() && SvgTextCursor::IsSpace(mText[mPos]))
        ++mPos;
}

std::string_view SvgXmlReader::ReadName()
{
    const size_t start = mPos;
    while (mPos < mText.size() && !EndsName(mText[mPos]))
        ++mPos;
    return mText.substr(start, mPos - start);
}

bool SvgXmlReader::ReadEndTag(SvgXmlHandler& handler)
{
    ++mPos;
    const std::string_view name = ReadName();
    SkipSpace();
    if (mPos >= mText.size() || mText[mPos] != '>')
        return false;
    ++mPos;
    if (mOpen.empty() || mOpen.back() != name)
        return false;
    mOpen.pop_back();
    return handler.OnEndElement(name);
}

bool SvgXmlReader::ReadStartTag(SvgXmlHandler& handler)
{
    const std::string_view name = ReadName();
    if (name.empty() || (mOpen.empty() && mRootSeen) || static_cast<int>(mOpen.size()) >= kMaxDepth)
        return false;
    mAttributes.clear();
    for (;;) {
        SkipSpace();
        if (mPos >= mText.size())
            return false;
        const char c = mText[mPos];
        if (c == '>' || c == '/')
            break;
        SvgAttribute attribute;
        attribute.name = ReadName();
        SkipSpace();
        if (attribute.name.empty() || mPos >= mText.size() || mText[mPos] != '=')
            return false;
        ++mPos;
        SkipSpace();
        if (mPos >= mText.size() || (mText[mPos] != '"' && mText[mPos] != '\''))
            return false;
        const char quote = mText[mPos++];
        const size_t close = mText.find(quote, mPos);
        if (close == std::string_view::npos || static_cast<int>(mAttributes.size()) >= kMaxAttributes)
            return false;
        attribute.value = mText.substr(mPos, close - mPos);
        mPos = close + 1;
        mAttributes.push_back(attribute);
    }
    const bool selfClosing = mText[mPos] == '/';
    if (selfClosing) {
        ++mPos;
        if (mPos >= mText.size() || mText[mPos] != '>')
            return false;
    }
    ++mPos;
    mRootSeen = true;
    mOpen.push_back(name);
    if (!handler.OnStartElement(name, mAttributes))
        return false;
    if (selfClosing) {
        mOpen.pop_back();
        return handler.OnEndElement(name);
    }
    return true;
}

} // namespace igraphics
} // namespace iplug
