#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The SHA-256 digest of the bytes as 64 lower-case hex digits (FIPS 180-4), so a production log
// can tie a programmed chip to the exact image it received.
std::string Sha256Hex(const std::uint8_t* data, std::size_t size);
