// Throughput and latency of the directory service with a catalogue of 50 000 stations: station
// search, favourites and playing-now at 64 connections (wrk, one thread), on SQLite and on
// PostgreSQL, side by side with nginx serving one of the same search replies as a static file
// over the same TLS set-up (the ceiling). Prints a table, then "name: value" lines.
//
//   server-directory-bench [--stations N] [--seconds S] [--connections C]

#include "directoryservice.h"
#include "net.h"
#include "postgres.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QUrlQuery>

#include <algorithm>
#include <cstdio>
#include <random>
#include <signal.h>
#include <unistd.h>

using namespace TunoraTest;

namespace {

QTextStream out(stdout);

QString sourceDir()
{
    const QString env = qEnvironmentVariable("TUNORA_SOURCE_DIR");
    return env.isEmpty() ? QStringLiteral(TUNORA_SOURCE_DIR_FALLBACK) : env;
}

// The shipped catalogue, copied until it has n stations; copies get their own names, keys and
// stream addresses so that search and ranking see n distinct stations.
bool writeScaledCatalogue(const QString &path, int n)
{
    QFile in(sourceDir() + QStringLiteral("/data/webradios.json"));
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QJsonObject base =
        QJsonDocument::fromJson(in.readAll()).object().value(QLatin1String("webradios")).toObject();
    static const char *const words[] = {"Blue",  "Night", "City", "Wave", "Sun",
                                        "River", "North", "Gold", "Echo", "Pulse"};
    QJsonObject radios;
    int copy = 0;
    while (radios.size() < n) {
        for (auto it = base.constBegin(); it != base.constEnd() && radios.size() < n; ++it) {
            QJsonObject s = it.value().toObject();
            if (copy > 0) {
                const QString name = s.value(QLatin1String("Name")).toString() + QLatin1Char(' ') +
                                     QLatin1String(words[copy % 10]) + QLatin1Char(' ') +
                                     QString::number(copy);
                const QString url =
                    s.value(QLatin1String("StreamUri")).toString() + QStringLiteral("?copy=%1").arg(copy);
                s.insert(QStringLiteral("Name"), name);
                s.insert(QStringLiteral("StreamUri"), url);
            }
            radios.insert(it.key() + QStringLiteral("#%1").arg(copy), s);
        }
        ++copy;
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    return f.write(QJsonDocument(QJsonObject{{QStringLiteral("webradios"), radios}})
                       .toJson(QJsonDocument::Compact)) > 0;
}

QByteArray fetch(const QString &address, const QSslConfiguration &tls)
{
    QNetworkAccessManager m;
    QNetworkRequest r(QUrl::fromEncoded(address.toUtf8()));
    r.setSslConfiguration(tls);
    QNetworkReply *reply = m.get(r);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray body = reply->readAll();
    delete reply;
    return body;
}

QString enc(const QString &s)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(s, "-._~"));
}

struct Target
{
    QString root;
    QString account; // "?key=...&user=...&pass=...&load_network=1&apiv=1.0&formats=..."
    QStringList favouriteIds;
    QStringList someIds;
};

