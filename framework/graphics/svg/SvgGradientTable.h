#pragma once

#include "framework/graphics/svg/SvgDocument.h"
#include "framework/graphics/svg/SvgMatrix.h"
#include "framework/graphics/svg/SvgUnits.h"
#include "framework/graphics/svg/SvgValueParser.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace iplug {
namespace igraphics {

// One linearGradient or radialGradient element as written: every attribute may be missing
// and then comes from the gradient its href names, or from the defaults.
struct SvgGradientDef
{
    enum ECoord
    {
        kX1,
        kY1,
        kX2,
        kY2,
        kCx,
        kCy,
        kR,
        kFx,
        kFy,
        kCoordCount
    };
    std::string id;
    std::string href;
    bool radial = false;
    bool hasCoord[kCoordCount] = {};
    SvgLength coord[kCoordCount];
    bool hasUnits = false;
    bool userSpace = false;
    bool hasTransform = false;
    SvgMatrix transform;
    bool hasSpread = false;
    char spread = kSvgSpreadPad;
    std::vector<NSVGgradientStop> stops;
};

// The gradients of a document by id; turns a reference from a shape into the paint the
// drawing operations read.
class SvgGradientTable
{
public:
    static constexpr size_t kMaxGradients = 4096;
    static constexpr int kMaxReferenceChain = 32;

    // Answers the index of the new definition, or -1 when the table is full.
    int Add(SvgGradientDef def);
    // Stops past the record's capacity are dropped; offsets never decrease.
    void AddStop(int index, unsigned int rgba, double offset);

    // Fills paint for a shape whose local-to-document matrix is xform and whose local bounds
    // are bbox (left, top, right, bottom). Answers false when id names no gradient.
    bool Resolve(const std::string& id, const SvgMatrix& xform, const double* bbox, const SvgUnits& units,
                 NSVGpaint& paint) const;

private:
    const SvgGradientDef* Find(const std::string& id) const;
    SvgGradientDef Flatten(const SvgGradientDef& def) const;

    std::vector<SvgGradientDef> mDefs;
    std::unordered_map<std::string, size_t> mById;
};

} // namespace igraphics
} // namespace iplug
