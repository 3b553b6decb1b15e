// Filling station lists with 5 000 stations each from a local HTTPS directory (the real client
// reading a real reply): time per fill, the longest time the GUI thread went without serving its
// event loop while a list filled and while it was scrolled, and the process RSS with three full
// lists. Prints "name: value" lines last.

#include "appsettings.h"
#include "httpserver.h"
#include "testca.h"
#include "treestationwidget.h"
#include "tunoraapi.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int Stations = 5000;

QByteArray reply(int stations)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<stations><results_total>" +
                     QByteArray::number(stations) + "</results_total><limit>" + QByteArray::number(stations) +
                     "</limit>\n";
    for (int i = 0; i < stations; ++i) {
        const QByteArray n = QByteArray::number(i);
        xml +=
            "<station><id>" + n + "</id><name>Station " + n + " &amp; Friends</name><url_website>radio" + n +
            ".example</url_website><streams><stream><url_listen>http://stream" + n +
            ".example:8000/live.mp3</url_listen><bitrate>128</bitrate><type>mp3</type></stream>"
            "<stream><url_listen>http://stream" +
            n +
            ".example:8000/live.aac</url_listen><bitrate>64</bitrate><type>mp4</type></stream></streams>"
            "<genres><genre><name>Rock</name></genre><genre><name>Indie</name></genre></genres>"
            "<country_name>Germany</country_name><location>Berlin</location><whatsplaying><artist>Artist " +
            n + "</artist><song>Song " + n + "</song></whatsplaying></station>\n";
    }
    return xml + "</stations>\n";
}

long rssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Measures the longest gap between two turns of the event loop while it runs.
class StallMeter
{
public:
    StallMeter()
    {
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
    }
    void start()
    {
        m_longest = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    double stopMs()
    {
        m_timer.stop();
        return double(std::max(m_longest, m_clock.nsecsElapsed() - m_last)) / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    qputenv("QT_LOGGING_RULES", "tunora.directory.debug=false;default.debug=false");
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
    QApplication app(argc, argv);
    AppSettings::setApplicationFolderOverride(home.path());

    TunoraTest::TestCa ca;
    if (!ca.isValid()) {
        std::fprintf(stderr, "browser-fill: %s\n", qPrintable(ca.error()));
        return 1;
    }
    TunoraTest::HttpServer server;
    if (!server.listenTls(ca.serverCertificate(), ca.serverKey()))
        return 1;
    const QByteArray body = reply(Stations);
    StallMeter meter;
    server.setHandler([&](const TunoraTest::HttpRequest &) { return TunoraTest::HttpResponse::ok(body); });
    AppSettings::instance().setEndpoint(AppSettings::DirectoryRoot, server.url(QStringLiteral("/")));
    AppSettings::instance().setCaFile(ca.caFile());
    TunoraAPI::configureHttp();

    // The directory client alone reading the same reply, for comparison: what it holds the event
    // loop for is not the list's doing.
    double clientStall = 0;
    {
        TunoraAPI api;
        QEventLoop loop;
        QObject::connect(&api, &BASS::BaseRadioAPI::signal_requestFinished, &loop, &QEventLoop::quit);
        meter.start();
        api.searchStations(QStringLiteral("client only"), 0);
        loop.exec();
        clientStall = meter.stopMs();
    }

    const long rssBefore = rssKiB();
    std::vector<std::unique_ptr<TreeStationWidget>> lists;
    std::vector<double> fills, stalls, scrollStalls;
    for (int i = 0; i < 3; ++i) {
        auto list = std::make_unique<TreeStationWidget>();
        list->resize(1000, 700);
        list->show();
        QEventLoop loop;
        QObject::connect(list.get(), &TreeStationWidget::signal_filled, &loop, &QEventLoop::quit);
        QElapsedTimer clock;
        meter.start();
        clock.start();
        list->queryStations(QStringLiteral("station %1").arg(i));
        loop.exec();
        fills.push_back(double(clock.nsecsElapsed()) / 1e6);
        stalls.push_back(meter.stopMs());
        if (list->topLevelItemCount() != Stations) {
            std::fprintf(stderr, "browser-fill: %d rows instead of %d\n", list->topLevelItemCount(),
                         Stations);
            return 1;
        }
        // Scrolling through the whole list, a page per event-loop turn.
        meter.start();
        QScrollBar *bar = list->verticalScrollBar();
        for (int v = 0; v <= bar->maximum(); v += std::max(1, bar->pageStep())) {
            bar->setValue(v);
            list->viewport()->repaint();
            QCoreApplication::processEvents();
        }
        scrollStalls.push_back(meter.stopMs());
        lists.push_back(std::move(list));
    }
    const long rssAfter = rssKiB();
    for (size_t i = 0; i < fills.size(); ++i)
        std::printf("fill %zu: %.1f ms, longest stall %.1f ms, longest stall scrolling %.1f ms\n", i + 1,
                    fills[i], stalls[i], scrollStalls[i]);
    std::printf("stations per list: %d\n", Stations);
    std::vector<double> sorted = fills;
    std::sort(sorted.begin(), sorted.end());
    std::printf("fill_ms_median: %.1f\n", sorted[1]);
    std::printf("longest_stall_ms: %.1f\n", *std::max_element(stalls.begin(), stalls.end()));
    std::printf("client_only_longest_stall_ms: %.1f\n", clientStall);
    std::printf("longest_scroll_stall_ms: %.1f\n",
                *std::max_element(scrollStalls.begin(), scrollStalls.end()));
    std::printf("rss_before_kib: %ld\n", rssBefore);
    std::printf("rss_three_lists_kib: %ld\n", rssAfter);
    return 0;
}
