#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Translate.h"

// Intel HEX (16-bit addresses) to a flat memory image. The converter only reports what went
// wrong; showing it is the caller's business, so this layer has no user-interface call.
namespace image {

// The texts of the conversion's message boxes (the ids: the caller shows their translation).
inline constexpr const char* kHexNoEndRecordText =
    N_("*.Hex文件转换失败(未找到\":00000001\"记录)!");
inline constexpr const char* kHexBadCharacterText = N_("*.Hex文件转换失败(错误的字符)!");
inline constexpr const char* kHexBadRecordText = N_("*.Hex文件转换失败(错误的记录)!");
inline constexpr const char* kHexOver64kText = N_("*.Hex文件转换失败(不支持大于64k)!");

// Addresses a HEX text can name (16 bit), and the room the destination of ConvertHexToImage must
// have: a record starting at 0xFFFF may carry 255 bytes past the last address, which are written
// on, not wrapped.
inline constexpr int kHexAddressSpace = 0x10000;
inline constexpr int kHexImageMinSize = kHexAddressSpace + 255;

// Decodes two hex digit characters ('0'..'9', 'a'..'f', 'A'..'F'), high nibble first. False,
// with value unchanged, when either is not a hex digit. Any thread.
bool ParseHexByte(char high, char low, std::uint8_t& value);

// Data bytes per record in the HEX text that ImageToHexText writes.
inline constexpr int kHexRecordBytes = 16;

// Why a HEX text was refused. DigitsBeforeRecord has no message box: hex digits before the
// first ':' fail silently.
enum class HexError { None, NoEndRecord, BadCharacter, BadRecord, Over64k, DigitsBeforeRecord };

// The outcome of one conversion: the data bytes placed (-1 on failure), why it failed and the
// 1-based text line to blame (0 on success and when the end record is missing).
struct HexConversion {
    int total;
    HexError error;
    int line;
};

// Converts the NUL-terminated HEX text into image, which must hold kHexImageMinSize bytes and is
// owned by the caller. Only the text before the first ":00000001" counts. On success offsets
// 0..65535 are 0xFF except where data records placed bytes, and total is the sum of the records'
// data counts (overlaps count twice). Every record must hold exactly its count of data bytes
// followed by a checksum that makes all its bytes add up to 0 modulo 256. Besides data records,
// the records that leave the 16-bit addresses as they are pass: an extended segment (02) or
// linear (04) address of zero and a start address (03, 05); an extended address that is not zero
// would move data past 64 KiB and is refused. The image is untouched when the text does not
// parse, and filled with 0xFF plus the earlier records when a record is refused. Any thread; no
// shared state.
HexConversion ConvertHexToImage(const char* text, std::uint8_t* image);

// The message box text id of a failure (kHex...Text), nullptr for None and DigitsBeforeRecord.
const char* HexErrorText(HexError error);

// Whether the text is an Intel HEX file by its content, whatever its name: it holds an end
// record and every line that is not empty is a record (':' and an odd count of hex digits, at
// least a header and a checksum).
bool IsIntelHexText(std::string_view text);

// The first length bytes of data as Intel HEX text: 16-byte data records (CR LF line ends,
// upper-case digits), records whose bytes are all 0xFF left out, then the end record.
std::string ImageToHexText(const std::uint8_t* data, int length);

}  // namespace image
