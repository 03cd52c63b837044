#include "player/decoding/g726_decoder.h"

#include <cstdlib>

#include "player/decoding/g711.h"

namespace qor {

namespace {

constexpr int16_t kPower2[15] = {1, 2, 4, 8, 0x10, 0x20, 0x40, 0x80,
                                 0x100, 0x200, 0x400, 0x800, 0x1000, 0x2000, 0x4000};
constexpr int16_t kQuantizerTable[7] = {-124, 80, 178, 246, 300, 349, 400};
constexpr int16_t kDqlnTable[16] = {-2048, 4, 135, 213, 273, 323, 373, 425,
                                    425, 373, 323, 273, 213, 135, 4, -2048};
constexpr int16_t kWiTable[16] = {-12, 18, 41, 64, 112, 198, 355, 1122,
                                  1122, 355, 198, 112, 64, 41, 18, -12};
constexpr int16_t kFiTable[16] = {0, 0, 0, 0x200, 0x200, 0x200, 0x600, 0xE00,
                                  0xE00, 0x600, 0x200, 0x200, 0x200, 0, 0, 0};

int Quan(int val, const int16_t* table, int size) {
    int i = 0;
    while (i < size && val >= table[i]) ++i;
    return i;
}

// Multiplies a predictor coefficient by a value in the floating point form.
int FMult(int an, int srn) {
    const int16_t anmag = static_cast<int16_t>(an > 0 ? an : ((-an) & 0x1FFF));
    const int16_t anexp = static_cast<int16_t>(Quan(anmag, kPower2, 15) - 6);
    const int16_t anmant = static_cast<int16_t>(anmag == 0 ? 32 : (anexp >= 0 ? anmag >> anexp : anmag << -anexp));
    const int16_t wanexp = static_cast<int16_t>(anexp + ((srn >> 6) & 0xF) - 13);
    const int16_t wanmant = static_cast<int16_t>((anmant * (srn & 077) + 0x30) >> 4);
    const int16_t retval = static_cast<int16_t>(wanexp >= 0 ? ((wanmant << wanexp) & 0x7FFF) : (wanmant >> -wanexp));
    return ((an ^ srn) < 0) ? -retval : retval;
}

int Reconstruct(bool sign, int dqln, int y) {
    const int16_t dql = static_cast<int16_t>(dqln + (y >> 2));
    if (dql < 0) return sign ? -0x8000 : 0;
    const int16_t dex = static_cast<int16_t>((dql >> 7) & 15);
    const int16_t dqt = static_cast<int16_t>(128 + (dql & 127));
    const int16_t dq = static_cast<int16_t>((dqt << 7) >> (14 - dex));
    return sign ? dq - 0x8000 : dq;
}

int Quantize(int d, int y) {
    const int16_t dqm = static_cast<int16_t>(std::abs(d));
    const int16_t exp = static_cast<int16_t>(Quan(dqm >> 1, kPower2, 15));
    const int16_t mant = static_cast<int16_t>(((dqm << 7) >> exp) & 0x7F);
    const int16_t dl = static_cast<int16_t>((exp << 7) + mant);
    const int16_t dln = static_cast<int16_t>(dl - (y >> 2));
    const int i = Quan(dln, kQuantizerTable, 7);
    if (d < 0) return 15 - i;
    if (i == 0) return 15;
    return i;
}

// Synchronous coding adjustment: nudges the mu-law output by one step when
// re-encoding it would not give back the received code, so that tandem
// codings do not drift.
uint8_t TandemAdjustMuLaw(int sr, int se, int y, int i) {
    if (sr <= -32768) sr = 0;
    const uint8_t sp = LinearToMuLaw(sr << 2);
    const int16_t dx = static_cast<int16_t>((MuLawToLinear(sp) >> 2) - se);
    const int id = Quantize(dx, y);
    if (id == i) return sp;
    const int im = i ^ 8;  // two's complement code to biased unsigned
    const int imx = id ^ 8;
    if (imx > im) {
        if (sp & 0x80) return sp == 0xFF ? 0x7E : static_cast<uint8_t>(sp + 1);
        return sp == 0 ? 0 : static_cast<uint8_t>(sp - 1);
    }
    if (sp & 0x80) return sp == 0x80 ? 0x80 : static_cast<uint8_t>(sp - 1);
    return sp == 0x7F ? 0xFE : static_cast<uint8_t>(sp + 1);
}

int16_t ToFloatForm(int value) {
    if (value == 0) return 0x20;
    if (value > 0) {
        const int exp = Quan(value, kPower2, 15);
        return static_cast<int16_t>((exp << 6) + ((value << 6) >> exp));
    }
    if (value > -32768) {
        const int mag = -value;
        const int exp = Quan(mag, kPower2, 15);
        return static_cast<int16_t>((exp << 6) + ((mag << 6) >> exp) - 0x400);
    }
    return static_cast<int16_t>(0xFC20);
}

}  // namespace

void G726Decoder::Reset() {
    m_yl = 34816;
    m_yu = 544;
    m_dms = 0;
    m_dml = 0;
    m_ap = 0;
    for (int i = 0; i < 2; ++i) {
        m_a[i] = 0;
        m_pk[i] = 0;
        m_sr[i] = 32;
    }
    for (int i = 0; i < 6; ++i) {
        m_b[i] = 0;
        m_dq[i] = 32;
    }
    m_td = 0;
}

int G726Decoder::PredictorZero() const {
    int sezi = 0;
    for (int i = 0; i < 6; ++i) sezi += FMult(m_b[i] >> 2, m_dq[i]);
    return sezi;
}

int G726Decoder::PredictorPole() const {
    return FMult(m_a[1] >> 2, m_sr[1]) + FMult(m_a[0] >> 2, m_sr[0]);
}

int G726Decoder::StepSize() const {
    if (m_ap >= 256) return m_yu;
    int y = m_yl >> 6;
    const int dif = m_yu - y;
    const int al = m_ap >> 2;
    if (dif > 0)
        y += (dif * al) >> 6;
    else if (dif < 0)
        y += (dif * al + 0x3F) >> 6;
    return y;
}

uint8_t G726Decoder::Decode(int iCode) {
    const int i = iCode & 0x0F;
    const int16_t sezi = static_cast<int16_t>(PredictorZero());
    const int16_t sez = static_cast<int16_t>(sezi >> 1);
    const int16_t sei = static_cast<int16_t>(sezi + PredictorPole());
    const int16_t se = static_cast<int16_t>(sei >> 1);
    const int16_t y = static_cast<int16_t>(StepSize());
    const int16_t dq = static_cast<int16_t>(Reconstruct((i & 0x08) != 0, kDqlnTable[i], y));
    const int16_t sr = static_cast<int16_t>(dq < 0 ? se - (dq & 0x3FFF) : se + dq);
    const int16_t dqsez = static_cast<int16_t>(sr - se + sez);
    Update(y, kWiTable[i] << 5, kFiTable[i], dq, sr, dqsez);
    return TandemAdjustMuLaw(sr, se, y, i);
}

void G726Decoder::Update(int y, int wi, int fi, int dq, int sr, int dqsez) {
    const int16_t pk0 = dqsez < 0 ? 1 : 0;
    int16_t mag = static_cast<int16_t>(dq & 0x7FFF);

    // Transition detector: a large step while a tone is detected means data, not voice.
    const int ylint = m_yl >> 15;
    const int ylfrac = (m_yl >> 10) & 0x1F;
    const int thr1 = (32 + ylfrac) << ylint;
    const int thr2 = ylint > 9 ? 31 << 10 : thr1;
    const int dqthr = (thr2 + (thr2 >> 1)) >> 1;
    const bool tr = m_td != 0 && mag > dqthr;

    m_yu = static_cast<int16_t>(y + ((wi - y) >> 5));
    if (m_yu < 544)
        m_yu = 544;
    else if (m_yu > 5120)
        m_yu = 5120;
    m_yl += m_yu + ((-m_yl) >> 6);

    int16_t a2p = 0;
    if (tr) {
        m_a[0] = m_a[1] = 0;
        for (int16_t& b : m_b) b = 0;
    } else {
        const int pks1 = pk0 ^ m_pk[0];
        a2p = static_cast<int16_t>(m_a[1] - (m_a[1] >> 7));
        if (dqsez != 0) {
            const int fa1 = pks1 ? m_a[0] : -m_a[0];
            if (fa1 < -8191)
                a2p = static_cast<int16_t>(a2p - 0x100);
            else if (fa1 > 8191)
                a2p = static_cast<int16_t>(a2p + 0xFF);
            else
                a2p = static_cast<int16_t>(a2p + (fa1 >> 5));

            if (pk0 ^ m_pk[1]) {
                if (a2p <= -12160)
                    a2p = -12288;
                else if (a2p >= 12416)
                    a2p = 12288;
                else
                    a2p = static_cast<int16_t>(a2p - 0x80);
            } else if (a2p <= -12416) {
                a2p = -12288;
            } else if (a2p >= 12160) {
                a2p = 12288;
            } else {
                a2p = static_cast<int16_t>(a2p + 0x80);
            }
        }
        m_a[1] = a2p;

        m_a[0] = static_cast<int16_t>(m_a[0] - (m_a[0] >> 8));
        if (dqsez != 0) m_a[0] = static_cast<int16_t>(pks1 == 0 ? m_a[0] + 192 : m_a[0] - 192);
        const int a1ul = 15360 - a2p;
        if (m_a[0] < -a1ul)
            m_a[0] = static_cast<int16_t>(-a1ul);
        else if (m_a[0] > a1ul)
            m_a[0] = static_cast<int16_t>(a1ul);

        for (int cnt = 0; cnt < 6; ++cnt) {
            m_b[cnt] = static_cast<int16_t>(m_b[cnt] - (m_b[cnt] >> 8));
            if (dq & 0x7FFF) m_b[cnt] = static_cast<int16_t>((dq ^ m_dq[cnt]) >= 0 ? m_b[cnt] + 128 : m_b[cnt] - 128);
        }
    }

    for (int cnt = 5; cnt > 0; --cnt) m_dq[cnt] = m_dq[cnt - 1];
    if (mag == 0) {
        m_dq[0] = static_cast<int16_t>(dq >= 0 ? 0x20 : 0xFC20);
    } else {
        const int exp = Quan(mag, kPower2, 15);
        const int value = (exp << 6) + ((mag << 6) >> exp);
        m_dq[0] = static_cast<int16_t>(dq >= 0 ? value : value - 0x400);
    }

    m_sr[1] = m_sr[0];
    m_sr[0] = ToFloatForm(sr);

    m_pk[1] = m_pk[0];
    m_pk[0] = pk0;

    if (tr)
        m_td = 0;
    else if (a2p < -11776)
        m_td = 1;
    else
        m_td = 0;

    m_dms = static_cast<int16_t>(m_dms + ((fi - m_dms) >> 5));
    m_dml = static_cast<int16_t>(m_dml + (((fi << 2) - m_dml) >> 7));

    if (tr)
        m_ap = 256;
    else if (y < 1536 || m_td == 1 || std::abs((m_dms << 2) - m_dml) >= (m_dml >> 3))
        m_ap = static_cast<int16_t>(m_ap + ((0x200 - m_ap) >> 4));
    else
        m_ap = static_cast<int16_t>(m_ap + ((-m_ap) >> 4));
}

}  // namespace qor
