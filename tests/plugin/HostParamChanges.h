#pragma once

// The host's side of automation in a process call: one queue of (offset, value) points per
// parameter, handed to the plug-in as its input parameter changes.

#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

class HostParamQueue : public Steinberg::Vst::IParamValueQueue
{
public:
    using Point = std::pair<Steinberg::int32, double>;

    HostParamQueue(Steinberg::Vst::ParamID id, std::vector<Point> points) : id(id), points(std::move(points)) {}

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID, void** obj) override
    {
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
    Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return id; }
    Steinberg::int32 PLUGIN_API getPointCount() override { return static_cast<Steinberg::int32>(points.size()); }
    Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index, Steinberg::int32& offset,
                                           Steinberg::Vst::ParamValue& value) override
    {
        if (index < 0 || index >= getPointCount())
            return Steinberg::kInvalidArgument;
        offset = points[static_cast<size_t>(index)].first;
        value = points[static_cast<size_t>(index)].second;
        return Steinberg::kResultOk;
    }
    Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32, Steinberg::Vst::ParamValue, Steinberg::int32&) override
    {
        return Steinberg::kNotImplemented;
    }

    Steinberg::Vst::ParamID id;
    std::vector<Point> points;
};

class HostParamChanges : public Steinberg::Vst::IParameterChanges
{
public:
    // Appends a point to the parameter's queue, opening the queue on the parameter's first point.
    void Add(Steinberg::Vst::ParamID id, Steinberg::int32 offset, double value)
    {
        auto it = std::find_if(queues.begin(), queues.end(), [&](const HostParamQueue& q) { return q.id == id; });
        if (it == queues.end()) {
            queues.emplace_back(id, std::vector<HostParamQueue::Point>{});
            it = queues.end() - 1;
        }
        it->points.emplace_back(offset, value);
    }

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID, void** obj) override
    {
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
    Steinberg::int32 PLUGIN_API getParameterCount() override { return static_cast<Steinberg::int32>(queues.size()); }
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index) override
    {
        return index >= 0 && index < getParameterCount() ? &queues[static_cast<size_t>(index)] : nullptr;
    }
    Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID&,
                                                                  Steinberg::int32&) override
    {
        return nullptr;
    }

    std::vector<HostParamQueue> queues;
};
