// Fuzz target: an upstream song search's answer, which the service keeps and passes on.

#include "covers.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    const QJsonArray results = CoverSearch::sanitize(doc.object().value(QLatin1String("results")).toArray());
    if (results.size() > 50)
        __builtin_trap();
    const QByteArray reply = CoverSearch::reply(results);
    if (QJsonDocument::fromJson(reply).isNull())
        __builtin_trap();
    CoverSearch::cleanTerm(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
