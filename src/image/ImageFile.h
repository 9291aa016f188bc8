#pragma once

#include <cstdint>
#include <string>

// Moving images between files and the controller's buffers: loading the image file into
// Buffer 1 (raw bytes or Intel HEX) and saving read-back data to a raw file, with the status-log
// texts that report them. The buffers belong to the caller (the controller); every function here
// runs on the owner's thread, opens and closes its file within the call, and keeps no state
// apart from g_nLoadedLength.
namespace image {

enum class LoadStatus { Loaded, NoFileChosen, OpenFailed, ConvertFailed };

// How a load ended. length is the value this call stored in g_nLoadedLength (the byte count the
// log reports), 0 when the file was not opened.
struct LoadResult {
    LoadStatus status;
    int length;
};

// Reads the file into buffer1 (kImageBufferSize bytes). upperExt "HEX" means Intel HEX: the
// whole text is converted with ConvertHexToImage (whose message boxes report a bad text) and
// g_nLoadedLength becomes the text's length. Anything else is raw: buffer1 is filled with 0xFF
// and the first min(file size, kImageBufferSize) bytes are read to its start. An empty path is
// NoFileChosen; a file that cannot be opened or read in full, or a text that cannot be held in
// memory, is OpenFailed; a HEX text that does not convert is ConvertFailed.
LoadResult LoadImage(const std::string& path, const std::string& upperExt, std::uint8_t* buffer1);

// The log line of a successful load: 读入文件 <path> 到缓冲1(<length>字节).
std::string LoadedLine(const std::string& path, int length);

// The log line of a failed load; empty for Loaded.
const char* LoadFailureText(LoadStatus status);

enum class SaveStatus { Saved, CreateFailed, WriteFailed };

// How a save ended; count is the number of bytes written to the file.
struct SaveResult {
    SaveStatus status;
    int count;
};

// Writes the first length bytes of data to the file, creating it or emptying an existing one.
// CreateFailed when it cannot be opened for writing (nothing written); WriteFailed when a write
// or the final close fails, so a full disk is never taken for a saved file.
SaveResult SaveImage(const std::string& path, const std::uint8_t* data, int length);

// The log line of a successful save: 缓冲2保存到文件 <path>(<count>字节).
std::string SavedLine(const std::string& path, int count);

// The log line of a save whose data did not all reach the file.
std::string SaveFailedLine(const std::string& path);

// The file name's extension (the text after its last '.') in upper case, empty when the name has
// none. Dots in folder names do not count. Only ASCII letters change case.
std::string UpperExtension(const std::string& path);

}  // namespace image
