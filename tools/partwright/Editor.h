#pragma once

// Runs the chip database editor window until it is closed, on the list at path, or on the list
// the programs would load when path is null; returns the process exit code. Call once, from
// main, with main's arguments.
int RunEditor(int argc, char** argv, const char* path);
