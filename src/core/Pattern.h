#pragma once

#include <QString>
#include <QStringView>

#include <QVarLengthArray>

namespace pellora::core {

// An item's file-name pattern, compiled once and then tested against archive
// names. The whole name must match. `?` is any one character, `*` any run of
// characters (also none), `#` one digit 0-9, `[list]` one character in the
// list, `[!list]` one character not in it; a list may hold ranges such as a-z.
// Inside a list `*`, `?`, `#` and `[` stand for themselves, and a `-` first or
// last in the list is a plain hyphen. Every other character matches itself.
//
// A pattern that is not well formed (a `[` without its `]`, or a range whose
// low end is above its high end) matches nothing, and so does an empty
// pattern: a broken item must never catch every archive.
//
// Matching costs at most len(name) x len(pattern) steps, whatever the pattern.
class FilePattern final {
public:
    // Qt::CaseInsensitive compares by Unicode simple case folding (start-up's
    // search for the items of an archive); Qt::CaseSensitive compares exactly.
    FilePattern(QStringView pattern, Qt::CaseSensitivity sensitivity);

    bool matches(QStringView name) const;

    // False for an empty or malformed pattern, which matches nothing.
    bool isValid() const { return m_valid; }

private:
    struct Range {
        char32_t low;
        char32_t high;
    };
    enum class Kind { Literal, AnyOne, AnyRun, Digit, List };
    struct Token {
        Kind kind;
        bool negated = false; // List only
        char32_t literal = 0; // Literal only; already folded when insensitive
        qsizetype firstRange = 0; // List only: its ranges in m_ranges
        qsizetype rangeCount = 0;
    };

    bool tokenMatches(const Token &token, char32_t c) const;
    bool listContains(const Token &token, char32_t c) const;

    // Start-up compiles one pattern per item, up to hundreds of thousands:
    // typical patterns fit in place, without a heap allocation.
    QVarLengthArray<Token, 24> m_tokens;
    QVarLengthArray<Range, 8> m_ranges;
    bool m_insensitive;
    bool m_valid = false;
};

// One-off test of a name against a pattern text.
bool matchesPattern(QStringView name, QStringView pattern, Qt::CaseSensitivity sensitivity);

} // namespace pellora::core
