// The table file: exact bytes of small nets, read back by the support
// library's readers and by the tests' own reader.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "alloc.h"
#include "fileaux.h"
#include "inst.h"
#include "mark.h"
#include "tulc_test_util.h"

using tulctest::DatFile;
using tulctest::Hex;
using tulctest::ReadDat;
using tulctest::Workspace;

namespace {

const char kSmallNet[] = R"(#place p mk(<.1.> + 2<.3.>)
#place q
#trans t
in{p:<.x.>;}
out{q:<.x.>;}
#endtr
)";

}  // namespace

TEST(TulcTables, SmallNetByteForByte) {
    Workspace w;
    w.Write("x.net", kSmallNet);
    auto r = w.TulcBinary("x");
    EXPECT_EQ(r.code, 0);
    const std::string dat = w.Read("x.dat");
    EXPECT_EQ(Hex(dat),
              "34 00 00 00 FF FF FF FF 01 00 00 00 "      // head: names at 52, no tester, 1 class
              "03 00 00 00 03 02 02 "                     // two places of arity 1
              "02 00 00 00 02 02 "                        // one transition with one variable
              "01 00 00 00 01 "                           // no fd variables
              "00 00 00 00 "                              // no let set
              "02 00 00 00 01 02 04 00 00 00 01 04 82 01 "  // p: <.1.>, 2<.3.>
              "FF FF FF FF "
              "01 00 00 00 74 01 00 00 00 78 00 00 00 00 01 00 00 00 70 01 00 00 00 71");
    EXPECT_EQ(dat.size(), 76u);
}

// The support library's readers load the file tulc wrote.
TEST(TulcTables, SupportReadersLoadIt) {
    Workspace w;
    w.Compile(kSmallNet);
    BINARYFILE f = OpenRead(w.Path("x.dat").c_str(), 1);
    ASSERT_GE(f, 0);
    std::uint32_t word0 = 0;
    ReadBytes(&word0, 4, f);
    EXPECT_EQ(word0, 52u);
    InsReadTables(f, 1);
    EXPECT_EQ(_magNofPlaces, 2u);
    EXPECT_EQ(_ingNofTrans, 1u);
    EXPECT_EQ(_ingNofVars[0], 1u);
    EXPECT_EQ(_monPlInd, 0xFFFFFFFFu);
    STATE* s = InsReadMarking(f);
    unsigned char* buffer = nullptr;
    unsigned size = 0;
    int len = StaEncode(s, &buffer, &size);
    // p: <.1.>, 2<.3.> (count 2: marker 130 and count-2 = 0); q empty.
    EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(buffer), static_cast<std::size_t>(len))),
              "02 04 82 01 81 81");
    Deallocate(buffer);
    StaDiscard(s);
    GetPlaNames(f);  // reads past the transition names to the place names
    OwnClose(f);
    DelPlaNames();
}

TEST(TulcTables, MarkingRecordsAndNumbers) {
    Workspace w;
    // 201 places so that the last has index 200; its marking shows the
    // count and field encodings.
    std::string net;
    for (int i = 0; i < 200; ++i) net += "#place a" + std::to_string(i) + "\n";
    net += "#place z mk(<.0-1.> + 3<.16.> + <.1,2.>)\n";
    auto r = w.Compile(net);
    EXPECT_EQ(r.code, 0) << r.err;
    DatFile d = ReadDat(w.Read("x.dat"));
    ASSERT_TRUE(d.ok);  // the reader also checks that word 0 points at the names
    ASSERT_EQ(d.marking.size(), 3u);
    const std::string dat = w.Read("x.dat");
    // z (index 200, arity 1): <.16.>x3 is 132 73 2 | 132 17 3 | 130 and the
    // count minus 2 as a number.
    EXPECT_NE(Hex(dat).find("08 00 00 00 84 49 02 84 11 03 82 02"), std::string::npos);
    // <.-1.>: the field is the single byte 17.
    EXPECT_NE(Hex(dat).find("04 00 00 00 84 49 02 11"), std::string::npos);
    // <.1,2.> has another arity: 131 and the arity.
    EXPECT_NE(Hex(dat).find("07 00 00 00 84 49 02 83 03 02 03"), std::string::npos);
    EXPECT_EQ(d.placeNames.back(), "z");
    EXPECT_EQ(d.marking[0].tuple, (std::vector<std::uint32_t>{16}));
    EXPECT_EQ(d.marking[0].count, 3u);
    EXPECT_EQ(d.marking[1].tuple, (std::vector<std::uint32_t>{0xFFFFFFFFu}));
}
