#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>

// Runs call on its own thread and returns its result. A call still blocked after the time limit
// (an open or a read waiting on a FIFO) cannot be unblocked, so it ends the whole test program
// with a failure instead of hanging it.
template <class Call>
auto WithinTimeLimit(Call call) {
    auto result = std::async(std::launch::async, call);
    if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        std::fprintf(stderr, "a call blocked for 5 s\n");
        std::_Exit(1);
    }
    return result.get();
}
