// The one process-wide hook through which long loops hand control to the window's event loop.
// A no-op until a window installs one. Whatever the hook runs may call back into the engine,
// so callers hold no pointer or reference across a yield into anything such a call could change.
#pragma once

#include <utility>

namespace tavirel {

using YieldFunction = void (*)(void* context);

namespace detail {
// Inline so that a yield per character costs a load and a test when no hook is installed.
inline YieldFunction yieldFn = nullptr;
inline void* yieldContext = nullptr;
}  // namespace detail

/// Installs `fn` (called with `context`); nullptr restores the no-op.
inline void setYieldHook(YieldFunction fn, void* context) {
    detail::yieldFn = fn;
    detail::yieldContext = context;
}

/// Runs the installed hook once.
inline void yieldToEventLoop() {
    // Copied first: the hook may install another one while it runs.
    const YieldFunction fn = detail::yieldFn;
    if (fn) fn(detail::yieldContext);
}

/// Installs a callable as the hook for the guard's lifetime and restores the previous hook after,
/// so that no test or run leaks its hook into the next.
template <typename F>
class ScopedYieldHook {
public:
    explicit ScopedYieldHook(F fn);
    ~ScopedYieldHook();
    ScopedYieldHook(const ScopedYieldHook&) = delete;
    ScopedYieldHook& operator=(const ScopedYieldHook&) = delete;

private:
    F fn_;
    YieldFunction previousFn_;
    void* previousContext_;
};

template <typename F>
ScopedYieldHook<F>::ScopedYieldHook(F fn) : fn_(std::move(fn)) {
    previousFn_ = detail::yieldFn;
    previousContext_ = detail::yieldContext;
    setYieldHook([](void* self) { static_cast<ScopedYieldHook*>(self)->fn_(); }, this);
}

template <typename F>
ScopedYieldHook<F>::~ScopedYieldHook() {
    setYieldHook(previousFn_, previousContext_);
}

}  // namespace tavirel
