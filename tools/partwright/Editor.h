#pragma once

#include <string>

// Runs the chip database editor window until it is closed, on the list at path, or on the list
// the programs would load when path is null; returns the process exit code. Call once, from
// main, with main's arguments (argc must outlive the call), after platform::InitAppPaths;
// language is the --lang value, empty when none was given.
int RunEditor(int& argc, char** argv, const char* path, const std::string& language);
