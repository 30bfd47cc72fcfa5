// File checksums: FNV-1a over every byte.
#include "base/Checksum.h"

#include <cstdio>
#include <memory>

bool SumFile(const std::string& path, FileSum& sum)
{
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> f(std::fopen(path.c_str(), "rb"));
    if (!f) return false;
    sum = FileSum();
    sum.hash = 0xcbf29ce484222325ULL;
    unsigned char buf[1 << 16];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) {
        sum.size += n;
        for (size_t i = 0; i < n; ++i) sum.hash = (sum.hash ^ buf[i]) * 0x100000001b3ULL;
    }
    return std::ferror(f.get()) == 0;
}
