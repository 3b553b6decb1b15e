// Fuzz target: the search text of a request, and the text folding behind the index.

#include "searchquery.h"
#include "textnorm.h"
#include "xmlwriter.h"

#include <QXmlStreamReader>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const SearchQuery q = SearchQuery::parse(text);
    for (const QString &w : q.words) {
        // Tokens reach the full-text syntax of both engines quoted: they must hold no blank,
        // quote or operator.
        for (const QChar c : w) {
            if (!c.isLetterOrNumber() && !c.isSurrogate())
                __builtin_trap();
        }
    }
    TextNorm::slug(text);
    // Whatever the text, the element built from it is well-formed XML.
    XmlWriter w;
    w.start("t");
    w.element("v", text);
    QXmlStreamReader r(w.finish());
    while (!r.atEnd())
        r.readNext();
    if (r.hasError())
        __builtin_trap();
    return 0;
}
