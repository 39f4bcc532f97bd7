#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace pellora::platform {

bool isValidUtf8(QByteArrayView bytes);

// Decodes text written by the Windows program: Shift_JIS as Windows has it
// (CP932, with its NEC and IBM extensions). Bytes that do not decode become U+FFFD.
QString decodeCp932(const QByteArray &bytes);

// Decodes CP932 piece by piece with one converter, refusing bytes that are
// no CP932 text instead of replacing them: a reader that must never turn a
// user's text into U+FFFD asks this first.
class Cp932Decoder final {
public:
    Cp932Decoder();
    ~Cp932Decoder();
    Cp932Decoder(const Cp932Decoder &) = delete;
    Cp932Decoder &operator=(const Cp932Decoder &) = delete;

    // The text, or nothing when some bytes do not decode.
    std::optional<QString> decode(QByteArrayView bytes);

private:
    void *m_cd; // iconv_t
};

// Encodes to CP932; nothing when some character has no CP932 form.
std::optional<QByteArray> encodeCp932(const QString &text);

// UTF-8 when the bytes are valid UTF-8, else CP932: how names and files of
// unknown origin are read.
QString decodeUtf8OrCp932(const QByteArray &bytes);

// Decodes bytes in a charset iconv knows by that name ("GBK", "CP437", ...).
// Bytes that do not decode become U+FFFD; nothing when iconv lacks the charset.
std::optional<QString> decodeCharset(const QByteArray &bytes, const char *charset);

} // namespace pellora::platform