// Signs up, activates and fills the favourites of a benchmark listener.
bool prepareListener(DirectoryService &service, Target *t, QString *error)
{
    const QSslConfiguration tls = service.sslConfiguration();
    t->root = service.root().toString();
    const QString key = DirectoryService::apiKey();
    const QString user = QStringLiteral("bench"), pass = QStringLiteral("bench-password");
    fetch(t->root + QStringLiteral("?key=%1&apiv=1.0&account=new&user=%2&pass=%3&email=%4")
                        .arg(key, user, enc(pass), enc(QStringLiteral("bench@example.org"))),
          tls);
    if (fetch(service.linkFromLastMail(QStringLiteral("/account/activate")).toString(QUrl::FullyEncoded), tls)
            .isEmpty()) {
        *error = QStringLiteral("cannot activate the benchmark account");
        return false;
    }
    t->account =
        t->root + QStringLiteral("?key=%1&user=%2&pass=%3&load_network=1&apiv=1.0&formats=wm,mp3,aac,ac3,ogg")
                      .arg(key, user, enc(pass));
    const QByteArray found = fetch(t->account + QStringLiteral("&limit=50&page=0&search=radio"), tls);
    static const QRegularExpression id(QStringLiteral("<station><id>(\\d+)</id>"));
    auto it = id.globalMatch(QString::fromUtf8(found));
    while (it.hasNext())
        t->someIds << it.next().captured(1);
    if (t->someIds.size() < 40) {
        *error = QStringLiteral("the catalogue search found too few stations");
        return false;
    }
    for (int i = 0; i < 20; ++i) {
        t->favouriteIds << t->someIds[i];
        fetch(t->account + QStringLiteral("&account=favorites&add=") + t->someIds[i], tls);
    }
    return true;
}

struct Figures
{
    double rps = 0;
    double p50ms = 0;
    double p99ms = 0;
    QString error;
};

double toMs(const QString &value)
{
    static const QRegularExpression re(QStringLiteral("([0-9.]+)(us|ms|s)"));
    const QRegularExpressionMatch m = re.match(value);
    if (!m.hasMatch())
        return -1;
    const double v = m.captured(1).toDouble();
    if (m.captured(2) == QLatin1String("us"))
        return v / 1000.0;
    if (m.captured(2) == QLatin1String("s"))
        return v * 1000.0;
    return v;
}

// One wrk run over the given request targets (path + query), taken in turn.
Figures runWrk(const QString &base, const QStringList &paths, int connections, int seconds,
               const QString &scriptDir)
{
    Figures f;
    const QString script =
        scriptDir + QStringLiteral("/requests-%1.lua").arg(qHash(paths.join(QLatin1Char('\n'))));
    QFile lua(script);
    if (!lua.open(QIODevice::WriteOnly)) {
        f.error = QStringLiteral("cannot write the wrk script");
        return f;
    }
    QByteArray text = "local paths = {\n";
    for (const QString &p : paths)
        text += "  \"" + p.toLatin1() + "\",\n";
    text +=
        "}\nlocal i = 0\nrequest = function()\n  i = i % #paths + 1\n  return wrk.format(\"GET\", "
        "paths[i])\nend\n"
        "response = function(status, headers, body)\n  if status ~= 200 then wrk.thread:stop() end\nend\n";
    lua.write(text);
    lua.close();
    QProcess wrk;
    wrk.setProcessChannelMode(QProcess::MergedChannels);
    wrk.start(findProgram(QStringLiteral("wrk")),
              {QStringLiteral("-t1"), QStringLiteral("-c%1").arg(connections),
               QStringLiteral("-d%1s").arg(seconds), QStringLiteral("--latency"), QStringLiteral("--timeout"),
               QStringLiteral("10s"), QStringLiteral("-s"), script, base});
    if (!wrk.waitForFinished((seconds + 60) * 1000)) {
        f.error = QStringLiteral("wrk did not finish");
        return f;
    }
    const QString report = QString::fromUtf8(wrk.readAll());
    const QRegularExpressionMatch rps =
        QRegularExpression(QStringLiteral("Requests/sec:\\s+([0-9.]+)")).match(report);
    const QRegularExpressionMatch p50 = QRegularExpression(QStringLiteral("\\s50%\\s+(\\S+)")).match(report);
    const QRegularExpressionMatch p99 = QRegularExpression(QStringLiteral("\\s99%\\s+(\\S+)")).match(report);
    if (!rps.hasMatch() || !p50.hasMatch() || !p99.hasMatch() || report.contains(QLatin1String("Non-2xx"))) {
        f.error = QStringLiteral("unexpected wrk output: ") + report;
        return f;
    }
    f.rps = rps.captured(1).toDouble();
    f.p50ms = toMs(p50.captured(1));
    f.p99ms = toMs(p99.captured(1));
    return f;
}

