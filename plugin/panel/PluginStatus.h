#pragma once

// What the panel's widgets read of the plug-in beyond its parameters and presets, and the side of
// the panel that the plug-in keeps for the next opening of the editor. The plug-in answers it;
// tests may put a small stand-in of their own in. The panel only borrows it.
class PluginStatus
{
public:
    // Host tempo of the last block, in beats per minute.
    virtual double Tempo() const = 0;
    // Time in seconds that MACRO (or the synced division) stands for in the current mode; in TREM
    // the length of one cycle.
    virtual double MacroReadout() const = 0;
    // True once a requested loop freeze has taken hold.
    virtual bool LoopFrozen() const = 0;

    // Which side of the panel shows: false the front, true the back. Not part of the state.
    virtual bool ShowBackPanel() const = 0;
    virtual void SetShowBackPanel(bool back) = 0;

protected:
    ~PluginStatus() = default;
};
