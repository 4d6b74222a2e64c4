// Unsigned fields of 1 to 4 bytes in either byte order: read from a file's or a report's bytes,
// and appended to bytes being written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int BitsPerByte = 8;
constexpr unsigned ByteMask = 0xFF;

inline std::uint32_t LittleEndianAt(const unsigned char* bytes, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << BitsPerByte | bytes[i];
    return value;
}

inline std::uint32_t BigEndianAt(const unsigned char* bytes, int size)
{
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i) value = value << BitsPerByte | bytes[i];
    return value;
}

inline std::uint32_t LittleEndianAt(const std::string& bytes, std::size_t at, int size)
{
    return LittleEndianAt(reinterpret_cast<const unsigned char*>(bytes.data()) + at, size);
}

inline std::uint32_t BigEndianAt(const std::string& bytes, std::size_t at, int size)
{
    return BigEndianAt(reinterpret_cast<const unsigned char*>(bytes.data()) + at, size);
}

inline void StoreLittleEndian(std::uint32_t value, unsigned char* bytes, int size)
{
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(value >> (BitsPerByte * i) & ByteMask);
}

inline void AppendLittleEndian(std::string& out, std::uint32_t value, int size)
{
    for (int i = 0; i < size; ++i) out += static_cast<char>(value >> (BitsPerByte * i) & ByteMask);
}

inline void AppendBigEndian(std::string& out, std::uint32_t value, int size)
{
    for (int i = size - 1; i >= 0; --i) out += static_cast<char>(value >> (BitsPerByte * i) & ByteMask);
}