QString pathOf(const QString &address)
{
    const QUrl u = QUrl::fromEncoded(address.toUtf8());
    return u.path(QUrl::FullyEncoded) + QLatin1Char('?') + u.query(QUrl::FullyEncoded);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int stations = 50000, seconds = 10, connections = 64;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--stations"))
            stations = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--seconds"))
            seconds = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--connections"))
            connections = args[i + 1].toInt();
    }
    if (findProgram(QStringLiteral("wrk")).isEmpty() || findProgram(QStringLiteral("nginx")).isEmpty() ||
        !PostgresCluster::available()) {
        fprintf(stderr, "server-directory-bench: needs wrk, nginx and PostgreSQL (scripts/install-deps)\n");
        return 2;
    }
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/tunora-bench-XXXXXX"));
    const QString catalogue = work.filePath(QStringLiteral("catalogue.json"));
    if (!writeScaledCatalogue(catalogue, stations)) {
        fprintf(stderr, "cannot write the scaled catalogue\n");
        return 1;
    }

    PostgresCluster postgres;
    QString error;
    if (!postgres.start(&error)) {
        fprintf(stderr, "PostgreSQL: %s\n", qPrintable(error));
        return 1;
    }
    struct Backend
    {
        QString name;
        DirectoryService service;
        Target target;
        qint64 startMs = 0;
    };
    Backend sqlite{QStringLiteral("sqlite"), {}, {}, 0};
    Backend pg{QStringLiteral("postgresql"), {}, {}, 0};
    for (Backend *b : {&sqlite, &pg}) {
        DirectoryService::Options o;
        o.importCatalogue = false;
        o.extraCatalogues << catalogue;
        o.settings.insert(QStringLiteral("service/max_connections"), QStringLiteral("1024"));
        o.settings.insert(QStringLiteral("service/trusted_proxies"), QStringLiteral("127.0.0.1"));
        if (b == &pg) {
            o.backend = DirectoryService::Backend::PostgreSQL;
            o.postgres = &postgres;
        }
        QElapsedTimer t;
        t.start();
        if (!b->service.start(o)) {
            fprintf(stderr, "%s: %s\n", qPrintable(b->name), qPrintable(b->service.errorString()));
            return 1;
        }
        b->startMs = t.elapsed();
        if (!prepareListener(b->service, &b->target, &error)) {
            fprintf(stderr, "%s: %s\n", qPrintable(b->name), qPrintable(error));
            return 1;
        }
    }

    // A second PostgreSQL instance on the same database, for the two behind nginx.
    DirectoryService pg2;
    {
        DirectoryService::Options o;
        o.importCatalogue = false;
        o.backend = DirectoryService::Backend::PostgreSQL;
        o.postgres = &postgres;
        o.settings.insert(QStringLiteral("service/max_connections"), QStringLiteral("1024"));
        o.settings.insert(QStringLiteral("service/trusted_proxies"), QStringLiteral("127.0.0.1"));
        o.settings.insert(QStringLiteral("database/name"),
                          QSettings(pg.service.configFile(), QSettings::IniFormat)
                              .value(QStringLiteral("database/name"))
                              .toString());
        if (!pg2.start(o)) {
            fprintf(stderr, "second instance: %s\n", qPrintable(pg2.errorString()));
            return 1;
        }
    }

    // The three request mixes: varied searches, one listener's favourites, playing-now lists.
    const QStringList terms{QStringLiteral("jazz"),
                            QStringLiteral("rock"),
                            QStringLiteral("radio"),
                            QStringLiteral("news berlin"),
                            QStringLiteral("gen:\"Electronic & Dance\""),
                            QStringLiteral("country:\"DE\""),
                            QStringLiteral("blue night"),
                            QStringLiteral("classic"),
                            QStringLiteral("fm"),
                            QStringLiteral("pop 80")};
    auto searchPaths = [&](const Target &t) {
        QStringList p;
        for (qsizetype i = 0; i < terms.size(); ++i)
            p << pathOf(t.account + QStringLiteral("&limit=25&page=%1&search=").arg(i % 3) + enc(terms[i]));
        return p;
    };
    auto favouritePaths = [&](const Target &t) {
        return QStringList{pathOf(t.account + QStringLiteral("&account=favorites"))};
    };
    auto playingPaths = [&](const Target &t) {
        QStringList p;
        for (int i = 0; i + 10 <= t.someIds.size(); i += 5)
            p << pathOf(t.account + QStringLiteral("&playingnow=") +
                        t.someIds.mid(i, 10).join(QLatin1Char(',')));
        return p;
    };

    // nginx serves the SQLite service's reply to the first search as a file.
    const QString site = work.filePath(QStringLiteral("site"));
    QDir().mkpath(site);
    {
        QFile f(site + QStringLiteral("/search.xml"));
        f.open(QIODevice::WriteOnly);
        f.write(fetch(sqlite.target.account + QStringLiteral("&limit=25&page=0&search=jazz"),
                      sqlite.service.sslConfiguration()));
    }
    const quint16 nginxPort = freeTcpPort();
    const quint16 oneProxyPort = freeTcpPort();
    const quint16 twoProxyPort = freeTcpPort();
    const QString tls = sqlite.service.dataFolder() + QStringLiteral("/tls");
    QFile conf(work.filePath(QStringLiteral("nginx.conf")));
    conf.open(QIODevice::WriteOnly);
    conf.write(
        QStringLiteral(
            "worker_processes 1;\ndaemon off;\npid %1/nginx.pid;\nerror_log %1/nginx-error.log;\n%4"
            "events { worker_connections 1024; }\n"
            "http { access_log off; client_body_temp_path %1; proxy_temp_path %1; fastcgi_temp_path %1; "
            "uwsgi_temp_path %1; scgi_temp_path %1; keepalive_requests 100000;\n"
            "  server { listen 127.0.0.1:%2 ssl; ssl_certificate %3/server.pem; "
            "ssl_certificate_key %3/server.key; ssl_protocols TLSv1.2 TLSv1.3;\n"
            "    location / { root %1/site; default_type text/xml; } }\n"
            "  upstream one { server 127.0.0.1:%5; keepalive 64; }\n"
            "  upstream two { server 127.0.0.1:%5; server 127.0.0.1:%6; keepalive 64; }\n"
            "  server { listen 127.0.0.1:%7 ssl; ssl_certificate %3/server.pem; "
            "ssl_certificate_key %3/server.key; location / { proxy_pass https://one; proxy_http_version 1.1; "
            "proxy_set_header Connection \"\"; proxy_set_header X-Forwarded-For $remote_addr; } }\n"
            "  server { listen 127.0.0.1:%8 ssl; ssl_certificate %3/server.pem; "
            "ssl_certificate_key %3/server.key; location / { proxy_pass https://two; proxy_http_version 1.1; "
            "proxy_set_header Connection \"\"; proxy_set_header X-Forwarded-For $remote_addr; } } }\n")
            .arg(work.path())
            .arg(nginxPort)
            .arg(tls, ::geteuid() == 0 ? QStringLiteral("user root;\n") : QString())
            .arg(pg.service.port())
            .arg(pg2.port())
            .arg(oneProxyPort)
            .arg(twoProxyPort)
            .toUtf8());
    conf.close();
    QProcess nginx;
    nginx.setProcessChannelMode(QProcess::MergedChannels);
    nginx.start(findProgram(QStringLiteral("nginx")),
                {QStringLiteral("-p"), work.path(), QStringLiteral("-c"), conf.fileName()});
    if (!nginx.waitForStarted() || !waitForTcpPort(nginxPort, 10000)) {
        fprintf(stderr, "nginx did not start: %s\n", nginx.readAll().constData());
        return 1;
    }

    struct Row
    {
        QString name;
        Figures f;
    };
    QList<Row> rows;
    const QString nginxBase = QStringLiteral("https://127.0.0.1:%1").arg(nginxPort);
    rows.append({QStringLiteral("nginx_static"),
                 runWrk(nginxBase, {QStringLiteral("/search.xml")}, connections, seconds, work.path())});
    for (Backend *b : {&sqlite, &pg}) {
        const QString base = b->target.root.chopped(1);
        rows.append({b->name + QStringLiteral("_search"),
                     runWrk(base, searchPaths(b->target), connections, seconds, work.path())});
        rows.append({b->name + QStringLiteral("_favorites"),
                     runWrk(base, favouritePaths(b->target), connections, seconds, work.path())});
        rows.append({b->name + QStringLiteral("_playingnow"),
                     runWrk(base, playingPaths(b->target), connections, seconds, work.path())});
    }
    // One PostgreSQL instance behind nginx, and two on the same database behind it.
    for (const auto &[name, port] : {std::pair{QStringLiteral("postgresql_nginx_1"), oneProxyPort},
                                     std::pair{QStringLiteral("postgresql_nginx_2"), twoProxyPort}}) {
        const QString base = QStringLiteral("https://127.0.0.1:%1").arg(port);
        rows.append({name + QStringLiteral("_search"),
                     runWrk(base, searchPaths(pg.target), connections, seconds, work.path())});
        rows.append({name + QStringLiteral("_favorites"),
                     runWrk(base, favouritePaths(pg.target), connections, seconds, work.path())});
    }
    ::kill(pid_t(nginx.processId()), SIGQUIT);
    nginx.waitForFinished(10000);
    pg2.stop();

    const double ceiling = rows.first().f.rps;
    out << QStringLiteral(
               "%1 stations, %2 connections, %3 s per run, wrk with one thread, nginx with one worker, "
               "%4 cores\n")
               .arg(stations)
               .arg(connections)
               .arg(seconds)
               .arg(QThread::idealThreadCount());
    out << QStringLiteral("%1 %2 %3 %4 %5\n")
               .arg(QStringLiteral("run"), -24)
               .arg(QStringLiteral("req/s"), 10)
               .arg(QStringLiteral("p50 ms"), 9)
               .arg(QStringLiteral("p99 ms"), 9)
               .arg(QStringLiteral("of nginx"), 9);
    for (const Row &r : std::as_const(rows)) {
        if (!r.f.error.isEmpty()) {
            out << r.name << ": " << r.f.error << "\n";
            continue;
        }
        out << QStringLiteral("%1 %2 %3 %4 %5\n")
                   .arg(r.name, -24)
                   .arg(r.f.rps, 10, 'f', 0)
                   .arg(r.f.p50ms, 9, 'f', 2)
                   .arg(r.f.p99ms, 9, 'f', 2)
                   .arg(ceiling > 0 ? r.f.rps / ceiling : 0, 9, 'f', 3);
    }
    out << "sqlite_start_with_import_ms: " << sqlite.startMs << "\n";
    out << "postgresql_start_with_import_ms: " << pg.startMs << "\n";
    for (const Row &r : std::as_const(rows)) {
        out << r.name << "_rps: " << QString::number(r.f.rps, 'f', 0) << "\n";
        out << r.name << "_p50_ms: " << QString::number(r.f.p50ms, 'f', 2) << "\n";
        out << r.name << "_p99_ms: " << QString::number(r.f.p99ms, 'f', 2) << "\n";
        out << r.name << "_ratio_to_nginx: " << QString::number(ceiling > 0 ? r.f.rps / ceiling : 0, 'f', 3)
            << "\n";
    }
    out.flush();
    sqlite.service.stop();
    pg.service.stop();
    return 0;
}
