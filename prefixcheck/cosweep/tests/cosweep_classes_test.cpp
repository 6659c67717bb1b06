// BitVektor and List: bit layout, fills, resizing, printing, and the checks
// that end the program on a bad argument.
#include <gtest/gtest.h>

#include "bitvektor.h"
#include "my_liste.h"

using cosweep::BitVekTyp;
using cosweep::BitVektor;
using cosweep::List;

TEST(BitVektor, OneFilledNineBitsTakeTwoFullBytes) {
    BitVektor v(9, BitVekTyp::Eins);
    ASSERT_EQ(v.anzahl_woerter(), 2);
    EXPECT_EQ(v.bytes()[0], 0xFF);
    EXPECT_EQ(v.bytes()[1], 0xFF);
    EXPECT_TRUE(v.bit_ON(8));
    v.bit_loeschen(8);
    EXPECT_TRUE(v.bit_OFF(8));
    EXPECT_EQ(v.bytes()[1], 0x7F);
}

TEST(BitVektor, MostSignificantBitFirst) {
    BitVektor v(16, BitVekTyp::Null);
    v.bit_setzen(0);
    v.bit_setzen(9);
    EXPECT_EQ(v.bytes()[0], 0x80);
    EXPECT_EQ(v.bytes()[1], 0x40);
    EXPECT_TRUE(v.bit_ON(9));
    EXPECT_FALSE(v.bit_ON(8));
    v.clear();
    EXPECT_EQ(v.bytes()[0], 0);
    EXPECT_EQ(v.bytes()[1], 0);
}

TEST(BitVektor, ResizeGivesZeroBytes) {
    BitVektor v(20, BitVekTyp::Eins);
    v.resize(3);
    EXPECT_EQ(v.anzahl_bits(), 3);
    ASSERT_EQ(v.anzahl_woerter(), 1);
    EXPECT_EQ(v.bytes()[0], 0);
    BitVektor empty;
    EXPECT_EQ(empty.anzahl_woerter(), 0);
    empty.resize(9);
    EXPECT_EQ(empty.anzahl_woerter(), 2);
}

TEST(BitVektor, PrintListsSetBits) {
    BitVektor v(8, BitVekTyp::Null);
    v.bit_setzen(0);
    v.bit_setzen(7);
    testing::internal::CaptureStdout();
    v.print();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Bitvektor: < 0, 7, >\n");
}

TEST(BitVektorDeathTest, BadPositionsEndTheProgram) {
    BitVektor v(9, BitVekTyp::Null);
    // bit_ON checks the position against the bit count, the setters only the byte.
    EXPECT_DEATH(v.bit_ON(9), "bitvektor.cpp:.*Assertion `\\(pos >= 0\\) && \\(pos < anzahl_bits\\)' failed");
    v.bit_setzen(15);
    EXPECT_DEATH(v.bit_setzen(16), "Assertion `\\(index >= 0\\) && \\(index < anzahl_woerter\\)' failed");
    EXPECT_DEATH(v.bit_loeschen(-1), "Assertion `pos >= 0' failed");
    EXPECT_DEATH(BitVektor(0, BitVekTyp::Null), "Assertion `anz_bits > 0' failed");
    BitVektor none;
    EXPECT_DEATH(none.print(), "Assertion `bit_vektor != 0' failed");
}

TEST(List, KeepsInsertionOrderAndRemovesFromTheEnd) {
    List<int> l;
    EXPECT_TRUE(l.is_empty());
    for (int v : {5, 3, 9}) l.append(v);
    EXPECT_EQ(l.count(), 3);
    EXPECT_EQ(l.element_at(0), 5);
    EXPECT_EQ(l.element_at(-4), 5);
    EXPECT_EQ(l.element_at(2), 9);
    l.remove_last();
    EXPECT_EQ(l.count(), 2);
    l.append(7);
    EXPECT_EQ(l.element_at(2), 7);
    testing::internal::CaptureStdout();
    l.print();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Liste:  5  3  7\n");
    l.remove_last();
    l.remove_last();
    l.remove_last();
    EXPECT_TRUE(l.is_empty());
    l.append(1);
    EXPECT_EQ(l.element_at(0), 1);
    l.clear();
    EXPECT_TRUE(l.is_empty());
    EXPECT_EQ(l.count(), 0);
}

TEST(List, LongListsAreFreedWithoutRecursion) {
    List<std::uint32_t> l;
    for (std::uint32_t i = 0; i < 1000000; ++i) l.append(i);
    EXPECT_EQ(l.count(), 1000000);
}
