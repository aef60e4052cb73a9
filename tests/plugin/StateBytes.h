#pragma once

#include "framework/core/IStateBuffer.h"

#include <cstdint>
#include <initializer_list>

// Builds state bytes field by field, the way a stored chunk lays them out.
struct StateBytes
{
    StateBytes& U32(uint32_t v)
    {
        buffer.Put(v);
        return *this;
    }
    StateBytes& F64(double v)
    {
        buffer.Put(v);
        return *this;
    }
    StateBytes& Values(int count, double v)
    {
        for (int i = 0; i < count; ++i)
            buffer.Put(v);
        return *this;
    }
    StateBytes& Raw(int count, uint8_t byte = 0xAB)
    {
        for (int i = 0; i < count; ++i)
            buffer.Put(byte);
        return *this;
    }

    iplug::IStateBuffer buffer;
};
