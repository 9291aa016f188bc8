#include "CRunReport.h"

#include "TextEscape.h"
#include "core/ProgrammerEvents.h"
#include "image/VerifyListing.h"

namespace {

// The events' names, by code.
constexpr const char* kEventNames[] = {"PE_SERIAL_INIT_FAILED", "PE_PARALLEL_INIT_FAILED",
                                       "PE_SERIAL_INIT_DONE",   "PE_SERIAL_NOT_INITIALIZED",
                                       "PE_PARALLEL_INIT_DONE", "PE_READY",
                                       "PE_UNAVAILABLE",        "PE_RECEIVE_ERROR",
                                       "PE_SIGNATURE_READ",     "PE_ERASE_DONE",
                                       "PE_WRITE_STARTED",      "PE_WRITE_PROGRESS",
                                       "PE_WRITE_DONE",         "PE_WRITE_ERROR",
                                       "PE_READ_STARTED",       "PE_READ_PROGRESS",
                                       "PE_READ_DONE",          "PE_LOCK_DONE",
                                       "PE_INVALID_OPERATION",  "PE_DEVICE_DETECTED",
                                       "PE_DEVICE_NOT_DETECTED"};

// The step an event ends, or null for an event that ends none (progress, starts).
const char* StepEndedBy(int code) {
    switch (code) {
        case PE_READY:
            return "ready";
        case PE_SIGNATURE_READ:
        case PE_DEVICE_DETECTED:
        case PE_DEVICE_NOT_DETECTED:
            return "detect";
        case PE_ERASE_DONE:
            return "erase";
        case PE_WRITE_DONE:
        case PE_WRITE_ERROR:
            return "write";
        case PE_READ_DONE:
        case PE_READ_LOCKED:
            return "read";
        case PE_LOCK_DONE:
        case PE_LOCK_ERROR:
            return "lock";
        default:
            return nullptr;
    }
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

std::string OrNull(const std::string& text) {
    return text.empty() ? "null" : JsonString(text);
}

}  // namespace

CRunReport::CRunReport(std::FILE* json, std::FILE* verbose)
    : m_json(json),
      m_verbose(verbose),
      m_start(std::chrono::steady_clock::now()),
      m_stepStart(m_start) {}

double CRunReport::SecondsSince(std::chrono::steady_clock::time_point start) const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void CRunReport::Emit(const std::string& object) {
    if (!m_json) return;
    std::fputs(object.c_str(), m_json);
    std::fputc('\n', m_json);
    std::fflush(m_json);
}

void CRunReport::Event(int code) {
    const bool known = code >= 0 && code < static_cast<int>(std::size(kEventNames));
    Emit("{\"type\":\"event\",\"code\":" + std::to_string(code) +
         ",\"name\":" + (known ? JsonString(kEventNames[code]) : "null") + "}");
    const char* step = StepEndedBy(code);
    if (!step) return;
    const double seconds = SecondsSince(m_stepStart);
    m_steps.push_back({step, seconds});
    m_stepStart = std::chrono::steady_clock::now();
    Note(std::string(step) + ": " + Number(seconds) + " s");
}

void CRunReport::Log(const std::string& text) {
    if (text == image::kVerifyHeader) m_differences = 0;
    Emit("{\"type\":\"log\",\"text\":" + JsonString(text) + "}");
}

void CRunReport::VerifyLine(const std::string& text) {
    m_differences = m_differences.value_or(0) + 1;
    Emit("{\"type\":\"difference\",\"text\":" + JsonString(text) + "}");
}

void CRunReport::Progress(int percent, const std::string& text) {
    Emit("{\"type\":\"progress\",\"percent\":" + std::to_string(percent) +
         ",\"text\":" + JsonString(text) + "}");
}

void CRunReport::Note(const std::string& text) {
    if (m_verbose) std::fprintf(m_verbose, "olstrin-cli: %s\n", EscapeControls(text).c_str());
}

void CRunReport::Finish(const Summary& s) {
    Note("total: " + Number(SecondsSince(m_start)) + " s");
    if (!m_json) return;
    std::string steps;
    for (const Step& step : m_steps) {
        if (!steps.empty()) steps += ",";
        steps +=
            "{\"step\":" + JsonString(step.name) + ",\"seconds\":" + Number(step.seconds) + "}";
    }
    const std::string chip = s.chipName.empty()
                                 ? "null"
                                 : "{\"name\":" + JsonString(s.chipName) +
                                       ",\"signature\":" + OrNull(s.chipSignature) + "}";
    const std::string image = s.imagePath.empty()
                                  ? "null"
                                  : "{\"path\":" + JsonString(s.imagePath) +
                                        ",\"file_bytes\":" + std::to_string(s.imageFileBytes) +
                                        ",\"data_bytes\":" + std::to_string(s.imageDataBytes) +
                                        ",\"sha256\":" + OrNull(s.imageSha256) + "}";
    const std::string differences =
        m_differences ? std::to_string(*m_differences) : std::string("null");
    Emit("{\"type\":\"summary\",\"command\":" + JsonString(s.command) +
         ",\"result\":" + JsonString(s.ok ? "success" : "failed") +
         ",\"exit_status\":" + std::to_string(s.exitStatus) + ",\"chip\":" + chip +
         ",\"image\":" + image + ",\"differences\":" + differences + ",\"steps\":[" + steps +
         "],\"seconds\":" + Number(SecondsSince(m_start)) + "}");
}
