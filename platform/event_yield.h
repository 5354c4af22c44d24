// SPDX-License-Identifier: MIT
// The one process-wide hook through which long loops hand control to the window's event loop.
// A no-op until a window installs one. Whatever the hook runs may call back into the engine,
// so callers hold no pointer or reference across a yield into anything such a call could change.
// Only the main thread yields: a worker thread holds its yields for as long as it lives.
#pragma once

#include <utility>

namespace tavirel {

using YieldFunction = void (*)(void* context);

namespace detail {
// Inline so that a yield per character costs a load and a test when no hook is installed.
inline YieldFunction yieldFn = nullptr;
inline void* yieldContext = nullptr;
inline thread_local bool yieldsHeld = false;
}  // namespace detail

/// Installs `fn` (called with `context`); nullptr restores the no-op.
inline void setYieldHook(YieldFunction fn, void* context) {
    detail::yieldFn = fn;
    detail::yieldContext = context;
}

/// Runs the installed hook once, unless this thread holds its yields.
inline void yieldToEventLoop() {
    // Tested before the hook is read, which only the main thread may do.
    if (detail::yieldsHeld) return;
    // Copied first: the hook may install another one while it runs.
    const YieldFunction fn = detail::yieldFn;
    if (fn) fn(detail::yieldContext);
}

/// Makes every yield on this thread a no-op for the guard's lifetime: the work it does then runs
/// through without handing control to anyone, on a worker or on the main thread.
class HoldYields {
public:
    HoldYields() : previous_(detail::yieldsHeld) { detail::yieldsHeld = true; }
    ~HoldYields() { detail::yieldsHeld = previous_; }
    HoldYields(const HoldYields&) = delete;
    HoldYields& operator=(const HoldYields&) = delete;

private:
    bool previous_;
};

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
