#include "covers.h"

#include "database.h"
#include "textnorm.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>

namespace {

const char *const Fields[] = {"wrapperType",
                              "kind",
                              "artistName",
                              "trackName",
                              "trackCensoredName",
                              "collectionName",
                              "collectionCensoredName",
                              "artworkUrl30",
                              "artworkUrl60",
                              "artworkUrl100",
                              "artworkUrl170",
                              "trackViewUrl",
                              "previewUrl",
                              "primaryGenreName"};

QString clip(const QJsonValue &v)
{
    QString s = v.toString();
    for (QChar &c : s) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char(' ');
    }
    return s.left(2048);
}

} // namespace

CoverSearch::CoverSearch(Database &db, const ServiceConfig &config, QObject *parent)
    : QObject(parent)
    , m_db(db)
    , m_config(config)
{}

CoverSearch::~CoverSearch() = default;

QString CoverSearch::cleanTerm(const QString &raw)
{
    QString t = raw;
    t.replace(QLatin1Char('+'), QLatin1Char(' '));
    static const QRegularExpression placeholder(QStringLiteral("\\{\\d\\}"));
    t.remove(placeholder);
    return t.simplified().left(256);
}

QJsonArray CoverSearch::sanitize(const QJsonArray &results)
{
    QJsonArray out;
    for (const QJsonValue v : results) {
        if (out.size() >= 50)
            break;
        const QJsonObject o = v.toObject();
        QJsonObject clean;
        for (const char *f : Fields) {
            const QJsonValue value = o.value(QLatin1String(f));
            if (value.isString())
                clean.insert(QLatin1String(f), clip(value));
        }
        if (!clean.isEmpty())
            out.append(clean);
    }
    return out;
}

QByteArray CoverSearch::reply(const QJsonArray &results)
{
    QJsonObject o;
    o.insert(QStringLiteral("resultCount"), results.size());
    o.insert(QStringLiteral("results"), results);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QJsonArray CoverSearch::local(const QStringList &tokens)
{
    QJsonArray out;
    if (tokens.isEmpty())
        return out;
    QString sql = QStringLiteral("SELECT artist, title, album, artwork60, artwork100, artwork170, "
                                 "track_view_url, preview_url, genre FROM "
                                 "covers WHERE 1 = 1");
    const QStringList used = tokens.mid(0, 8);
    for (qsizetype i = 0; i < used.size(); ++i)
        sql += QLatin1String(" AND search_text LIKE ?");
    sql += QLatin1String(" ORDER BY id LIMIT 10");
    QSqlQuery &q = m_db.prepare(sql);
    for (const QString &t : used)
        q.addBindValue(
            QString(QLatin1Char('%') + t + QLatin1Char('%'))); // tokens hold only letters and digits
    if (!m_db.exec(q))
        return out;
    while (q.next()) {
        QJsonObject o;
        o.insert(QStringLiteral("wrapperType"), QStringLiteral("track"));
        o.insert(QStringLiteral("kind"), QStringLiteral("song"));
        o.insert(QStringLiteral("artistName"), q.value(0).toString());
        o.insert(QStringLiteral("trackName"), q.value(1).toString());
        o.insert(QStringLiteral("trackCensoredName"), q.value(1).toString());
        o.insert(QStringLiteral("collectionName"), q.value(2).toString());
        o.insert(QStringLiteral("collectionCensoredName"), q.value(2).toString());
        o.insert(QStringLiteral("artworkUrl60"), q.value(3).toString());
        o.insert(QStringLiteral("artworkUrl100"), q.value(4).toString());
        o.insert(QStringLiteral("artworkUrl170"), q.value(5).toString());
        o.insert(QStringLiteral("trackViewUrl"), q.value(6).toString());
        o.insert(QStringLiteral("previewUrl"), q.value(7).toString());
        o.insert(QStringLiteral("primaryGenreName"), q.value(8).toString());
        out.append(o);
    }
    q.finish();
    return out;
}

void CoverSearch::search(const QString &term, std::function<void(const QByteArray &)> done)
{
    const QString clean = cleanTerm(term);
    const QStringList tokens = TextNorm::tokens(clean);
    const QJsonArray found = local(tokens);
    if (!found.isEmpty() || m_config.coverUpstream.isEmpty() || tokens.isEmpty()) {
        done(reply(found));
        return;
    }
    const QString key = tokens.join(QLatin1Char(' '));
    QSqlQuery &c =
        m_db.prepare(QStringLiteral("SELECT reply, fetched_at FROM cover_cache WHERE term_key = ?"));
    c.addBindValue(key);
    if (m_db.exec(c) && c.next()) {
        const QByteArray cached = c.value(0).toString().toUtf8();
        const qint64 fetched = c.value(1).toLongLong();
        c.finish();
        if (QDateTime::currentSecsSinceEpoch() - fetched < qint64(m_config.coverCacheHours) * 3600) {
            done(cached);
            return;
        }
    }
    c.finish();
    upstream(clean, key, std::move(done));
}

void CoverSearch::upstream(const QString &term, const QString &key,
                           std::function<void(const QByteArray &)> done)
{
    // Upstream requests are bounded like the hashing pool: a flood of distinct songs must not
    // open a flood of outgoing connections.
    if (m_upstreamInFlight >= 16) {
        done(reply(QJsonArray()));
        return;
    }
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QString address = m_config.coverUpstream;
    address.replace(QLatin1String("{term}"), QString::fromLatin1(QUrl::toPercentEncoding(term)));
    QNetworkRequest request{QUrl(address, QUrl::StrictMode)};
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("TunoraDirectory/1.0"));
    request.setTransferTimeout(m_config.coverUpstreamTimeoutSeconds * 1000);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(3);
    if (!m_config.coverUpstreamCaFile.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslCertificate::fromPath(m_config.coverUpstreamCaFile));
        request.setSslConfiguration(tls);
    }
    ++m_upstreamInFlight;
    QNetworkReply *r = m_network->get(request);
    const qint64 maxBytes = m_config.coverUpstreamMaxBytes;
    connect(r, &QNetworkReply::downloadProgress, r, [r, maxBytes](qint64 received, qint64 total) {
        if (received > maxBytes || total > maxBytes)
            r->abort();
    });
    connect(r, &QNetworkReply::finished, this, [this, r, key, done = std::move(done)] {
        r->deleteLater();
        --m_upstreamInFlight;
        QJsonArray results;
        bool usable = false;
        if (r->error() == QNetworkReply::NoError) {
            QJsonParseError pe;
            const QJsonDocument doc = QJsonDocument::fromJson(r->readAll(), &pe);
            if (pe.error == QJsonParseError::NoError && doc.isObject() &&
                doc.object().value(QLatin1String("results")).isArray()) {
                results = sanitize(doc.object().value(QLatin1String("results")).toArray());
                usable = true;
            }
        }
        const QByteArray json = reply(results);
        if (usable) {
            // Empty answers are cached too: the same unknown song is asked for again and again.
            QSqlQuery &q = m_db.prepare(
                QStringLiteral("INSERT INTO cover_cache (term_key, reply, fetched_at) VALUES (?, ?, ?) ON "
                               "CONFLICT (term_key) DO "
                               "UPDATE SET reply = excluded.reply, fetched_at = excluded.fetched_at"));
            q.addBindValue(key);
            q.addBindValue(QString::fromUtf8(json));
            q.addBindValue(QDateTime::currentSecsSinceEpoch());
            m_db.exec(q);
        }
        done(json);
    });
}

