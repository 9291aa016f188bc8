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
        // The run log's fields beyond the summary's.
        std::string time;  // UTC, "2026-12-07T17:40:00Z"
        std::string programmer;
        std::string port;
        int chipRow = -1;
        std::string signatureRead;       // what the chip answered, "1E 52 06"
        std::string serial;              // the number placed in the image, empty when none
        std::string project;             // the project file, empty when none
        std::string projectImageSha256;  // of its image file as read
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
    // Starts the steps, differences and time of the next chip of a repeated run afresh.
    void NextChip();
    // The run log's line for the run: the summary's fields with each step's result.
    std::string Record(const Summary& summary) const;

private:
    struct Step {
        std::string name;
        double seconds;
        bool ok;
    };
    std::string StepsJson(bool withResults) const;
    static std::string ChipJson(const Summary& s);
    static std::string ImageJson(const Summary& s);
    std::string DifferencesJson() const;
    void Emit(const std::string& object);
    double SecondsSince(std::chrono::steady_clock::time_point start) const;

    std::FILE* m_json;
    std::FILE* m_verbose;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_stepStart;
    std::vector<Step> m_steps;
    std::optional<int> m_differences;  // set once a verify listing began
};
