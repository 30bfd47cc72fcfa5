// A file's size and 64-bit FNV-1a checksum, to tell whether two runs read the same file.
#pragma once

#include <cstdint>
#include <string>

struct FileSum {
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
    bool operator==(const FileSum& o) const { return size == o.size && hash == o.hash; }
};

// False when the file cannot be read.
bool SumFile(const std::string& path, FileSum& sum);
