// The number code and the signed mapping.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "encode.h"
#include "testutil.h"

using supporttest::Hex;

namespace {

std::string Code(uint32_t value) {
    unsigned char bytes[8];
    unsigned char* end = NumPut(value, bytes);
    return Hex(bytes, static_cast<size_t>(end - bytes));
}

}  // namespace

TEST(Encode, NumberCodeTable) {
    struct Case {
        uint32_t value;
        const char* code;
    };
    for (Case c : {Case{0, "01"}, Case{127, "80"}, Case{128, "84 01 02"}, Case{300, "84 2D 03"},
                   Case{16384, "85 01 01 02"}, Case{200, "84 49 02"}, Case{0xFFFFFFFF, "87 80 80 80 80 10"}})
        EXPECT_EQ(Code(c.value), c.code) << c.value;
}

TEST(Encode, SignedMapping) {
    struct Case {
        int32_t value;
        uint32_t code;
    };
    for (Case c : {Case{0, 0}, Case{15, 15}, Case{16, 272}, Case{-1, 16}, Case{-256, 271},
                   Case{-257, 4294967295u}, Case{INT32_MAX, 0x800000FFu}, Case{INT32_MIN, 0x80000100u}}) {
        EXPECT_EQ(SgnCode(static_cast<DOMAIN>(c.value)), c.code) << c.value;
        EXPECT_EQ(SgnValue(c.code), static_cast<DOMAIN>(c.value)) << c.value;
    }
}

TEST(Encode, RandomValuesRoundTrip) {
    std::mt19937 random(29);
    for (int i = 0; i < 200000; ++i) {
        // Values of every length, the boundaries of the groups included.
        uint32_t value = static_cast<uint32_t>(random());
        value >>= random() % 32;
        if (i % 7 == 0)
            value = (1u << (random() % 32)) - (random() % 2);
        unsigned char bytes[8] = {};
        unsigned char* end = NumPut(value, bytes);
        size_t length = static_cast<size_t>(end - bytes);
        ASSERT_EQ(length, NumLen(value));
        ASSERT_TRUE(bytes[0] <= 128 || (bytes[0] >= 132 && bytes[0] <= 135));
        for (size_t k = 0; k < length; ++k)
            ASSERT_NE(bytes[k], 0);
        const unsigned char* cursor = bytes;
        ASSERT_EQ(NumGet(&cursor), value);
        ASSERT_EQ(cursor, end);
        uint32_t scanned = 0;
        cursor = bytes;
        ASSERT_TRUE(NumScan(&cursor, end, &scanned));
        ASSERT_EQ(scanned, value);
        ASSERT_EQ(cursor, end);
        // A cut code is refused.
        cursor = bytes;
        ASSERT_EQ(NumScan(&cursor, end - 1, &scanned), 0);
        ASSERT_EQ(cursor, bytes);
        DOMAIN signedValue = static_cast<DOMAIN>(random());
        ASSERT_EQ(SgnValue(SgnCode(signedValue)), signedValue);
    }
}

TEST(Encode, MalformedCodesAreRefused) {
    std::vector<std::vector<unsigned char>> bad = {
        {},                                // nothing
        {0},                               // a NUL
        {129}, {130, 1, 2}, {131, 2},      // markers
        {136, 1, 1, 1, 1, 1, 1},           // too many groups
        {132, 1, 1},                       // leading zero group: not the code of 0
        {132, 129, 2},                     // a group byte above 128
        {132, 2, 0},                       // a NUL inside
        {135, 1, 1, 1, 1, 0x11},           // beyond 32 bits
    };
    for (const auto& bytes : bad) {
        const unsigned char* cursor = bytes.data();
        uint32_t value = 7;
        EXPECT_EQ(NumScan(&cursor, bytes.data() + bytes.size(), &value), 0) << Hex(bytes.data(), bytes.size());
        EXPECT_EQ(cursor, bytes.data());
        EXPECT_EQ(value, 7u);
    }
}
