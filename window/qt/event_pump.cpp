// SPDX-License-Identifier: MIT
#include "event_pump.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include "event_yield.h"

namespace tavirel {

void installEventPump() {
    static QElapsedTimer sinceEvents;
    static unsigned calls = 0;
    sinceEvents.start();
    setYieldHook(
        [](void*) {
            if (++calls % 16 != 0 || sinceEvents.elapsed() < 15) return;
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            sinceEvents.restart();
        },
        nullptr);
}

}  // namespace tavirel
