// ITU-T G.726 ADPCM decoder at 32 kbit/s (4-bit codes) with mu-law output,
// bit-exact with the ITU-T reference decoder including its reset state and
// its tandem (synchronous coding) adjustment of the compressed output.
#pragma once

#include <cstdint>

namespace qor {

class G726Decoder {
public:
    G726Decoder() { Reset(); }
    void Reset();
    // Decodes one 4-bit code; returns the mu-law byte.
    uint8_t Decode(int iCode);

private:
    int PredictorZero() const;
    int PredictorPole() const;
    int StepSize() const;
    void Update(int y, int wi, int fi, int dq, int sr, int dqsez);

    int32_t m_yl = 0;   // locked quantizer scale factor
    int16_t m_yu = 0;   // unlocked quantizer scale factor
    int16_t m_dms = 0;  // short term mean of F[I]
    int16_t m_dml = 0;  // long term mean of F[I]
    int16_t m_ap = 0;   // speed control
    int16_t m_a[2] = {};
    int16_t m_b[6] = {};
    int16_t m_pk[2] = {};
    int16_t m_dq[6] = {};  // floating point form: 4-bit exponent, 6-bit mantissa
    int16_t m_sr[2] = {};
    int8_t m_td = 0;    // tone detect
};

}  // namespace qor
