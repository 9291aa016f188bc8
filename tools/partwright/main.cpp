// partwright: edits, builds and lists the chip database ChipList.chip.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "ChipTable.h"
#include "Editor.h"
#include "platform/FailureReason.h"
#include "platform/FileUtil.h"
#include "platform/Version.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: partwright [ChipList.chip]            edit the list in a window\n"
                 "       partwright build CHIPS.tsv -o ChipList.chip\n"
                 "       partwright dump ChipList.chip\n"
                 "       partwright --version\n");
    return 2;
}

// Reports what failed on which file and why (errno as the failed call left it); exit status 1.
int Failed(const char* what, const std::string& path) {
    const int err = errno;
    platform::ReportFailureReason(
        platform::ErrnoReason("partwright: " + std::string(what) + " " + path, err));
    return 1;
}

int Build(const std::string& tsvPath, const std::string& outPath) {
    std::string text;
    if (!platform::ReadWholeFile(tsvPath, text)) return Failed("cannot read", tsvPath);
    std::vector<ChipInfo> chips;
    std::string error;
    if (!chiptable::ParseTsv(text, chips, error)) {
        std::fprintf(stderr, "partwright: %s: %s\n", tsvPath.c_str(), error.c_str());
        return 1;
    }
    const std::vector<std::uint8_t> bytes = chiplist::Serialize(chips);
    const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!platform::WriteFileSafely(outPath, view)) return Failed("cannot write", outPath);
    return 0;
}

int Dump(const std::string& path) {
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes)) return Failed("cannot read", path);
    const auto chips =
        chiplist::Parse(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    std::fputs(chiptable::FormatTable(chips).c_str(), stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("partwright %s\n", platform::VersionText());
        return 0;
    }
    if (argc == 5 && std::strcmp(argv[1], "build") == 0 && std::strcmp(argv[3], "-o") == 0)
        return Build(argv[2], argv[4]);
    if (argc == 3 && std::strcmp(argv[1], "dump") == 0) return Dump(argv[2]);
    if (argc == 1) return RunEditor(argc, argv, nullptr);
    if (argc == 2 && argv[1][0] != '-' && std::strcmp(argv[1], "build") != 0 &&
        std::strcmp(argv[1], "dump") != 0)
        return RunEditor(argc, argv, argv[1]);
    return Usage();
}
