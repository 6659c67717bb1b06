// Bytes of a file or of a memory block, read front to back through one
// buffer.  The size of the input is known for memory blocks and for regular
// files, so that a reader can refuse counts the input cannot hold before it
// allocates for them; devices and pipes are read as they come.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <memory>

namespace prefixfile::detail {

class ByteInput {
public:
    explicit ByteInput(std::string_view bytes);
    explicit ByteInput(std::FILE* file);
    ByteInput(const ByteInput&) = delete;
    ByteInput& operator=(const ByteInput&) = delete;

    // A little-endian 32-bit value; false at the end of the input.
    bool u32(std::uint32_t& v) {
        if (end_ - pos_ < 4 && !fill(4)) return false;
        v = static_cast<std::uint32_t>(pos_[0]) | static_cast<std::uint32_t>(pos_[1]) << 8 |
            static_cast<std::uint32_t>(pos_[2]) << 16 | static_cast<std::uint32_t>(pos_[3]) << 24;
        pos_ += 4;
        return true;
    }
    // The next byte, or EOF at the end of the input.
    int get() {
        if (pos_ == end_ && !fill(1)) return EOF;
        return *pos_++;
    }
    // Appends the bytes up to the next NUL to `out` and consumes the NUL;
    // false when the input ends first.
    bool take_string(std::string& out);
    // Whether `n` more bytes can be there: always true when the size is
    // unknown.
    bool may_hold(std::uint64_t n) const { return !size_known_ || n <= remaining(); }
    bool size_known() const { return size_known_; }
    // Bytes not yet read (meaningful when the size is known).
    std::uint64_t remaining() const {
        return static_cast<std::uint64_t>(end_ - pos_) + (size_ > delivered_ ? size_ - delivered_ : 0);
    }
    // Whether an input error (not the end of the input) stopped the reading.
    bool failed() const { return failed_; }

private:
    bool fill(std::size_t need);

    std::FILE* file_ = nullptr;
    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t capacity_ = 0;
    const unsigned char* pos_ = nullptr;
    const unsigned char* end_ = nullptr;
    bool size_known_ = false;
    std::uint64_t size_ = 0;        // bytes of the file from where reading began
    std::uint64_t delivered_ = 0;   // bytes the file has delivered into the buffer
    bool failed_ = false;
};

}  // namespace prefixfile::detail
