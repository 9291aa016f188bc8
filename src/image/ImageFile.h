#pragma once

#include <cstdint>
#include <string>

#include "image/HexConverter.h"

// Moving images between files and the controller's buffers: loading the image file into
// Buffer 1 (raw bytes or Intel HEX) and saving read-back data to a raw file, with the status-log
// texts that report them. The buffers belong to the caller (the controller); every function here
// runs on the owner's thread, opens and closes its file within the call, and keeps no state
// apart from g_nLoadedLength.
namespace image {

enum class LoadStatus { Loaded, NoFileChosen, OpenFailed, ConvertFailed };

// How a load ended. length is the value this call stored in g_nLoadedLength (the byte count the
// log reports), 0 when the file was not read. failedLine is the HEX text's line that a failed
// conversion blames, 0 otherwise; hexError says why the conversion failed (the caller shows its
// message box). span is how much of buffer1, from its start, this call set: kChipSpaceSize for a
// HEX text (the converter prepares only the chip's 64 KiB), kImageBufferSize for a raw file (its
// bytes, then 0xFF), 0 when buffer1 was not touched.
struct LoadResult {
    LoadStatus status;
    int length;
    int failedLine;
    int span = 0;
    HexError hexError = HexError::None;
};

// Reads the file into buffer1 (kImageBufferSize bytes). upperExt "HEX", or a text that is Intel
// HEX by its content whatever its name, is converted with ConvertHexToImage (a bad text is
// ConvertFailed with the converter's reason) and g_nLoadedLength becomes the text's length.
// Anything else is raw: buffer1 is filled with 0xFF and the first min(file size, kImageBufferSize)
// bytes are placed at its start. A pipe, FIFO or socket (standard input too) is read to its end
// when allowStreams is set (the command line; the window never waits on a stream) and may carry one
// chip image, 64 KiB, or its HEX text. An empty path is NoFileChosen. A file that cannot be opened
// or read in full, a device, folder or other special file, or a stream that is too long, is
// OpenFailed, with the reason sent to platform::ReportFailureReason and buffer1 and g_nLoadedLength
// untouched; a HEX text that does not convert is ConvertFailed.
LoadResult LoadImage(const std::string& path, const std::string& upperExt, std::uint8_t* buffer1,
                     bool allowStreams = false);

// The log line of a successful load: 读入文件 <path> 到缓冲1(<length>字节).
std::string LoadedLine(const std::string& path, int length);

// The log line of a failed load; empty for Loaded.
const char* LoadFailureText(LoadStatus status);

enum class SaveStatus { Saved, WriteFailed };

// How a save ended; count is the number of bytes written to the file.
struct SaveResult {
    SaveStatus status;
    int count;
};

// The form a saved file takes: chosen by its name, or Intel HEX or raw bytes whatever the name.
enum class SaveFormat { ByName, Hex, Raw };

// Writes the first length bytes of data to the file: as Intel HEX when the format says so or,
// by name, when the name ends in .hex or .ihx (any case), else raw. The file is replaced the way
// platform/FileUtil replaces files, so a failure never leaves a half-written file where the old one
// was. WriteFailed, with the reason sent to platform::ReportFailureReason, when any step fails;
// count is then 0.
SaveResult SaveImage(const std::string& path, const std::uint8_t* data, int length,
                     SaveFormat format = SaveFormat::ByName);

// The log line of a successful save: 缓冲2保存到文件 <path>(<count>字节).
std::string SavedLine(const std::string& path, int count);

// The log line of a save whose data did not all reach the file.
std::string SaveFailedLine(const std::string& path);

// The file name's extension (the text after its last '.') in upper case, empty when the name has
// none. Dots in folder names do not count. Only ASCII letters change case.
std::string UpperExtension(const std::string& path);

}  // namespace image
