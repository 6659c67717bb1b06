// Writers of the prefix: ".mci" (binary), ".unf" (text), the co-relation
// matrices ".bin_coco" and ".asc_coco", and the print of the hash table of cuts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "unfold.h"

namespace trelmik {

// The name with the extension appended unless it already ends in it.
std::string complete_name(const std::string& name, const std::string& ext);

// A file opened for writing, staged beside its name until the program
// commits its outputs (outfile::commit).  Open failure: "error: cannot open
// file '%s'.\n" and ExitRequest{5}; a failed write or close: "error: cannot
// write file '%s'.\n" and ExitRequest{5}.
class OutFile {
public:
    explicit OutFile(const std::string& path, bool binary = false);
    ~OutFile();
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;
    std::FILE* get() { return f_; }
    void write(const void* data, std::size_t n);
    void puts(const std::string& s) { write(s.data(), s.size()); }
    void printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void close();   // checks the stream and closes it
private:
    std::string path_;
    std::FILE* f_ = nullptr;
    [[noreturn]] void fail();
};

// Text for an OutFile gathered in a buffer and written a block at a time:
// the numbers and padded fields of the table writers, formatted as printf's
// "%u", "%*u" and "%-*s" would, without a format string per record.
class TextOut {
public:
    explicit TextOut(OutFile& f) : f_(f) { buf_.reserve(kBlock + 256); }
    ~TextOut() = default;   // flush() writes what is left; an unflushed rest is dropped
    TextOut(const TextOut&) = delete;
    TextOut& operator=(const TextOut&) = delete;
    TextOut& put(char c) {
        buf_.push_back(c);
        return spill();
    }
    TextOut& put(const char* s, std::size_t n) {
        buf_.append(s, n);
        return spill();
    }
    TextOut& put(std::string_view s) { return put(s.data(), s.size()); }
    TextOut& put(const char* s) { return put(s, std::strlen(s)); }
    // The number right-aligned in `width` characters (wider numbers take
    // their room).
    TextOut& number(std::uint64_t v, int width = 0);
    // `prefix` and the number ("E12"), left-aligned in `width` characters.
    TextOut& name(char prefix, std::uint64_t v, int width = 0);
    // The text left-aligned in `width` characters.
    TextOut& left(std::string_view s, int width);
    // Writes the buffer to the file.
    void flush();

private:
    static constexpr std::size_t kBlock = 1 << 16;
    TextOut& spill() {
        if (buf_.size() >= kBlock) flush();
        return *this;
    }
    TextOut& pad(std::size_t used, int width) {
        if (width > 0 && used < static_cast<std::size_t>(width))
            buf_.append(static_cast<std::size_t>(width) - used, ' ');
        return *this;
    }
    OutFile& f_;
    std::string buf_;
};

// Number of decimal digits of v.
int decimal_digits(std::uint64_t v);

// Maximal configurations as the writers list them (ascending event numbers);
// `computed` is false when they were not computed (".mci" writes only the
// final 0 then).
struct Configurations {
    bool computed = false;
    std::vector<std::vector<std::uint32_t>> sets;
};

void write_mci(const std::string& name, const InputNet& net, const Prefix& pf,
               const Configurations& configs);

// uc: option -uc was given; marks: bit k set when the k-th cut-off is marked
// (may be empty).
void write_unf(const std::string& name, const std::string& net_file, const InputNet& net,
               const Prefix& pf, const Configurations& configs, bool uc,
               const std::vector<std::uint8_t>& marks);

// Asks "Do you really want to write it? [y|n] " until the answer is y or n;
// the end of input answers n (with a note on the error stream).
bool ask_to_write(std::FILE* in, std::FILE* out);

void write_bin_coco(const std::string& name, const Prefix& pf, std::FILE* in, std::FILE* out);
void write_asc_coco(const Prefix& pf, std::FILE* in, std::FILE* out);

// "Hash table:\n" and the buckets with their cuts; with `events` (one list
// per entry of pf.cuts) each cut that events reached is followed by them.
// by_component: the component loop's table (cuts as one place per component
// in component order, hashed by position weights C, C - 1, ..., 1).
void print_hash_table(std::FILE* out, const InputNet& net, const Prefix& pf,
                      const std::vector<std::vector<std::uint32_t>>* events = nullptr, bool by_component = false);

}  // namespace trelmik
