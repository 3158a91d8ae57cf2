#include "Pause.h"

#include <QThread>

namespace {
PauseFn& Current() {
    static PauseFn pause;
    return pause;
}
} // namespace

void Pause(int ms) {
    if (Current())
        Current()(ms);
    else
        QThread::msleep(static_cast<unsigned long>(ms));
}

PauseFn SetPause(PauseFn pause) {
    PauseFn old = std::move(Current());
    Current() = std::move(pause);
    return old;
}
