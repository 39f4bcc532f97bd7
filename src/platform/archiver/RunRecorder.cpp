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
__attribute__((target("sse4.2"))) quint32 hardwareCrc(quint32 crc, const unsigned char *p, size_t size)
{
    quint64 c = crc;
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
