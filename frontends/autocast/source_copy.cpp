#include "source_copy.h"

#include <cstdlib>
#include <unistd.h>
#include <vector>

#include "failure.h"

namespace autocast {

void SourceCopy::create() {
    remove();
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/autocastXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0)
        throw Failure(EXIT_FAILURE_STATUS, format("could not open temporary file %s\n", pattern.c_str()));
    path_ = name.data();
    file_ = fdopen(fd, "w");
    if (!file_) {
        ::close(fd);
        throw Failure(EXIT_FAILURE_STATUS, format("could not open temporary file %s\n", path_.c_str()));
    }
    failed_ = false;
}

void SourceCopy::append(const char* data, std::size_t n) {
    if (file_ && n && std::fwrite(data, 1, n, file_) != n) failed_ = true;
}

void SourceCopy::close() {
    if (!file_) return;
    failed_ = std::fclose(file_) != 0 || failed_;
    file_ = nullptr;
    if (failed_) throw Failure(EXIT_FAILURE_STATUS, format("could not write temporary file %s\n", path_.c_str()));
}

void SourceCopy::remove() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!path_.empty()) unlink(path_.c_str());
    path_.clear();
}

SourceCopy& source_copy() {
    // Static, so that its destructor removes the file also when the
    // library ends the program with exit().
    static SourceCopy copy;
    return copy;
}

}  // namespace autocast
