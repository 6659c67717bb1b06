#include "bitvektor.h"

#include <cstdio>
#include <cstring>

#include "cosweep_check.h"

namespace cosweep {

BitVektor::BitVektor(int anz_bits, BitVekTyp typ) {
    COSWEEP_CHECK(anz_bits > 0, "anz_bits > 0");
    anzahl_bits_ = anz_bits;
    anzahl_woerter_ = (anz_bits + WORTLAENGE - 1) / WORTLAENGE;
    bit_vektor_.reset(new std::uint8_t[static_cast<std::size_t>(anzahl_woerter_)]);
    COSWEEP_CHECK(bit_vektor_ != nullptr, "bit_vektor != 0");
    std::memset(bit_vektor_.get(), typ == BitVekTyp::Eins ? 0xFF : 0, static_cast<std::size_t>(anzahl_woerter_));
}

void BitVektor::bit_setzen(int pos) {
    COSWEEP_CHECK(pos >= 0, "pos >= 0");
    int index = pos / WORTLAENGE, offset = pos % WORTLAENGE;
    COSWEEP_CHECK((index >= 0) && (index < anzahl_woerter_), "(index >= 0) && (index < anzahl_woerter)");
    COSWEEP_CHECK((offset >= 0) && (offset < WORTLAENGE), "(offset >= 0) && (offset < WORTLAENGE)");
    bit_vektor_[static_cast<std::size_t>(index)] |= static_cast<std::uint8_t>(0x80u >> offset);
}

void BitVektor::bit_loeschen(int pos) {
    COSWEEP_CHECK(pos >= 0, "pos >= 0");
    int index = pos / WORTLAENGE, offset = pos % WORTLAENGE;
    COSWEEP_CHECK((index >= 0) && (index < anzahl_woerter_), "(index >= 0) && (index < anzahl_woerter)");
    COSWEEP_CHECK((offset >= 0) && (offset < WORTLAENGE), "(offset >= 0) && (offset < WORTLAENGE)");
    bit_vektor_[static_cast<std::size_t>(index)] &= static_cast<std::uint8_t>(~(0x80u >> offset));
}

bool BitVektor::bit_ON(int pos) const {
    COSWEEP_CHECK((pos >= 0) && (pos < anzahl_bits_), "(pos >= 0) && (pos < anzahl_bits)");
    int index = pos / WORTLAENGE, offset = pos % WORTLAENGE;
    COSWEEP_CHECK((index >= 0) && (index < anzahl_woerter_), "(index >= 0) && (index < anzahl_woerter)");
    COSWEEP_CHECK((offset >= 0) && (offset < WORTLAENGE), "(offset >= 0) && (offset < WORTLAENGE)");
    return (bit_vektor_[static_cast<std::size_t>(index)] & (0x80u >> offset)) != 0;
}

void BitVektor::clear() {
    if (bit_vektor_) std::memset(bit_vektor_.get(), 0, static_cast<std::size_t>(anzahl_woerter_));
}

void BitVektor::print() const {
    COSWEEP_CHECK(bit_vektor_ != nullptr, "bit_vektor != 0");
    std::printf("Bitvektor: < ");
    for (int pos = 0; pos < anzahl_bits_; ++pos)
        if (bit_ON(pos)) std::printf("%d, ", pos);
    std::printf(">\n");
}

void BitVektor::resize(int anz_bits) {
    COSWEEP_CHECK(anz_bits > 0, "anz_bits > 0");
    bit_vektor_.reset();
    anzahl_bits_ = anz_bits;
    anzahl_woerter_ = (anz_bits + WORTLAENGE - 1) / WORTLAENGE;
    bit_vektor_.reset(new std::uint8_t[static_cast<std::size_t>(anzahl_woerter_)]());
    COSWEEP_CHECK(bit_vektor_ != nullptr, "bit_vektor != 0");
}

}  // namespace cosweep
