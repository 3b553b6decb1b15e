// Untrusted playlist documents through the resolution of a station's address: every address it
// hands out may be opened (scheme, no control characters, once each), and a document that keeps
// pointing at further playlists ends within the nesting bound.

#include "stream.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList addresses = BASS::PlaylistResolution::streamAddresses(text);
    QSet<QString> keys;
    for (const QString &address : addresses) {
        for (const QChar c : address)
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                __builtin_trap();
        if (address.startsWith(QLatin1String("file:"), Qt::CaseInsensitive) ||
            address.startsWith(QLatin1Char('/')))
            __builtin_trap();
        keys.insert(BASS::PlaylistResolution::visitKey(address));
    }
    if (keys.size() != addresses.size() || addresses.size() > 1000)
        __builtin_trap();

    // The same document answers every download.
    BASS::PlaylistResolution resolution;
    BASS::PlaylistResolution::Step step = resolution.start(QStringLiteral("http://h/station.pls"));
    int downloads = 0;
    while (step.kind == BASS::PlaylistResolution::Step::Download) {
        if (++downloads > BASS::PlaylistResolution::MaxNesting)
            __builtin_trap();
        step = resolution.documentArrived(text);
    }
    return 0;
}
