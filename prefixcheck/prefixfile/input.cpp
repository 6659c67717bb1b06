#include "input.h"

#include <sys/stat.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <string>

#include "prefixfile.h"

namespace prefixfile {

std::FILE* open_for_reading(const std::string& path, bool binary) {
    std::FILE* f = std::fopen(path.c_str(), binary ? "rb" : "r");
    if (!f) return nullptr;
    struct stat st;
    if (::fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(f);
        errno = EISDIR;
        return nullptr;
    }
    return f;
}

namespace detail {

namespace {
// Reads go through a buffer of this size, or of the file's size when that is
// smaller.
constexpr std::size_t kChunk = 1 << 20;
constexpr std::size_t kSmallest = 4096;
}

ByteInput::ByteInput(std::string_view bytes)
    : pos_(reinterpret_cast<const unsigned char*>(bytes.data())),
      end_(reinterpret_cast<const unsigned char*>(bytes.data()) + bytes.size()),
      size_known_(true) {}

ByteInput::ByteInput(std::FILE* file) : file_(file) {
    struct stat st;
    // A regular file states its size; an empty one may still deliver bytes
    // (files of /proc), so it counts as one of unknown size.
    if (::fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        const long at = std::ftell(file);
        const auto size = static_cast<std::uint64_t>(st.st_size);
        const auto start = at > 0 ? static_cast<std::uint64_t>(at) : 0;
        if (start <= size) {
            size_known_ = true;
            size_ = size - start;
        }
    }
}

bool ByteInput::take_string(std::string& out) {
    for (;;) {
        const void* nul = std::memchr(pos_, 0, static_cast<std::size_t>(end_ - pos_));
        if (nul) {
            const auto* at = static_cast<const unsigned char*>(nul);
            out.append(reinterpret_cast<const char*>(pos_), static_cast<std::size_t>(at - pos_));
            pos_ = at + 1;
            return true;
        }
        out.append(reinterpret_cast<const char*>(pos_), static_cast<std::size_t>(end_ - pos_));
        pos_ = end_;
        if (!fill(1)) return false;
    }
}

bool ByteInput::fill(std::size_t need) {
    if (!file_ || failed_) return false;
    const std::size_t left = static_cast<std::size_t>(end_ - pos_);
    if (!buffer_) {
        capacity_ = kChunk;
        if (size_known_ && size_ < kChunk) capacity_ = std::max<std::size_t>(static_cast<std::size_t>(size_) + 8, kSmallest);
        buffer_.reset(new unsigned char[capacity_]);
    }
    if (left > 0 && pos_ != buffer_.get()) std::memmove(buffer_.get(), pos_, left);
    std::size_t have = left;
    while (have < need) {
        const std::size_t n = std::fread(buffer_.get() + have, 1, capacity_ - have, file_);
        if (n == 0) {
            if (std::ferror(file_)) failed_ = true;
            break;
        }
        have += n;
        delivered_ += n;
    }
    pos_ = buffer_.get();
    end_ = pos_ + have;
    return have >= need;
}

}  // namespace detail
}  // namespace prefixfile
