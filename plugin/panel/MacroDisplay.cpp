#include "plugin/panel/MacroDisplay.h"

#include "engine/tables/NoteDivisions.h"
#include "engine/tables/ParamSpec.h"
#include "framework/core/IEditorDelegate.h"
#include "framework/core/IParam.h"
#include "framework/graphics/IControl.h"
#include "plugin/panel/PanelNumbers.h"
#include "plugin/panel/PanelState.h"
#include "plugin/panel/PluginStatus.h"

#include <algorithm>
#include <cmath>

namespace macro {

namespace {

constexpr double kRepeatMinSeconds = 0.01;
constexpr double kRepeatSpan = 1.19;
constexpr double kRepeatRange = 120.0;
constexpr double kLoopsSpan = 15.99;
constexpr double kLoopsRange = 1600.0;
constexpr int kTremDivisions[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13, 14, 15};

double Clamp01(double v)
{
    return v < 0.0 ? 0.0 : v > 1.0 ? 1.0 : v;
}

int ClampDivision(double value)
{
    const int d = static_cast<int>(value);
    return d < 0 ? 0 : d > kDivisionCount - 1 ? kDivisionCount - 1 : d;
}

} // namespace

const char* const kDivisionNames[kDivisionCount] = {"1/32", "1/16", "1/8", "1/8.", "1/4",   "1/4.", "1/2",  "1/2.",
                                                    "1/1",  "2/1",  "4/1", "1/64", "1/16T", "1/8T", "1/4T", "1/2T"};

bool IsRepeatTimeMacro(const iplug::igraphics::IControl& control)
{
    return !panel::Synced(control) && panel::Mode(control) == panel::kRepeat && panel::NewEngine(control);
}

bool IsTimeMacro(const iplug::igraphics::IControl& control)
{
    return IsRepeatTimeMacro(control) || (!panel::Synced(control) && panel::Mode(control) == panel::kLoops);
}

double MacroKnobPosition(const iplug::igraphics::IControl& control)
{
    const double v = Clamp01(control.ValueAt(0));
    if (IsRepeatTimeMacro(control)) {
        const double t = kRepeatMinSeconds * std::pow(kRepeatRange, v);
        return Clamp01((t - kRepeatMinSeconds) / kRepeatSpan);
    }
    if (IsTimeMacro(control)) {
        const double t = kRepeatMinSeconds * std::pow(kLoopsRange, v);
        return std::sqrt(Clamp01((t - kRepeatMinSeconds) / kLoopsSpan));
    }
    return v;
}

void SetMacroFromPosition(iplug::igraphics::IControl& control, double position)
{
    const double p = Clamp01(position);
    const double v =
        IsRepeatTimeMacro(control)
            ? std::log((p * kRepeatSpan + kRepeatMinSeconds) / kRepeatMinSeconds) / std::log(kRepeatRange)
            : std::log((p * p * kLoopsSpan + kRepeatMinSeconds) / kRepeatMinSeconds) / std::log(kLoopsRange);
    panel::Commit(control, v);
}

bool DivisionOrderLess(int mode, int a, int b)
{
    const double la = DivisionSeconds(0.0, true, ResolveDivisionIndex(mode != panel::kTrem, a), 60.0);
    const double lb = DivisionSeconds(0.0, true, ResolveDivisionIndex(mode != panel::kTrem, b), 60.0);
    return mode == panel::kTrem ? la > lb : la < lb;
}

DivisionList& AllowedDivisions(const iplug::igraphics::IControl& control, double tempo, DivisionList& list)
{
    list.count = 0;
    const int mode = panel::Mode(control);
    if (mode == panel::kTrem) {
        for (int d : kTremDivisions)
            list.items[list.count++] = d;
    } else {
        const bool limited = mode == panel::kRepeat && panel::NewEngine(control);
        for (int d = 0; d < kDivisionCount; ++d)
            if (!limited || LimitDivisionForRepeat(d, tempo) == d)
                list.items[list.count++] = d;
    }
    // Divisions of equal length keep their order (by index, as listed), without the buffer a
    // stable sort would take from the heap.
    std::sort(list.items, list.items + list.count, [mode](int a, int b) {
        if (DivisionOrderLess(mode, a, b))
            return true;
        return !DivisionOrderLess(mode, b, a) && a < b;
    });
    return list;
}

int SyncDivision(const iplug::igraphics::IControl& control)
{
    return ClampDivision(panel::ParamValue(control, kSyncDivision));
}

double SyncedMacroPosition(const iplug::igraphics::IControl& control, double tempo)
{
    if (!control.GetDelegate())
        return 0.0;
    DivisionList list;
    AllowedDivisions(control, tempo, list);
    const int d = SyncDivision(control);
    int e = d;
    const int mode = panel::Mode(control);
    if (mode == panel::kRepeat && panel::NewEngine(control))
        e = LimitDivisionForRepeat(d, tempo);
    else if (mode == panel::kTrem && d < 11)
        e = std::min(d, 8);
    const auto found = std::find(list.begin(), list.end(), e);
    const size_t i = found == list.end() ? 0 : static_cast<size_t>(found - list.begin());
    return list.size() > 1 ? static_cast<double>(i) / static_cast<double>(list.size() - 1) : 0.0;
}

void SetDivisionFromKnob(iplug::igraphics::IControl& control, int division)
{
    const iplug::IParam* param = control.BoundParam(0);
    panel::Commit(control, param ? param->NormalizeValue(division) : 0.0);
}

void FormatReadoutText(const iplug::IEditorDelegate* delegate, const PluginStatus* status, char* buffer, size_t size)
{
    if (!buffer || size == 0)
        return;
    if (!delegate || !status) {
        buffer[0] = 0;
        return;
    }
    const auto value = [delegate](int idx) { return delegate->GetParam(idx)->Value(); };
    const int mode = static_cast<int>(value(kMode));
    const double tempo = status->Tempo();
    if (value(kSync) > 0.5) {
        const int d = ClampDivision(value(kSyncDivision));
        if (mode == panel::kRepeat && value(kRepeatEngine) >= 0.5) {
            panel::FormatNumber(buffer, size, "%s", kDivisionNames[LimitDivisionForRepeat(d, tempo)]);
            return;
        }
        const int r = ResolveDivisionIndex(mode != panel::kTrem, d);
        const double expected = DivisionSeconds(0.0, true, r, tempo);
        const double actual = status->MacroReadout();
        if (std::fabs(actual - expected) <= 0.0001)
            panel::FormatNumber(buffer, size, "%s", kDivisionNames[r]);
        else
            panel::FormatNumber(buffer, size, "%.2fs %s", actual, expected > actual ? "MAX" : "MIN");
        return;
    }
    const double v = status->MacroReadout();
    if (mode != panel::kTrem)
        panel::FormatNumber(buffer, size, "%.2f s", v);
    else
        panel::FormatNumber(buffer, size, "%.1f Hz", v <= 1e-9 ? 0.0 : 1.0 / v);
}

} // namespace macro
