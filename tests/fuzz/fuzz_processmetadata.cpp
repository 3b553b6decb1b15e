// The whole road of a title: a block parsed by whichever parser takes it, a station template
// and a song playing before, then the judgement. Input: template, zero byte, block, zero byte,
// current "artist - title".

#include "fuzzmeta.h"

#include "song.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzMeta::quietLog();
    const FuzzMeta::Input in(data, size);
    const QByteArrayList parts = in.rest.toByteArray().split('\0');
    const QString tmpl = QString::fromUtf8(parts.value(0));
    BASS::MetaTitle title;
    BASS::ParseMetaBlock(parts.value(1), in.codePage, title);

    BASS::Song current;
    QString artist, song;
    BASS::SplitTitle(QString::fromUtf8(parts.value(2)), &artist, &song);
    current.setArtist(artist);
    current.setTitle(song);
    const BASS::Song before(current);

    const bool accepted = BASS::ProcessMetaData(title, tmpl, current);
    if (accepted) {
        FuzzMeta::require(!current.IsEmpty(), "accepted an empty song");
        FuzzMeta::require(current.artist().size() <= BASS::MaxMetaBlockBytes &&
                              current.title().size() <= BASS::MaxMetaBlockBytes,
                          "accepted fields over the bound");
        FuzzMeta::require(current.artist() == current.artist().trimmed() &&
                              current.title() == current.title().trimmed(),
                          "accepted fields not trimmed");
        FuzzMeta::require(before.IsEmpty() || !(before.artist().contains(current.artist()) &&
                                                before.title().contains(current.title())),
                          "accepted a repeat");
    } else {
        FuzzMeta::require(current.artist() == before.artist() && current.title() == before.title(),
                          "a rejection changed the song");
    }
    // Cleaning is idempotent on what it produces only as far as trimming goes; it must not grow
    // a text beyond its input.
    const QString cleaned = BASS::CleanTitleText(title.title);
    FuzzMeta::require(cleaned.size() <= title.title.size(), "cleaning grew the text");
    return 0;
}
