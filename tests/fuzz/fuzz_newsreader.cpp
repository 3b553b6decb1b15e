// News-feed and account-information replies.

#include "directoryreader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    qsizetype seen = 0;
    for (const NewsItem &item : DirectoryReader::readNews(text)) {
        if (item.link.contains(QLatin1Char('\n')) || item.link.contains(QLatin1Char('\r')))
            __builtin_trap();
        seen += item.title.size();
    }
    const AccountDetails account = DirectoryReader::readAccountInfo(text);
    seen += account.username.size() + account.mail.size();
    return seen < 0;
}
