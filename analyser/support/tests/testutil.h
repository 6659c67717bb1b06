// Helpers of the support library's tests: running a piece of code in a child
// process with the library streams captured, and temporary directories.
#pragma once

#include <functional>
#include <string>

namespace supporttest {

struct ChildRun {
    bool exited = false;  // ended by exit (else by a signal)
    int code = -1;        // exit status when exited
    int signal = 0;       // terminating signal otherwise
    std::string out;      // what went to _out
    std::string err;      // what went to _err
};

// Forks; the child points _out and _err at files, runs body and ends with
// status 0 when body returns.  The parent waits and collects both texts.
ChildRun RunChild(const std::function<void()>& body);

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);

// The bytes as space-separated two-digit upper-case hexadecimal numbers.
std::string Hex(const unsigned char* bytes, std::size_t count);

}  // namespace supporttest
