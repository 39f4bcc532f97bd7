// Item patterns come from the user's list and names from downloaded files:
// any text must compile and match quickly, whatever it holds.
//
// Input: one flag byte, then the pattern and the name separated by the first
// tab. With the flag's high bit the texts are raw UTF-16 (little-endian), so
// that lone surrogates reach the matcher; otherwise UTF-8.

#include "FuzzSupport.h"

#include "core/Pattern.h"

#include <algorithm>
#include <ctime>

using pellora::core::FilePattern;
using pellora::core::matchesPattern;
using pellora::fuzz::check;
using pellora::fuzz::fail;

namespace {

QString decode(const uint8_t *data, size_t size, bool utf16)
{
    if (!utf16)
        return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    QString text;
    text.resize(qsizetype(size / 2));
    for (size_t i = 0; i + 1 < size; i += 2)
        text[qsizetype(i / 2)] = QChar(char16_t(data[i] | (data[i + 1] << 8)));
    return text;
}

// Thread CPU time: with two fuzzers and a build sharing two cores, wall time
// would count the time this process sat waiting for a core.
double cpuMilliseconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Start-up matches every item's pattern against one archive name; one slow
// pattern would hold up every start. The matcher promises len(name) x
// len(pattern) steps, which for the lengths run here (-max_len) stays well
// under this limit.
constexpr double kSlowMilliseconds = 5.0;

bool timedMatch(const QString &pattern, const QString &name, Qt::CaseSensitivity cs)
{
    // The best of three: one slow run alone is the sanitizer's allocator
    // recycling its quarantine in the middle of a match, not the matcher.
    double best = 0;
    bool result = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const double start = cpuMilliseconds();
        const FilePattern compiled(pattern, cs);
        result = compiled.matches(name);
        const double spent = cpuMilliseconds() - start;
        check(!result || compiled.isValid(), "an invalid pattern matched");
        best = attempt == 0 ? spent : std::min(best, spent);
        if (best <= kSlowMilliseconds)
            return result;
    }
    fail("a match took too long",
        QStringLiteral("%1 ms, pattern length %2, name length %3").arg(best).arg(pattern.size()).arg(name.size()));
}

bool hasWildcard(const QString &text)
{
    for (QChar c : text) {
        if (c == u'*' || c == u'?' || c == u'#' || c == u'[')
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    pellora::fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const bool utf16 = data[0] & 0x80;
    const uint8_t *rest = data + 1;
    const size_t restSize = size - 1;
    size_t tab = 0;
    while (tab < restSize && rest[tab] != '\t')
        ++tab;
    const QString pattern = decode(rest, tab, utf16);
    const QString name = tab < restSize ? decode(rest + tab + 1, restSize - tab - 1, utf16) : QString();

    for (const Qt::CaseSensitivity cs : { Qt::CaseSensitive, Qt::CaseInsensitive }) {
        const bool matched = timedMatch(pattern, name, cs);
        check(matched == matchesPattern(name, pattern, cs), "the one-off match disagrees with the compiled pattern");
        // A pattern without wildcards is the name it matches.
        if (cs == Qt::CaseSensitive && !pattern.isEmpty() && !hasWildcard(pattern))
            check(timedMatch(pattern, pattern, cs), "a plain pattern does not match its own text", pattern);
        if (!matched)
            continue;
        // A trailing star takes whatever follows a match, a leading one
        // whatever precedes it. ASCII around the name cannot pair up with a
        // lone surrogate at its ends.
        const QString more = QStringLiteral("x9");
        check(timedMatch(pattern + u'*', name + more, cs), "a trailing star refused a longer name", pattern);
        check(timedMatch(u'*' + pattern, more + name, cs), "a leading star refused a longer name", pattern);
    }
    return 0;
}
