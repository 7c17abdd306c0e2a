#pragma once
// The process-wide table of dispatchers. A dispatcher's slot index is its
// DispatcherHandle, which names it in the high word of a trigger message's lParam.

#include <cstdint>
#include <mutex>
#include <vector>

namespace serial {

class TBaseDispatcher;

class DispatcherTable {
public:
    static DispatcherTable& instance();

    // Held by the port window while it handles a message; re-entered by opening or
    // closing a port from inside an event on the same thread.
    std::recursive_mutex& lock() { return m_lock; }

    // Puts the dispatcher into the first empty slot, or a new one; returns the index.
    uint32_t add(TBaseDispatcher* dispatcher);
    // Empties the slot, then drops empty slots from the end.
    void remove(uint32_t handle);
    // The dispatcher in the slot, or null.
    TBaseDispatcher* at(uint32_t handle);
    size_t size();

private:
    std::recursive_mutex m_lock;
    std::vector<TBaseDispatcher*> m_slots;  // m_lock
};

}  // namespace serial
