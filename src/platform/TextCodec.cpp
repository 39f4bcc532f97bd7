#include "platform/TextCodec.h"

#include <cerrno>
#include <iconv.h>

namespace pellora::platform {

namespace {

// One conversion through iconv. With lenient set, undecodable bytes become
// U+FFFD (or are skipped on the way out); otherwise they fail the call.
std::optional<QByteArray> convert(
    const char *to, const char *from, const QByteArray &in, bool lenient, const QByteArray &replacement)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    QByteArray out;
    out.reserve(in.size() * 2 + 16);
    char buffer[4096];
    char *src = const_cast<char *>(in.constData());
    size_t srcLeft = size_t(in.size());
    bool ok = true;
    while (srcLeft > 0) {
        char *dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, qsizetype(dst - buffer));
        if (r != size_t(-1))
            continue;
        if (errno == E2BIG)
            continue;
        if (!lenient) {
            ok = false;
            break;
        }
        // EILSEQ or EINVAL (a sequence cut at the end): replace one byte, go on.
        out.append(replacement);
        ++src;
        --srcLeft;
    }
    iconv_close(cd);
    if (!ok)
        return std::nullopt;
    return out;
}

} // namespace

bool isValidUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int len;
        unsigned int cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n)
            return false;
        for (int k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

QString decodeCp932(const QByteArray &bytes)
{
    const auto out = convert("UTF-8", "CP932", bytes, true, QByteArrayLiteral("\xEF\xBF\xBD"));
    return out ? QString::fromUtf8(*out) : QString::fromLatin1(bytes);
}

Cp932Decoder::Cp932Decoder()
    : m_cd(iconv_open("UTF-8", "CP932"))
{
}

Cp932Decoder::~Cp932Decoder()
{
    if (m_cd != reinterpret_cast<void *>(-1))
        iconv_close(static_cast<iconv_t>(m_cd));
}

std::optional<QString> Cp932Decoder::decode(QByteArrayView bytes)
{
    if (m_cd == reinterpret_cast<void *>(-1))
        return std::nullopt;
    const auto cd = static_cast<iconv_t>(m_cd);
    iconv(cd, nullptr, nullptr, nullptr, nullptr); // a failed call may leave state behind
    QByteArray out;
    char buffer[4096];
    char *src = const_cast<char *>(bytes.constData());
    size_t srcLeft = size_t(bytes.size());
    while (srcLeft > 0) {
        char *dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, qsizetype(dst - buffer));
        if (r == size_t(-1) && errno != E2BIG)
            return std::nullopt;
    }
    return QString::fromUtf8(out);
}

std::optional<QByteArray> encodeCp932(const QString &text)
{
    return convert("CP932", "UTF-8", text.toUtf8(), false, {});
}

QString decodeUtf8OrCp932(const QByteArray &bytes)
{
    return isValidUtf8(bytes) ? QString::fromUtf8(bytes) : decodeCp932(bytes);
}

std::optional<QString> decodeCharset(const QByteArray &bytes, const char *charset)
{
    const auto out = convert("UTF-8", charset, bytes, true, QByteArrayLiteral("\xEF\xBF\xBD"));
    if (!out)
        return std::nullopt;
    return QString::fromUtf8(*out);
}

} // namespace pellora::platform
