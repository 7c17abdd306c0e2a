#include "serial/dispatcher_table.h"

namespace serial {

DispatcherTable& DispatcherTable::instance() {
    static DispatcherTable table;
    return table;
}

uint32_t DispatcherTable::add(TBaseDispatcher* dispatcher) {
    std::lock_guard lock(m_lock);
    for (size_t i = 0; i < m_slots.size(); ++i) {
        if (!m_slots[i]) {
            m_slots[i] = dispatcher;
            return uint32_t(i);
        }
    }
    m_slots.push_back(dispatcher);
    return uint32_t(m_slots.size() - 1);
}

void DispatcherTable::remove(uint32_t handle) {
    std::lock_guard lock(m_lock);
    if (handle < m_slots.size()) {
        m_slots[handle] = nullptr;
    }
    while (!m_slots.empty() && !m_slots.back()) {
        m_slots.pop_back();
    }
}

TBaseDispatcher* DispatcherTable::at(uint32_t handle) {
    std::lock_guard lock(m_lock);
    return handle < m_slots.size() ? m_slots[handle] : nullptr;
}

size_t DispatcherTable::size() {
    std::lock_guard lock(m_lock);
    return m_slots.size();
}

}  // namespace serial
