#pragma once

// What the system or a host calls into (window and dialog procedures, timer callbacks, thread
// procedures, plug-in interfaces, audio callbacks) was not compiled to carry a C++ exception:
// one unwinding into those frames ends the host's process. Such entries run their bodies
// through ExceptionBarrier, which turns anything thrown into the entry's fallback answer.

#include <utility>

namespace iplug {

struct ExceptionBarrier
{
    template <typename T, typename Body>
    static T Value(Body&& body, T onFailure) noexcept
    {
        try {
            return std::forward<Body>(body)();
        } catch (...) {
            return onFailure;
        }
    }

    // For entries whose fallback must itself be worked out (a default window procedure).
    template <typename Body, typename Fallback>
    static auto Or(Body&& body, Fallback&& fallback) noexcept -> decltype(fallback())
    {
        try {
            return std::forward<Body>(body)();
        } catch (...) {
        }
        return std::forward<Fallback>(fallback)();
    }

    // For entries with nothing to answer; the body's work is simply cut short.
    template <typename Body>
    static void Run(Body&& body) noexcept
    {
        try {
            std::forward<Body>(body)();
        } catch (...) {
        }
    }
};

} // namespace iplug
