#pragma once

#include "framework/core/GrowBuffer.h"
#include "framework/core/TextBuffer.h"

#include <atomic>
#include <functional>
#include <initializer_list>
#include <memory>

namespace iplug {

enum ParamKind : int
{
    kKindNone = 0,
    kKindBool = 1,
    kKindInt = 2,
    kKindEnum = 3,
    kKindDouble = 4,
};

enum ParamFlags : int
{
    kFlagCannotAutomate = 1,
    kFlagStepped = 2,
    kFlagNegateDisplay = 4,
    kFlagSignDisplay = 8,
};

enum ParamScaleKind : int
{
    kScaleLinear = 0,
    kScaleSquareRoot = 3,
    kScaleSquare = 4,
    kScaleCubeRoot = 5,
    kScaleCubic = 6,
};

constexpr int kParamUnitDefault = 21;
constexpr int kParamTextMax = 31;
// Formatted values are limited to this many characters.
constexpr int kParamValueTextMax = 32;

struct IParamDisplayText
{
    double value;
    char text[kParamTextMax + 1];
};

// One automatable parameter. Everything but the value is set up once, before any
// other thread sees the parameter; the value is written by atomic exchange and read
// whole from any thread. It never holds a non-finite number.
class IParam
{
public:
    class Shape
    {
    public:
        virtual ~Shape() = default;
        virtual Shape* Clone() const = 0;
        virtual void Prepare(IParam& param);
        virtual ParamScaleKind GetScaleKind() const = 0;
        virtual double Denormalize(double normalised, const IParam& param) const = 0;
        virtual double Normalize(double value, const IParam& param) const = 0;
    };

    class ShapeLinear : public Shape
    {
    public:
        Shape* Clone() const override;
        ParamScaleKind GetScaleKind() const override;
        double Denormalize(double normalised, const IParam& param) const override;
        double Normalize(double value, const IParam& param) const override;
    };

    class ShapePowCurve : public Shape
    {
    public:
        explicit ShapePowCurve(double exponent);
        Shape* Clone() const override;
        ParamScaleKind GetScaleKind() const override;
        double Denormalize(double normalised, const IParam& param) const override;
        double Normalize(double value, const IParam& param) const override;
        double Exponent() const { return exponent; }

    private:
        double exponent;
    };

    using DisplayFunction = std::function<void(double value, TextBuffer& out)>;

    IParam();
    ~IParam();
    IParam(const IParam&) = delete;
    IParam& operator=(const IParam&) = delete;

    // The general set-up all others end in. The kind is set only while still none.
    void SetupDouble(const char* name, double defaultValue, double min, double max, double step, const char* label = "",
                     int flags = 0, const char* group = "", const Shape& shape = ShapeLinear(),
                     int unit = kParamUnitDefault, DisplayFunction displayFunction = nullptr);
    void SetupInt(const char* name, int defaultValue, int min, int max, const char* label = "", int flags = 0,
                  const char* group = "");
    void SetupEnum(const char* name, int defaultValue, std::initializer_list<const char*> texts, int flags = 0,
                   const char* group = "");
    // count texts follow as further const char* arguments; a null first text adds none.
    void SetupEnumFromArgs(const char* name, int defaultValue, int count, const char* label, int flags,
                           const char* group, const char* firstText = nullptr, ...);
    void SetupBool(const char* name, bool defaultValue, const char* label = "", int flags = 0, const char* group = "",
                   const char* offText = "off", const char* onText = "on");
    void AddDisplayText(double value, const char* text);

    // Rounded to a multiple of step when stepped, then clamped to min..max.
    double ClampToRange(double value) const;
    // Non-finite values are ignored: the old value stays.
    void SetValue(double value);
    void SetNormalized(double normalised);
    double Value() const { return value.load(std::memory_order_acquire); }
    double NormalizeValue(double value) const;
    double GetNormalized() const;
    double GetDefaultValue(bool normalised = false) const;
    // Normalised position of the nearest value the parameter can take.
    double SnapNormalized(double normalised) const;

    ParamKind Kind() const { return kind; }
    int Unit() const { return unit; }
    double GetMin() const { return min; }
    double GetMax() const { return max; }
    double GetRange() const { return max - min; }
    double GetStep() const { return step; }
    int GetDisplayPrecision() const { return displayPrecision; }
    int Flags() const { return flags; }
    bool CanAutomate() const { return !(flags & kFlagCannotAutomate); }
    bool IsStepped() const { return flags & kFlagStepped; }
    const char* GetName() const { return name; }
    const char* GetLabel() const { return label; }
    const char* GetGroup() const { return group; }
    const Shape& GetShape() const { return *shape; }
    bool HasDisplayFunction() const { return bool(displayFunction); }

    int DisplayTextCount() const;
    // Null for any index outside 0..DisplayTextCount-1.
    const IParamDisplayText* GetDisplayText(int index) const;
    // Text of the first display text whose value equals v exactly, else "".
    const char* DisplayTextFor(double v) const;
    const char* UnitLabelToShow() const;

    // Locale-independent: always a '.' decimal point.
    void FormatValueText(double v, bool isNormalised, TextBuffer& out, bool useDisplayTexts = true) const;
    // A display text gives its value unclamped; bool and enum parameters read no
    // numbers (0); otherwise the leading decimal number (0 when none), clamped. A
    // number that reads as infinite or NaN gives the current value.
    double ParseValueText(const char* text) const;

private:
    void SetupEnumTexts(const char* name, int defaultValue, int count, const char* label, int flags, const char* group);

    ParamKind kind = kKindNone;
    int unit = kParamUnitDefault;
    std::atomic<double> value{0.0};
    double min = 0.0;
    double max = 1.0;
    double step = 1.0;
    double defaultValue = 0.0;
    int displayPrecision = 0;
    int flags = 0;
    char name[kParamTextMax + 1] = {};
    char label[kParamTextMax + 1] = {};
    char group[kParamTextMax + 1] = {};
    std::unique_ptr<Shape> shape;
    DisplayFunction displayFunction;
    GrowBuffer displayTexts;
};

} // namespace iplug
