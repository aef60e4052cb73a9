#pragma once

// The form every interactive panel widget is created in: the widget itself, adding nothing, so
// one place can later give all of them a common touch behaviour.
template <class T>
class WTouchTarget : public T
{
public:
    using T::T;
};
