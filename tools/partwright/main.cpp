// partwright: edits, builds and lists the chip database ChipList.chip.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ChipTable.h"
#include "Editor.h"
#include "platform/AppPaths.h"
#include "platform/FailureReason.h"
#include "platform/FileUtil.h"
#include "platform/Translate.h"
#include "platform/Version.h"

namespace {

int Usage() {
    std::fputs(platform::Tr(
                   "usage: partwright [--lang zh|en] [ChipList.chip]   edit the list in a window\n"
                   "       partwright [--lang zh|en] build CHIPS.tsv -o ChipList.chip\n"
                   "       partwright [--lang zh|en] dump ChipList.chip\n"
                   "       partwright --version\n"),
               stderr);
    return 2;
}

// Takes a leading "--lang zh|en" or "--lang=zh|en" off the arguments into language. False when
// its value is missing or not a language.
bool TakeLanguage(std::vector<char*>& args, std::string& language) {
    if (args.size() < 2) return true;
    const std::string first = args[1];
    std::size_t taken = 0;
    if (first.rfind("--lang=", 0) == 0) {
        language = first.substr(7);
        taken = 1;
    } else if (first == "--lang" && args.size() > 2) {
        language = args[2];
        taken = 2;
    } else if (first == "--lang") {
        return false;
    }
    args.erase(args.begin() + 1, args.begin() + 1 + static_cast<long>(taken));
    platform::Language parsed{};
    return taken == 0 || platform::ParseLanguage(language, parsed);
}

// Reports what failed (a text with %s for the path) on which file and why (errno as the failed
// call left it); exit status 1.
int Failed(const char* what, const std::string& path) {
    const int err = errno;
    platform::ReportFailureReason(
        platform::ErrnoReason(platform::Printf(platform::Tr(what), path.c_str()), err));
    return 1;
}

int Build(const std::string& tsvPath, const std::string& outPath) {
    std::string text;
    if (!platform::ReadWholeFile(tsvPath, text))
        return Failed(N_("partwright: cannot read %s"), tsvPath);
    std::vector<ChipInfo> chips;
    std::string error;
    if (!chiptable::ParseTsv(text, chips, error)) {
        std::fprintf(stderr, "partwright: %s: %s\n", tsvPath.c_str(), error.c_str());
        return 1;
    }
    const std::vector<std::uint8_t> bytes = chiplist::Serialize(chips);
    const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!platform::WriteFileSafely(outPath, view))
        return Failed(N_("partwright: cannot write %s"), outPath);
    return 0;
}

int Dump(const std::string& path) {
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes))
        return Failed(N_("partwright: cannot read %s"), path);
    const auto chips =
        chiplist::Parse(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    std::fputs(chiptable::FormatTable(chips).c_str(), stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    std::string language;
    if (!TakeLanguage(args, language)) return Usage();
    platform::InitAppPaths();
    platform::InitTranslation(platform::g_strAppDir, language);
    const auto count = args.size();
    if (count == 2 && std::strcmp(args[1], "--version") == 0) {
        std::printf("partwright %s\n", platform::VersionText());
        return 0;
    }
    if (count == 5 && std::strcmp(args[1], "build") == 0 && std::strcmp(args[3], "-o") == 0)
        return Build(args[2], args[4]);
    if (count == 3 && std::strcmp(args[1], "dump") == 0) return Dump(args[2]);
    int editorArgc = static_cast<int>(count);
    if (count == 1) return RunEditor(editorArgc, args.data(), nullptr, language);
    if (count == 2 && args[1][0] != '-' && std::strcmp(args[1], "build") != 0 &&
        std::strcmp(args[1], "dump") != 0)
        return RunEditor(editorArgc, args.data(), args[1], language);
    return Usage();
}
