#pragma once

// Hosts are C++-agnostic callers: an exception must never unwind through a VST 3 interface.
// Every entry point runs its body through InterfaceGuard, which turns a throw into an error code.

#include "framework/core/ExceptionBarrier.h"
#include "pluginterfaces/base/funknown.h"

#include <utility>

namespace Steinberg {

struct InterfaceGuard
{
    template <typename Fn>
    static tresult Run(Fn&& body, tresult onFailure = kInternalError) noexcept
    {
        return iplug::ExceptionBarrier::Value<tresult>(std::forward<Fn>(body), onFailure);
    }

    // For entries whose answer is a value rather than a result code.
    template <typename T, typename Fn>
    static T Value(Fn&& body, T onFailure) noexcept
    {
        return iplug::ExceptionBarrier::Value<T>(std::forward<Fn>(body), onFailure);
    }
};

} // namespace Steinberg
