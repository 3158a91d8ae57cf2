#pragma once
// The pauses of the device exchanges (between a command and its reply, between probe reads).
// They block the GUI thread, as the exchanges require. Tests that do not care about timing
// replace them through this one seam.
#include <functional>

void Pause(int ms);

using PauseFn = std::function<void(int ms)>;
// Replaces how pauses are taken; returns the previous way (empty: sleep for real).
PauseFn SetPause(PauseFn pause);
