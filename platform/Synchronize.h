#pragma once

#include <functional>

// Runs a call on the GUI thread and waits until it has run. Worker threads reach windows only
// through this. Once the window that serves it is gone, calls are dropped instead of run, so a
// worker that outlives the window never touches it.
class ISynchronizer
{
public:
    virtual ~ISynchronizer() = default;
    virtual void Synchronize(const std::function<void()>& call) = 0;
};
