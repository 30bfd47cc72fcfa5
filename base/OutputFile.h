// COutputFile: the one way the program writes a file. It opens the file for appending (so
// repeated runs into one name accumulate), checks every write and the close, and remembers
// the first failure, so the caller can end the run with a message naming the file.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

class COutputFile {
public:
    explicit COutputFile(std::string name);
    ~COutputFile();  // closes a file still open; call Close() to learn whether that worked
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // Appends bytes as they are (text from outside is never used as a format).
    void Write(std::string_view text);
    // Appends formatted text.
    void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Closes the file; true when it opened and every write and the close went through.
    bool Close();
    // Close(); on failure records the file's name in firstFailure unless it already holds one.
    bool Close(std::string& firstFailure);

    const std::string& Name() const { return name_; }

private:
    std::string name_;
    std::FILE* file_ = nullptr;
    bool ok_ = false;  // opened, and no write has failed
};

// Appends text to a file in one open-write-close; false (and firstFailure set as by Close)
// when any step failed.
bool AppendToFile(const std::string& name, std::string_view text, std::string& firstFailure);
