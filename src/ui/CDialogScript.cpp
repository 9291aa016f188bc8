#include "ui/CDialogScript.h"

namespace {

std::optional<QString> g_nextFileName;
CDialogScript::MessageRecorder g_recorder;

}  // namespace

void CDialogScript::SetNextFileName(const QString& path) {
    g_nextFileName = path;
}

std::optional<QString> CDialogScript::TakeNextFileName() {
    std::optional<QString> name;
    name.swap(g_nextFileName);
    return name;
}

void CDialogScript::SetMessageRecorder(MessageRecorder recorder) {
    g_recorder = std::move(recorder);
}

const CDialogScript::MessageRecorder& CDialogScript::Recorder() {
    return g_recorder;
}
