#pragma once

#include <chrono>
#include <functional>

// Runs `work` on a worker thread while this (the window) thread serves Qt events,
// as the tool does: port notifications and window requests are handled here.
// Returns false if the work took longer than `limit`; it is always joined (a
// worker that never ends is caught by the test time-out).
bool RunOnWorker(const std::function<void()>& work,
                 std::chrono::milliseconds limit = std::chrono::seconds(120));
