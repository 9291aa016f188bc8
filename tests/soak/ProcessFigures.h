#pragma once

#include <string>

// What the process holds at one moment, read from /proc/self: the figures a long run must not let
// grow. Any thread may sample.
struct ProcessFigures {
    int threads = 0;  // entries of /proc/self/task
    int fds = 0;      // entries of /proc/self/fd, the one used to list them left out
    long rssKiB = 0;  // VmRSS of /proc/self/status

    static ProcessFigures Sample();
};
