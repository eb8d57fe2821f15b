#pragma once
// The block that copies of the program share to hand a command line to the
// running copy. Portable: the Win32 side maps it, this reads and writes it.
//
//   offset 0   4 bytes   window handle of the receiver's hidden window
//   offset 4   4 bytes   number of parameters, 0 to 10 (signed)
//   offset 8   10 x 301  zero-terminated ANSI parameters of at most 300 bytes
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kInstanceBlockSize = 3018;
constexpr size_t kInstanceSlotSize = 301;
constexpr size_t kInstanceMaxParams = 10;
constexpr size_t kInstanceMaxParamLength = 300;

// The functions do nothing (or return nothing) when size is short of
// kInstanceBlockSize.
void WriteReceiverHandle(void* block, size_t size, uint32_t handle);
uint32_t ReadReceiverHandle(const void* block, size_t size);
// Writes at most ten parameters, each cut to 300 bytes.
void WriteInstanceParams(void* block, size_t size, const std::vector<std::string>& params);
// Another process wrote the block: a count outside 0 to 10 and a slot
// without its terminator are kept within bounds.
std::vector<std::string> ReadInstanceParams(const void* block, size_t size);
