#include "core/Pattern.h"

#include <QChar>

namespace pellora::core {

namespace {

// Code points of a text. A lone surrogate stays as it is, so it can only be
// matched by itself or by a wildcard.
using CodePoints = QVarLengthArray<char32_t, 256>;

CodePoints codePoints(QStringView text)
{
    CodePoints out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out.push_back(QChar::surrogateToUcs4(c, text[i + 1]));
            ++i;
        } else {
            out.push_back(c.unicode());
        }
    }
    return out;
}

char32_t fold(char32_t c)
{
    return QChar::toCaseFolded(c);
}

bool within(char32_t c, char32_t low, char32_t high)
{
    return low <= c && c <= high;
}

} // namespace

FilePattern::FilePattern(QStringView pattern, Qt::CaseSensitivity sensitivity)
    : m_insensitive(sensitivity == Qt::CaseInsensitive)
{
    const CodePoints p = codePoints(pattern);
    const size_t n = size_t(p.size());
    for (size_t i = 0; i < n; ++i) {
        const char32_t c = p[i];
        if (c == U'*') {
            // A run of stars means no more than one star; keeping one keeps the scan short.
            if (m_tokens.empty() || m_tokens.back().kind != Kind::AnyRun)
                m_tokens.push_back({ Kind::AnyRun });
        } else if (c == U'?') {
            m_tokens.push_back({ Kind::AnyOne });
        } else if (c == U'#') {
            m_tokens.push_back({ Kind::Digit });
        } else if (c == U'[') {
            Token list{ Kind::List };
            list.firstRange = qsizetype(m_ranges.size());
            size_t k = i + 1;
            if (k < n && p[k] == U'!') {
                list.negated = true;
                ++k;
            }
            while (k < n && p[k] != U']') {
                const char32_t low = p[k];
                if (k + 2 < n && p[k + 1] == U'-' && p[k + 2] != U']') {
                    const char32_t high = p[k + 2];
                    if (low > high)
                        return; // a range running backwards: malformed
                    m_ranges.push_back({ low, high });
                    k += 3;
                } else {
                    m_ranges.push_back({ low, low });
                    ++k;
                }
            }
            if (k >= n)
                return; // "[" without its "]": malformed
            list.rangeCount = qsizetype(m_ranges.size()) - list.firstRange;
            m_tokens.push_back(list);
            i = k;
        } else {
            Token literal{ Kind::Literal };
            literal.literal = m_insensitive ? fold(c) : c;
            m_tokens.push_back(literal);
        }
    }
    m_valid = !m_tokens.empty();
}

bool FilePattern::listContains(const Token &token, char32_t c) const
{
    const char32_t folded = m_insensitive ? fold(c) : c;
    for (qsizetype r = token.firstRange; r < token.firstRange + token.rangeCount; ++r) {
        const Range &range = m_ranges[r];
        if (within(c, range.low, range.high))
            return true;
        if (!m_insensitive)
            continue;
        // Either side may be written in either case: [A-Z] takes "q", [a-z] takes "Q".
        if (within(folded, range.low, range.high))
            return true;
        const char32_t low = fold(range.low);
        const char32_t high = fold(range.high);
        if (low <= high && within(folded, low, high))
            return true;
    }
    return false;
}

bool FilePattern::tokenMatches(const Token &token, char32_t c) const
{
    switch (token.kind) {
    case Kind::Literal:
        return (m_insensitive ? fold(c) : c) == token.literal;
    case Kind::AnyOne:
        return true;
    case Kind::Digit:
        return within(c, U'0', U'9');
    case Kind::List:
        return listContains(token, c) != token.negated;
    case Kind::AnyRun:
        break;
    }
    return false;
}

bool FilePattern::matches(QStringView nameText) const
{
    if (!m_valid)
        return false;
    const CodePoints name = codePoints(nameText);
    // Every token but the star takes exactly one character, so on a mismatch it
    // is enough to let the latest star take one character more and go on from
    // there; earlier stars never need to be revisited. This bounds the work by
    // len(name) x len(pattern).
    const size_t n = size_t(name.size());
    const size_t m = size_t(m_tokens.size());
    size_t i = 0;
    size_t j = 0;
    size_t starToken = m; // none yet
    size_t starName = 0;
    while (i < n) {
        if (j < m && m_tokens[qsizetype(j)].kind == Kind::AnyRun) {
            starToken = j++;
            starName = i;
        } else if (j < m && tokenMatches(m_tokens[qsizetype(j)], name[i])) {
            ++i;
            ++j;
        } else if (starToken < m) {
            j = starToken + 1;
            i = ++starName;
        } else {
            return false;
        }
    }
    while (j < m && m_tokens[qsizetype(j)].kind == Kind::AnyRun)
        ++j;
    return j == m;
}

bool matchesPattern(QStringView name, QStringView pattern, Qt::CaseSensitivity sensitivity)
{
    return FilePattern(pattern, sensitivity).matches(name);
}

} // namespace pellora::core
