#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the preset bar asks of the plug-in it belongs to: the factory presets, the plug-in's whole
// state as one preset chunk, and the record of the preset loaded or saved last through the panel.
// The plug-in answers it; tests may put a small stand-in of their own in. The panel only borrows
// it: the plug-in outlives every editor it opens.
class PluginPresets
{
public:
    // The factory presets, in their menu order.
    virtual int PresetCount() const = 0;
    // "" for any index outside 0..PresetCount-1.
    virtual const char* PresetNameOf(int index) const = 0;
    virtual bool ApplyFactoryPreset(int index) = 0;

    // The current state in the preset file format; false when it could not be written.
    virtual bool SaveStateChunk(std::vector<std::uint8_t>& chunk) = 0;
    // False when the bytes hold no state this plug-in takes; the state is then as it was.
    virtual bool LoadStateChunk(const std::vector<std::uint8_t>& chunk) = 0;

    // The preset loaded or saved last through the panel. It is current while no other state load
    // happened since; it matches while every parameter but Repeat Hold and Repeat Latch still
    // holds the value it had then.
    virtual void RememberPresetName(const std::string& name) = 0;
    virtual bool PresetRecordCurrent() const = 0;
    virtual const std::string& PresetName() const = 0;
    // True while the preset record is current and matches.
    virtual bool PresetMatches() const = 0;
    // The preset's name when current and matching, else empty.
    virtual std::string MatchingPresetName() const = 0;

protected:
    ~PluginPresets() = default;
};
