#pragma once
// Files the operator relies on (a configuration snapshot, an exported error log) are replaced
// whole or not at all: the bytes go to a temporary file beside the target, which is renamed over
// the target only once every byte is on disk. A full disk or an unwritable folder leaves the old
// file as it was, and no temporary file behind.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

// Writes all bytes to an open file and makes sure they reached it; false when any did not (the
// disk is full, the device failed). The default writes, flushes and syncs.
using FileWriteFn = std::function<bool(std::FILE* file, std::span<const uint8_t> bytes)>;
bool writeAllBytes(std::FILE* file, std::span<const uint8_t> bytes);

// Empty when the file now holds the bytes; otherwise why not, in words for the operator.
std::string replaceFile(const std::filesystem::path& path, std::span<const uint8_t> bytes,
                        const FileWriteFn& write = writeAllBytes);
