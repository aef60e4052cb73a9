#pragma once

#include <string_view>
#include <vector>

namespace iplug {
namespace igraphics {

struct SvgAttribute
{
    std::string_view name;
    std::string_view value;
};

// Receives the elements of a document in order. Answering false stops the reading.
class SvgXmlHandler
{
public:
    virtual ~SvgXmlHandler() = default;
    virtual bool OnStartElement(std::string_view name, const std::vector<SvgAttribute>& attributes) = 0;
    virtual bool OnEndElement(std::string_view name) = 0;
};

// A small XML reader for SVG documents: elements and their attributes; text, comments,
// processing instructions, CDATA sections and the document type are skipped. It never reads
// past the text, and answers false for malformed markup: an unterminated construct, a
// missing or mismatched end tag, an attribute without a quoted value, more than one root
// element, or nesting or attribute counts beyond the bounds.
class SvgXmlReader
{
public:
    static constexpr int kMaxDepth = 128;
    static constexpr int kMaxAttributes = 256;

    bool Read(std::string_view text, SvgXmlHandler& handler);

private:
    bool ReadMarkup(SvgXmlHandler& handler);
    bool SkipPast(std::string_view terminator);
    bool SkipDeclaration();
    bool ReadEndTag(SvgXmlHandler& handler);
    bool ReadStartTag(SvgXmlHandler& handler);
    std::string_view ReadName();
    void SkipSpace();

    std::string_view mText;
    size_t mPos = 0;
    std::vector<std::string_view> mOpen;
    std::vector<SvgAttribute> mAttributes;
    bool mRootSeen = false;
};

} // namespace igraphics
} // namespace iplug
