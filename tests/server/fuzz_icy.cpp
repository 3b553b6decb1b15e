// Fuzz target: what the poller reads from a station's server: the response head, the
// metadata blocks of the stream and the playlists that point to it.

#include "icy.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype split = input.indexOf("\r\n\r\n");
    const QByteArray head = split < 0 ? input : input.left(split);
    const QByteArray body = split < 0 ? QByteArray() : input.mid(split + 4);
    Icy::ResponseHead h;
    Icy::parseHead(head, &h);
    Icy::MetadataReader reader(size > 0 ? 1 + data[0] % 48 : 16);
    for (qsizetype i = 0; i < body.size() && !reader.done(); i += 7)
        reader.feed(body.constData() + i, qMin<qsizetype>(7, body.size() - i));
    const QString title = Icy::streamTitle(reader.done() ? reader.block() : body);
    QString artist, song;
    Icy::splitTitle(title, &artist, &song);
    Icy::looksLikePlaylist(h.contentType, body.left(64));
    Icy::playlistEntry(body, QUrl(QStringLiteral("http://host/dir/list.pls")));
    return 0;
}
