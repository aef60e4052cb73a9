#pragma once

#include "framework/graphics/svg/SvgDocument.h"
#include "framework/graphics/svg/SvgGradientTable.h"
#include "framework/graphics/svg/SvgPathBuilder.h"
#include "framework/graphics/svg/SvgStyle.h"
#include "framework/graphics/svg/SvgUnits.h"
#include "framework/graphics/svg/SvgXmlReader.h"

#include <string>
#include <string_view>
#include <vector>

namespace iplug {
namespace igraphics {

// Builds a parsed document from the elements the XML reader hands over: the root's size and
// view box, groups with their transforms and styles, the basic shapes and paths, and the
// gradients the shapes refer to.
class SvgParser : public SvgXmlHandler
{
public:
    static constexpr size_t kMaxInputBytes = 8u << 20;
    static constexpr size_t kMaxPoints = 1u << 20;
    static constexpr size_t kMaxShapes = 1u << 16;

    SvgParser(const char* units, float dpi);
    ~SvgParser() override;
    SvgParser(const SvgParser&) = delete;
    SvgParser& operator=(const SvgParser&) = delete;

    // Answers the document (the caller frees it with nsvgDelete), or null.
    NSVGimage* Parse(std::string_view text);

    bool OnStartElement(std::string_view name, const std::vector<SvgAttribute>& attributes) override;
    bool OnEndElement(std::string_view name) override;

private:
    enum class EElement
    {
        kGroup,
        kShape,
        kGradient,
        kStop,
        kOther
    };

    struct Frame
    {
        SvgStyle style;
        bool renders = true; // shapes inside are drawn (not in defs, masks, text, ...)
        int gradient = -1;   // index of the gradient element this frame is
    };

    // A shape's paint that names a gradient, resolved once the whole document is read.
    struct PendingPaint
    {
        NSVGshape* shape;
        bool stroke;
        SvgPaintSpec spec;
        unsigned int colour; // the shape's currentColor
        double opacity;      // fill- or stroke-opacity
        SvgMatrix xform;
        double bbox[4];
    };

    static EElement Classify(std::string_view localName);
    bool ReadRoot(const std::vector<SvgAttribute>& attributes);
    SvgMatrix NestedViewport(const std::vector<SvgAttribute>& attributes) const;
    double RootLength(const SvgAttribute* attribute, double viewBoxExtent, bool& ok) const;
    void ApplyAttributes(SvgStyle& style, const std::vector<SvgAttribute>& attributes);
    void ApplyProperty(SvgStyle& style, std::string_view name, std::string_view value);
    void ApplyStyleDeclarations(SvgStyle& style, std::string_view declarations);
    bool AddShape(std::string_view localName, const SvgStyle& style, const std::vector<SvgAttribute>& attributes);
    void BuildOutlines(std::string_view localName, const std::vector<SvgAttribute>& attributes,
                       SvgPathBuilder& builder);
    bool AppendShape(const SvgStyle& style, const std::vector<SvgOutline>& outlines, std::string_view id);
    void SetPaint(NSVGshape& shape, bool stroke, const SvgStyle& style, const SvgPaintSpec& spec, double opacity,
                  const double* bbox);
    int AddGradient(bool radial, const std::vector<SvgAttribute>& attributes);
    void AddStop(int gradient, const SvgStyle& style, const std::vector<SvgAttribute>& attributes);
    void ResolvePendingPaints();
    double Length(const std::vector<SvgAttribute>& attributes, std::string_view name, ESvgAxis axis, bool& ok,
                  double fallback = 0.0) const;

    SvgUnits mUnits;
    double mOutputScale;                // document units per user unit
    double mWidth = 0.0, mHeight = 0.0; // user units
    std::vector<Frame> mFrames;
    SvgGradientTable mGradients;
    std::vector<PendingPaint> mPending;
    NSVGimage* mImage = nullptr;
    NSVGshape* mLastShape = nullptr;
    size_t mShapeCount = 0;
    size_t mPointBudget = kMaxPoints;
    bool mFailed = false;
};

} // namespace igraphics
} // namespace iplug
