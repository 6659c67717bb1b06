// BitVektor: a fixed-size bit vector holding one row of the co-relation
// matrix.  Bit pos lies in byte pos / 8 at mask 0x80 >> (pos % 8), the most
// significant bit first, as the matrix file stores it.
#pragma once

#include <cstdint>
#include <memory>

namespace cosweep {

constexpr int WORTLAENGE = 8;   // bits per storage word (byte)

enum class BitVekTyp { Null, Eins };   // fill: all bits 0, all bits 1

class BitVektor {
public:
    BitVektor() = default;
    BitVektor(int anz_bits, BitVekTyp typ);

    void bit_setzen(int pos);
    void bit_loeschen(int pos);
    bool bit_ON(int pos) const;
    bool bit_OFF(int pos) const { return !bit_ON(pos); }
    void clear();
    void print() const;                 // "Bitvektor: < 0, 7, >\n"
    void resize(int anz_bits);          // anz_bits bits, all 0

    int anzahl_bits() const { return anzahl_bits_; }
    int anzahl_woerter() const { return anzahl_woerter_; }
    std::uint8_t* bytes() { return bit_vektor_.get(); }
    const std::uint8_t* bytes() const { return bit_vektor_.get(); }

private:
    std::unique_ptr<std::uint8_t[]> bit_vektor_;
    int anzahl_woerter_ = 0;
    int anzahl_bits_ = 0;
};

}  // namespace cosweep
