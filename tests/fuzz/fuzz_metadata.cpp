// Stream metadata, every parser on the same bytes. The first byte picks the station's code page
// (an index into the table; larger values mean none); ICY blocks, Windows Media commands and
// header lists take the rest whole. Split at zero bytes, the rest is also Ogg comment lines, and
// "template, block, current artist - title" for the title templates and the whole road of a
// title (parse, template, judgement). A broken promise aborts, so that the fuzzer keeps the input.

#include "codepage.h"
#include "metadata.h"
#include "song.h"
#include "streaminfo.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

void blocks(QByteArrayView rest, const char *codePage)
{
    BASS::MetaTitle icy;
    const bool isIcy = BASS::ParseIcyMeta(rest, codePage, icy);
    require(icy.rawBlock.size() <= BASS::MaxMetaBlockBytes, "ICY raw block over the bound");
    require(icy.title.size() <= icy.rawBlock.size() && icy.streamUrl.size() <= icy.rawBlock.size(),
            "ICY field longer than its block");
    require(!isIcy || icy.rawBlock.contains(u"StreamTitle=", Qt::CaseInsensitive),
            "recognised without a StreamTitle");
    require(isIcy || icy.title.isEmpty(), "title from an unrecognised ICY block");
    require(icy.duration == 0, "duration from an ICY block");

    BASS::MetaTitle wma;
    const bool isWma = BASS::ParseWmaMeta(rest, codePage, wma);
    require(wma.rawBlock.size() <= BASS::MaxMetaBlockBytes, "WMA raw block over the bound");
    // At most two pieces of the block (percent-decoding only shrinks them) joined by " - ".
    require(wma.title.size() <= 2 * wma.rawBlock.size() + 3, "title longer than two blocks");
    require(wma.duration >= 0, "negative duration");
    require(isWma || (wma.title.isEmpty() && wma.streamUrl.isEmpty()), "fields from an unrecognised block");
}

// Header lists as the engine lays them out: zero-terminated lines, an empty line last.
void headers(QByteArrayView rest, const char *codePage)
{
    const QByteArray memory = rest.toByteArray() + QByteArray(2, '\0');
    const QByteArray single = BASS::TagString(memory.constData());
    require(single.size() <= BASS::MaxMetaBlockBytes && memory.startsWith(single), "tag string");
    const QByteArrayList lines = BASS::TagList(memory.constData());
    require(lines.size() <= BASS::MaxTagListItems, "too many lines");
    for (const QByteArray &line : lines)
        require(!line.isEmpty() && line.size() <= BASS::MaxMetaBlockBytes && !line.contains('\0'),
                "line over the bound");
    BASS::StreamInfo info;
    const bool http = BASS::ParseHttpHeaders(lines, codePage, info);
    const bool wma = BASS::ParseWmaHeader(lines, codePage, info);
    const bool ogg = BASS::ParseOggInfo(lines, codePage, info);
    require(http == !lines.isEmpty() && wma == http && ogg == http, "found without lines");
    require(info.tagsText.count(QLatin1Char('\n')) >= lines.size(), "tagsText lost lines");
}

void oggComments(const QByteArrayList &comments, const char *codePage)
{
    BASS::MetaTitle title;
    const bool recognised = BASS::ParseOggTitle(comments, codePage, title);
    require(title.rawBlock.size() <= BASS::MaxMetaBlockBytes, "Ogg raw block over the bound");
    require(recognised || title.title.isEmpty(), "title from unrelated comments");
    bool keyed = false;
    for (const QByteArray &c : comments)
        keyed = keyed || c.contains('=');
    require(!recognised || keyed, "recognised without a KEY=value comment");
}

void titleTemplate(const QString &tmpl, const QString &text)
{
    QString artist, song;
    BASS::MatchTitleTemplate(tmpl, text, &artist, &song);
    const QString bounded = text.left(BASS::MaxMetaBlockBytes); // captures are pieces of it
    require(bounded.contains(artist) && bounded.contains(song), "capture is not part of the text");
}

void process(const QByteArrayList &parts, const char *codePage)
{
    BASS::MetaTitle title;
    BASS::ParseMetaBlock(parts.value(1), codePage, title);
    BASS::Song current;
    QString artist, song;
    BASS::SplitTitle(QString::fromUtf8(parts.value(2)), &artist, &song);
    current.setArtist(artist);
    current.setTitle(song);
    const BASS::Song before(current);
    if (BASS::ProcessMetaData(title, QString::fromUtf8(parts.value(0)), current)) {
        require(!current.IsEmpty(), "accepted an empty song");
        require(current.artist().size() <= BASS::MaxMetaBlockBytes &&
                    current.title().size() <= BASS::MaxMetaBlockBytes,
                "accepted fields over the bound");
        require(current.artist() == current.artist().trimmed() &&
                    current.title() == current.title().trimmed(),
                "accepted fields not trimmed");
        require(before.IsEmpty() ||
                    !(before.artist().contains(current.artist()) && before.title().contains(current.title())),
                "accepted a repeat");
    } else {
        require(current.artist() == before.artist() && current.title() == before.title(),
                "a rejection changed the song");
    }
    require(BASS::CleanTitleText(title.title).size() <= title.title.size(), "cleaning grew the text");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The title processing writes debug lines; thousands a second would only slow the run.
    static const bool quiet = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        return true;
    }();
    (void)quiet;
    const auto table = BASS::CodePageTable();
    const char *codePage = size && data[0] < table.size() ? table[data[0]].codePage : nullptr;
    // A view on the fuzzer's own buffer, so that reads past its end are seen.
    const QByteArrayView rest(reinterpret_cast<const char *>(data) + (size ? 1 : 0),
                              qsizetype(size ? size - 1 : 0));
    blocks(rest, codePage);
    headers(rest, codePage);
    const QByteArrayList parts = rest.toByteArray().split('\0');
    oggComments(parts, codePage);
    titleTemplate(QString::fromUtf8(parts.value(0)), QString::fromUtf8(parts.value(1)));
    process(parts, codePage);
    return 0;
}
