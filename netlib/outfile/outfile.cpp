#include "outfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace outfile {

namespace {

// One staged output: the temporary file, the file it replaces, the name
// the caller gave, and the process that made it (a forked child that ends
// must not remove its parent's files).
struct Staged {
    std::string temp;
    std::string target;
    std::string given;
    pid_t owner;
};

std::vector<Staged>& staged() {
    static std::vector<Staged> list;
    return list;
}

void remove_own_staged() {
    const pid_t self = getpid();
    for (const Staged& s : staged())
        if (s.owner == self) unlink(s.temp.c_str());
    staged().clear();
}

void at_exit() { remove_own_staged(); }

// The list is made before the handler is registered, so that it is
// destroyed only after the handler has run.
void register_cleanup() {
    static bool registered = false;
    if (registered) return;
    staged();
    registered = std::atexit(at_exit) == 0;
}

// The file that writing to `path` reaches: the target of a symbolic link,
// else the name itself.
std::string written_file(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved)) return resolved;
    }
    return path;
}

mode_t new_file_mode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

bool copy_contents(const std::string& from, int to) {
    int in;
    do
        in = ::open(from.c_str(), O_RDONLY);
    while (in < 0 && errno == EINTR);
    if (in < 0) return false;
    char buffer[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(to, buffer + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) break;
    }
    const int saved = errno;
    close(in);
    errno = saved;
    return ok;
}

enum class How { Staged, Direct, Failed };

// Creates the staged file for `path`; `fd` receives its descriptor.  Direct:
// the caller opens `path` itself; Failed: errno tells why.
How stage(const std::string& path, bool append, int& fd) {
    const std::string target = written_file(path);
    struct stat st;
    const bool exists = stat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return How::Failed;
    }
    if (exists && !S_ISREG(st.st_mode)) return How::Direct;
    // A file that could not be opened for writing is not replaced either.
    if (exists && access(target.c_str(), W_OK) != 0) return How::Failed;

    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.empty()) {
        errno = EISDIR;
        return How::Failed;
    }
    // A hidden name beside the output, short enough for any file name limit.
    std::string name = dir + "." + base.substr(0, 200) + ".XXXXXX";
    do
        fd = mkstemp(name.data());
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        // A directory closed to new files still lets an existing, writable
        // file be rewritten in place.
        if (exists && (errno == EACCES || errno == EPERM || errno == EROFS) && access(target.c_str(), W_OK) == 0)
            return How::Direct;
        return How::Failed;
    }
    if (fchmod(fd, exists ? (st.st_mode & 07777) : new_file_mode()) != 0 ||
        (append && exists && !copy_contents(target, fd))) {
        const int saved = errno;
        close(fd);
        unlink(name.c_str());
        errno = saved;
        return How::Failed;
    }
    register_cleanup();
    staged().push_back({name, target, path, getpid()});
    return How::Staged;
}

void forget_last() {
    unlink(staged().back().temp.c_str());
    staged().pop_back();
}

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    if (std::filesystem::path(a).lexically_normal() == std::filesystem::path(b).lexically_normal()) return true;
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

const std::string* names_input(const std::string& output, const std::vector<std::string>& inputs) {
    for (const std::string& in : inputs)
        if (same_file(output, in)) return &in;
    return nullptr;
}

std::FILE* open(const std::string& path, const char* mode) {
    const bool append = mode[0] == 'a';
    int fd = -1;
    switch (stage(path, append, fd)) {
    case How::Failed: return nullptr;
    case How::Direct: return std::fopen(path.c_str(), mode);
    case How::Staged: break;
    }
    std::FILE* f = fdopen(fd, mode);
    if (!f) {
        const int saved = errno;
        close(fd);
        forget_last();
        errno = saved;
    }
    return f;
}

int open_fd(const std::string& path) {
    int fd = -1;
    switch (stage(path, false, fd)) {
    case How::Failed: return -1;
    case How::Direct:
        do
            fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0666);
        while (fd < 0 && errno == EINTR);
        return fd;
    case How::Staged: break;
    }
    return fd;
}

std::string staged_name(const std::string& path) {
    for (auto it = staged().rbegin(); it != staged().rend(); ++it)
        if (it->given == path) return it->temp;
    return path;
}

bool commit(std::string* failed) {
    std::vector<Staged> list;
    list.swap(staged());
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (rename(list[i].temp.c_str(), list[i].target.c_str()) == 0) continue;
        const int saved = errno;
        if (failed) *failed = list[i].given;
        for (std::size_t j = i; j < list.size(); ++j) unlink(list[j].temp.c_str());
        errno = saved;
        return false;
    }
    return true;
}

void discard() { remove_own_staged(); }

}  // namespace outfile
