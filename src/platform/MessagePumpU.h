// The hook through which a long job lets its front end breathe.
//
// The job calls Process() once per command byte. A window installs a callback that
// handles its pending events; a batch or a test installs nothing, and then a call costs
// one predictable branch. Each job holds its own pump, so jobs in parallel threads never
// share one.
#pragma once

#include <functional>
#include <utility>

namespace varnhold {

class TMessagePump {
public:
    TMessagePump() = default;
    explicit TMessagePump(std::function<void()> handler) : Handler(std::move(handler)) {}

    void Set(std::function<void()> handler) { Handler = std::move(handler); }
    void Process() const {
        if (Handler) [[unlikely]]
            Handler();
    }
    explicit operator bool() const { return static_cast<bool>(Handler); }

private:
    std::function<void()> Handler;
};

} // namespace varnhold
