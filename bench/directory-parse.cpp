// Reading station-list replies of 1 000 and 10 000 stations the way the directory client does:
// the guarded element walk while the reply arrives (in 16 KiB pieces), then the tag-scanner
// reader over the whole text. Prints the time per station for both sizes; reading must stay
// linear, so the per-station figures of the two sizes should be about equal.

#include "baseradioapi.h"
#include "directoryreader.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QByteArray reply(int stations)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<stations><results_total>" +
                     QByteArray::number(stations) + "</results_total><limit>" + QByteArray::number(stations) +
                     "</limit>\n";
    for (int i = 0; i < stations; ++i) {
        const QByteArray n = QByteArray::number(i);
        const QByteArray net = QByteArray::number(i % 50);
        const QByteArray network =
            i % 3 == 0 ? QByteArray("<network><id>" + net + "</id><name>Net " + net +
                                    "</name><url_website>http://net.example</url_website></network>")
                       : QByteArray("<network_id>" + net + "</network_id>");
        xml += "<station><id>" + n + "</id><name>Station " + n +
               " &amp; Friends</name>"
               "<url_website></url_website>"
               "<streams><stream><url_listen>http://stream" +
               n +
               ".example:8000/live.mp3</url_listen>"
               "<bitrate>128</bitrate><type>mp3</type></stream>"
               "<stream><url_listen>http://stream" +
               n +
               ".example:8000/live.aac</url_listen>"
               "<bitrate>64</bitrate><type>mp4</type></stream></streams>"
               "<genres><genre><name>Rock</name></genre><genre><name>Indie</name></genre></genres>"
               "<country_name>Germany</country_name><location>Berlin</location>"
               "<whatsplaying><artist>Artist " +
               n + "</artist><song>Song &lt;" + n + "&gt;</song></whatsplaying>" + network + "<favorite>" +
               (i % 7 == 0 ? "true" : "false") + "</favorite></station>\n";
    }
    return xml + "</stations>\n";
}

struct Times
{
    double walkNs = 0;
    double scanNs = 0;
};

Times measure(const QByteArray &bytes, int stations)
{
    constexpr qsizetype Piece = 16 * 1024;
    std::vector<double> walks, scans;
    for (int round = 0; round < 7; ++round) {
        QElapsedTimer timer;
        timer.start();
        BASS::BaseRadioXmlParser parser;
        int tokens = 0;
        for (qsizetype at = 0; at < bytes.size(); at += Piece) {
            if (!parser.addData(QByteArrayView(bytes).sliced(at, qMin(Piece, bytes.size() - at))))
                qFatal("reply refused: %s", qPrintable(parser.errorString()));
            parser.walk([&](const BASS::BaseRadioXmlParser &) { ++tokens; });
        }
        parser.endOfData();
        if (parser.walk([&](const BASS::BaseRadioXmlParser &) { ++tokens; }) !=
            BASS::BaseRadioXmlParser::Finished)
            qFatal("walk did not finish");
        walks.push_back(double(timer.nsecsElapsed()));

        timer.restart();
        DirectoryReader reader;
        BASS::Station working;
        int found = 0;
        reader.readStationList(parser.text(), working, [&] { ++found; });
        scans.push_back(double(timer.nsecsElapsed()));
        if (found != stations)
            qFatal("read %d of %d stations", found, stations);
    }
    std::sort(walks.begin(), walks.end());
    std::sort(scans.begin(), scans.end());
    return {walks[walks.size() / 2] / stations, scans[scans.size() / 2] / stations};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray small = reply(1000);
    const QByteArray large = reply(10000);
    const Times a = measure(small, 1000);
    const Times b = measure(large, 10000);
    std::printf("reply sizes: %lld and %lld bytes; median of 7 rounds\n",
                static_cast<long long>(small.size()), static_cast<long long>(large.size()));
    std::printf("walk_us_per_station_1000: %.2f\n", a.walkNs / 1000);
    std::printf("walk_us_per_station_10000: %.2f\n", b.walkNs / 1000);
    std::printf("scan_us_per_station_1000: %.2f\n", a.scanNs / 1000);
    std::printf("scan_us_per_station_10000: %.2f\n", b.scanNs / 1000);
    std::printf("total_us_per_station_1000: %.2f\n", (a.walkNs + a.scanNs) / 1000);
    std::printf("total_us_per_station_10000: %.2f\n", (b.walkNs + b.scanNs) / 1000);
    std::printf("ratio_10000_to_1000: %.2f\n", (b.walkNs + b.scanNs) / (a.walkNs + a.scanNs));
    return 0;
}
