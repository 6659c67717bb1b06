// Appending numbers in the analyser's number code (encode.h of the support
// library) to a byte string.
#pragma once

#include <cstdint>
#include <string>

#include "encode.h"

namespace tulc {

inline void AppendNumber(std::string& out, std::uint32_t v) {
    unsigned char buf[8];
    unsigned char* end = NumPut(v, buf);
    out.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(end - buf));
}

inline void AppendSigned(std::string& out, std::uint32_t value) { AppendNumber(out, SgnCode(value)); }

}  // namespace tulc
