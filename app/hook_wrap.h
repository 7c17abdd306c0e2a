#pragma once
// One of the window's hooks, wrapped for as long as this lives: the wrapper is handed
// the handler it replaced (empty when there was none) and decides when to call it; the
// old handler is put back when this goes. Wraps end in the reverse order of their making,
// as members of parts that are made after the part they wrap and destroyed before it.

#include <functional>
#include <utility>

namespace app {

class HookWrap {
public:
    using Hook = std::function<void()>;
    using Wrapper = std::function<void(const Hook& inner)>;

    HookWrap(Hook& hook, Wrapper wrapper)
        : m_hook(hook), m_inner(hook), m_wrapper(std::move(wrapper)) {
        m_hook = [this] { m_wrapper(m_inner); };
    }
    ~HookWrap() { m_hook = m_inner; }
    HookWrap(const HookWrap&) = delete;
    HookWrap& operator=(const HookWrap&) = delete;

    // Calls the replaced handler, if there was one.
    static void callInner(const Hook& inner) {
        if (inner) {
            inner();
        }
    }

private:
    Hook& m_hook;
    const Hook m_inner;
    const Wrapper m_wrapper;
};

}  // namespace app
