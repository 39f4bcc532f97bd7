#include "platform/archiver/RunRecorder.h"

#include <array>
#include <atomic>
#include <cstring>

#if defined(__x86_64__)
#include <nmmintrin.h>
#endif

namespace pellora::arc {

namespace {
// Atomic: the run may read it on a worker thread while the window waits.
std::atomic<RunRecorder *> g_recorder{ nullptr };
constexpr quint32 kPolynomial = 0x82F63B78; // CRC-32C, reflected

std::array<quint32, 256> makeTable()
{
    std::array<quint32, 256> table{};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        table[i] = c;
    }
    return table;
}

quint32 softwareCrc(quint32 crc, const unsigned char *p, size_t size)
{
    static const std::array<quint32, 256> table = makeTable();
    while (size--)
        crc = table[(crc ^ *p++) & 0xff] ^ (crc >> 8);
    return crc;
}

#if defined(__x86_64__)
// The instruction takes three cycles but can start one every cycle, so one
// chain of it leaves two thirds of the unit idle: three stripes of a block
// are taken side by side and their CRCs joined. A CRC register is linear in
// its state and its input together, so the CRC of A followed by B is that of
// A carried over |B| zero bytes, XOR that of B from zero; carrying a state
// over a stripe of zeros is linear too and goes through a table.
constexpr size_t kStripe = 2048;

struct StripeShift {
    std::array<std::array<quint32, 256>, 4> table{};
    quint32 operator()(quint32 x) const
    {
        return table[0][x & 0xff] ^ table[1][(x >> 8) & 0xff] ^ table[2][(x >> 16) & 0xff] ^ table[3][x >> 24];
    }
};

__attribute__((target("sse4.2"))) StripeShift makeStripeShift()
{
    std::array<quint32, 32> bit{}; // each single-bit state carried over a stripe of zeros
    for (int i = 0; i < 32; ++i) {
        quint64 c = quint64(1) << i;
        for (size_t k = 0; k < kStripe; k += 8)
            c = _mm_crc32_u64(c, 0);
        bit[size_t(i)] = quint32(c);
    }
    StripeShift shift;
    for (int part = 0; part < 4; ++part)
        for (quint32 byte = 0; byte < 256; ++byte)
            for (int j = 0; j < 8; ++j)
                if (byte & (1u << j))
                    shift.table[size_t(part)][byte] ^= bit[size_t(part * 8 + j)];
    return shift;
}

__attribute__((target("sse4.2"))) quint32 hardwareCrc(quint32 crc, const unsigned char *p, size_t size)
{
    quint64 c = crc;
    if (size >= 3 * kStripe) {
        static const StripeShift shift = makeStripeShift();
        while (size >= 3 * kStripe) {
            quint64 a = c, b = 0, d = 0;
            for (size_t i = 0; i < kStripe; i += 8) {
                quint64 wa, wb, wd;
                std::memcpy(&wa, p + i, 8);
                std::memcpy(&wb, p + kStripe + i, 8);
                std::memcpy(&wd, p + 2 * kStripe + i, 8);
                a = _mm_crc32_u64(a, wa);
                b = _mm_crc32_u64(b, wb);
                d = _mm_crc32_u64(d, wd);
            }
            c = shift(shift(quint32(a)) ^ quint32(b)) ^ quint32(d);
            p += 3 * kStripe;
            size -= 3 * kStripe;
        }
    }
    while (size >= 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        c = _mm_crc32_u64(c, word);
        p += 8;
        size -= 8;
    }
    quint32 c32 = quint32(c);
    while (size--)
        c32 = _mm_crc32_u8(c32, *p++);
    return c32;
}
#endif

} // namespace

quint32 contentCrc(quint32 crc, const char *data, size_t size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    crc = ~crc;
#if defined(__x86_64__)
    static const bool hardware = __builtin_cpu_supports("sse4.2");
    if (hardware)
        return ~hardwareCrc(crc, p, size);
#endif
    return ~softwareCrc(crc, p, size);
}

RunRecorder *runRecorder()
{
    return g_recorder.load();
}

void setRunRecorder(RunRecorder *recorder)
{
    g_recorder.store(recorder);
}

} // namespace pellora::arc
