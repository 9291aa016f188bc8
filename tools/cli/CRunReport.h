#pragma once

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// What one olstrin-cli run did, for --json and -v: every programmer event, log line and progress
// step as one JSON object per line, how long each step took, and a closing summary. Main thread
// only.
class CRunReport {
public:
    // The chip and image a summary names; empty fields are printed as null.
    struct Summary {
        std::string command;
        bool ok = false;
        int exitStatus = 0;
        std::string chipName;
        std::string chipSignature;  // "1E 52 06"
        std::string imagePath;
        int imageFileBytes = 0;   // the length the load reported
        int imageDataBytes = 0;   // one past the last byte other than 0xFF written
        std::string imageSha256;  // of those data bytes
    };

    // json receives the JSON lines (null: none); verbose receives the -v lines (null: none).
    CRunReport(std::FILE* json, std::FILE* verbose);

    bool Json() const { return m_json != nullptr; }

    // A programmer event, before the session handles it; ends a step when the event does.
    void Event(int code);
    void Log(const std::string& text);
    void VerifyLine(const std::string& text);
    void Progress(int percent, const std::string& text);
    // A -v line on the verbose stream.
    void Note(const std::string& text);
    void Finish(const Summary& summary);

private:
    struct Step {
        std::string name;
        double seconds;
    };
    void Emit(const std::string& object);
    double SecondsSince(std::chrono::steady_clock::time_point start) const;

    std::FILE* m_json;
    std::FILE* m_verbose;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_stepStart;
    std::vector<Step> m_steps;
    std::optional<int> m_differences;  // set once a verify listing began
};