bool CoverSearch::importFile(const QString &path, int *count, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > 256 * 1024 * 1024) {
        if (error)
            *error = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    return importJson(f.readAll(), count, error);
}

bool CoverSearch::importJson(const QByteArray &json, int *count, QString *error)
{
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject() ||
        !doc.object().value(QLatin1String("results")).isArray()) {
        if (error)
            *error = QStringLiteral("not a cover file: expected an object with a \"results\" array");
        return false;
    }
    int n = 0;
    Transaction tx(m_db);
    for (const QJsonValue v : doc.object().value(QLatin1String("results")).toArray()) {
        const QJsonObject o = v.toObject();
        const QString artist = clip(o.value(QLatin1String("artistName"))).simplified();
        const QString title = clip(o.value(QLatin1String("trackName"))).simplified();
        QString album = clip(o.value(QLatin1String("collectionCensoredName"))).simplified();
        if (album.isEmpty())
            album = clip(o.value(QLatin1String("collectionName"))).simplified();
        if (artist.isEmpty() || title.isEmpty())
            continue;
        const QString searchText =
            TextNorm::fold(artist + QLatin1Char(' ') + title + QLatin1Char(' ') + album);
        const QString matchKey = TextNorm::fold(artist) + QLatin1Char('|') + TextNorm::fold(title) +
                                 QLatin1Char('|') + TextNorm::fold(album);
        QSqlQuery &q = m_db.prepare(QStringLiteral(
            "INSERT INTO covers (match_key, search_text, artist, title, album, artwork60, artwork100, "
            "artwork170, "
            "track_view_url, preview_url, genre) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT "
            "(match_key) "
            "DO UPDATE SET artwork60 = excluded.artwork60, artwork100 = excluded.artwork100, artwork170 = "
            "excluded.artwork170, track_view_url = excluded.track_view_url, preview_url = "
            "excluded.preview_url, "
            "genre = excluded.genre"));
        q.addBindValue(matchKey);
        q.addBindValue(searchText);
        q.addBindValue(artist);
        q.addBindValue(title);
        q.addBindValue(album);
        q.addBindValue(clip(o.value(QLatin1String("artworkUrl60"))));
        q.addBindValue(clip(o.value(QLatin1String("artworkUrl100"))));
        q.addBindValue(clip(o.value(QLatin1String("artworkUrl170"))));
        q.addBindValue(clip(o.value(QLatin1String("trackViewUrl"))));
        q.addBindValue(clip(o.value(QLatin1String("previewUrl"))));
        q.addBindValue(clip(o.value(QLatin1String("primaryGenreName"))));
        if (!m_db.exec(q)) {
            if (error)
                *error = m_db.lastError();
            return false;
        }
        ++n;
    }
    if (!tx.commit()) {
        if (error)
            *error = m_db.lastError();
        return false;
    }
    if (count)
        *count = n;
    return true;
}
