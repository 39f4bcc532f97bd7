// ITEM.DAT may come from the Windows program, another editor or a damaged
// disk: any bytes must read without harm, every record read must be one the
// program can write back, and a write followed by a read must give the same
// records.

#include "FuzzSupport.h"

#include "core/ItemFile.h"
#include "platform/TextCodec.h"

using namespace pellora::core;
using pellora::fuzz::check;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    pellora::fuzz::quietQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const ItemFileContents contents = parseItemFile(bytes);

    qsizetype visited = 0;
    const ItemFileScan scan = visitItemFile(bytes, [&](const ItemFields &f) {
        check(visited < contents.records.size(), "the visitor saw more records than the parser");
        const ItemRecord &r = contents.records.at(visited++);
        check(f.Title == r.Title && f.Pattern == r.Pattern && f.Output == r.Output && f.Relation == r.Relation,
            "the visitor and the parser disagree on a record");
    });
    check(visited == contents.records.size(), "the visitor saw fewer records than the parser");
    check(scan.encoding == contents.encoding && scan.unreadable == contents.unreadable && scan.cut == contents.cut,
        "the visitor and the parser disagree on the encoding or on what they left out");

    for (const ItemRecord &r : contents.records) {
        check(isStorableItemText(r.Title) && isStorableItemText(r.Pattern) && isStorableItemText(r.Output)
                && isStorableItemText(r.Relation),
            "a record read holds a text that cannot be written back", r.Title);
    }

    // Written back as ItemFile::write does: in the encoding read, else UTF-8.
    std::optional<QByteArray> written = formatItemFile(contents.records, contents.encoding);
    ItemFileEncoding writtenEncoding = contents.encoding;
    if (!written) {
        check(contents.encoding == ItemFileEncoding::Cp932, "a UTF-8 list could not be written");
        writtenEncoding = ItemFileEncoding::Utf8;
        written = formatItemFile(contents.records, writtenEncoding);
        check(written.has_value(), "a list could be written neither as Shift_JIS nor as UTF-8");
    }
    const ItemFileContents reread = parseItemFile(*written);
    // The reader tells the encodings apart line by line by whether the bytes
    // are valid UTF-8; a Shift_JIS line that happens to be valid UTF-8 too
    // (half-width katakana pairs such as "ﾃｽ") is read as UTF-8. Only a list
    // written in a Unicode encoding can be held to its records.
    check(reread.unreadable == 0 && reread.cut == 0, "a written list reads back with something left out");
    if (writtenEncoding != ItemFileEncoding::Cp932)
        check(reread.records == contents.records, "a written list reads back different records");
    check(reread.records.size() == contents.records.size(), "a written list reads back another number of records");
    return 0;
}
