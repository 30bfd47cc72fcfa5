// COutputFile: appending writes with every step checked.
#include "base/OutputFile.h"

#include <cstdarg>
#include <utility>

COutputFile::COutputFile(std::string name) : name_(std::move(name))
{
    file_ = std::fopen(name_.c_str(), "a+");
    ok_ = file_ != nullptr;
}

COutputFile::~COutputFile()
{
    if (file_) std::fclose(file_);
}

void COutputFile::Write(std::string_view text)
{
    if (!file_ || text.empty()) return;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) ok_ = false;
}

void COutputFile::Print(const char* format, ...)
{
    if (!file_) return;
    std::va_list args;
    va_start(args, format);
    if (std::vfprintf(file_, format, args) < 0) ok_ = false;
    va_end(args);
}

bool COutputFile::Close()
{
    if (file_) {
        // A full disk often shows only when the buffer is flushed, at the close.
        if (std::ferror(file_) != 0) ok_ = false;
        if (std::fclose(file_) != 0) ok_ = false;
        file_ = nullptr;
    }
    return ok_;
}

bool COutputFile::Close(std::string& firstFailure)
{
    const bool ok = Close();
    if (!ok && firstFailure.empty()) firstFailure = name_;
    return ok;
}

bool AppendToFile(const std::string& name, std::string_view text, std::string& firstFailure)
{
    COutputFile f(name);
    f.Write(text);
    return f.Close(firstFailure);
}
