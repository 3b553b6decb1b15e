// Screenshots of the window's web pages for the README (run by scripts/screenshots under Xvfb).
//
//   web-shots window --ini INI --out DIR [--tracks N]
//        plays the INI's last station (the demo station of scripts/run) until the track history
//        holds N songs with covers (default 3), and writes DIR/welcome.png (the window on its
//        welcome page), DIR/track-history.png and DIR/wish-list.png (the first two songs wished)
//   web-shots welcome --out DIR
//        writes DIR/welcome-side-by-side.png: the welcome page as the window draws it without the
//        web engine, beside the same page template rendered by the engine, and prints the share
//        of pixels that differ

#include "appsettings.h"
#include "htmlfolder.h"
#include "trackinfo.h"
#include "tracklists.h"
#include "trackviews.h"
#include "tunorade.h"
#include "webprofile.h"
#include "welcomeview.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHBoxLayout>
#include <QPainter>
#include <QTextStream>
#include <QTimer>
#include <QWebEngineView>

namespace {

QTextStream out(stdout);

QString option(const QStringList &args, const QString &name, const QString &fallback = QString())
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : fallback;
}

// Lets the event loop run until the condition holds or the time is up.
bool waitFor(const std::function<bool()> &condition, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return condition();
}

// A short settle for the engine to paint what it loaded (images arrive after loadFinished).
void settle(int ms)
{
    waitFor([] { return false; }, ms);
}

bool save(const QImage &image, const QString &file)
{
    const bool ok = image.save(file);
    out << (ok ? "wrote " : "could not write ") << file << Qt::endl;
    return ok;
}

bool waitForPage(WebBrowser *view)
{
    return waitFor([view] { return view->isLoaded() && !view->isLoading(); }, 60000);
}

int windowShots(const QStringList &args)
{
    const QString dir = option(args, QStringLiteral("--out"));
    const int wanted = option(args, QStringLiteral("--tracks"), QStringLiteral("3")).toInt();
    TunoraDE::setMessageHook(
        [](BASS::MessageKind, const QString &, const QString &text, QMessageBox::StandardButtons) {
            fprintf(stderr, "message: %s\n", qPrintable(text));
            return int(QMessageBox::Ok);
        });
    // The pictures show the two songs wished here, not what earlier runs left.
    QFile::remove(AppSettings::instance().wishListFile());

    TunoraDE window(nullptr, 0);
    window.slot_connectStation();
    if (!waitFor([&] { return !window.trackLists()->history().isEmpty(); }, 90000)) {
        out << "no song with a cover arrived" << Qt::endl;
        return 1;
    }
    settle(500);
    bool ok = save(window.grab().toImage(), dir + QStringLiteral("/welcome.png"));

    // The demo station changes its title every 20 s.
    waitFor([&] { return window.trackLists()->history().size() >= wanted; }, wanted * 30000);
    window.showTrackHistoryPage();
    WebViewHistory *history = window.trackHistoryPage()->view();
    ok = waitForPage(history) && ok;
    const BASS::TrackList &songs = window.trackLists()->history();
    for (int n = 0; n < qMin(2, int(songs.size())); ++n)
        window.slot_webViewLinkClicked(
            QUrl(QStringLiteral("tunora://cmd?add_to_wishlist_track_%1").arg(songs.at(n)->trackId())));
    ok = waitForPage(history) && ok;
    settle(1500);
    ok = save(window.grab().toImage(), dir + QStringLiteral("/track-history.png")) && ok;

    window.showWishListPage();
    ok = waitForPage(window.wishListPage()->view()) && ok;
    settle(1500);
    ok = save(window.grab().toImage(), dir + QStringLiteral("/wish-list.png")) && ok;
    window.stop(true);
    return ok ? 0 : 1;
}

int welcomeSideBySide(const QStringList &args)
{
    const QString dir = option(args, QStringLiteral("--out"));
    const QSize size(760, 360);
    QWidget frame;
    auto *layout = new QHBoxLayout(&frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *drawn = new WelcomeView;
    drawn->setFixedSize(size);
    auto *engine = new QWebEngineView(WebProfile::shared(), &frame);
    engine->setFixedSize(size);
    layout->addWidget(drawn);
    layout->addWidget(engine);
    frame.show();
    bool loaded = false;
    QObject::connect(engine, &QWebEngineView::loadFinished, [&](bool ok) { loaded = ok; });
    engine->setHtml(drawn->pageHtml(), HtmlFolder::baseUrl());
    if (!waitFor([&] { return loaded; }, 60000)) {
        out << "the engine did not load the welcome page" << Qt::endl;
        return 1;
    }
    settle(1500);
    const QImage left = drawn->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage right = engine->grab().toImage().convertToFormat(QImage::Format_RGB32);

    // Pixels whose colour differs by more than a little in any channel (anti-aliasing aside).
    qint64 differing = 0;
    const int w = qMin(left.width(), right.width());
    const int h = qMin(left.height(), right.height());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const QRgb a = left.pixel(x, y);
            const QRgb b = right.pixel(x, y);
            if (qAbs(qRed(a) - qRed(b)) > 24 || qAbs(qGreen(a) - qGreen(b)) > 24 ||
                qAbs(qBlue(a) - qBlue(b)) > 24)
                ++differing;
        }
    }
    out << "welcome_differing_pixels_percent: "
        << QString::number(100.0 * differing / (qint64(w) * h), 'f', 2) << Qt::endl;

    const int caption = 28;
    const int gap = 12;
    QImage both(left.width() + gap + right.width(), caption + qMax(left.height(), right.height()),
                QImage::Format_RGB32);
    both.fill(Qt::white);
    QPainter p(&both);
    p.setPen(QColor(0x2B, 0x2F, 0x33));
    p.drawText(QRect(0, 0, left.width(), caption), Qt::AlignCenter,
               QStringLiteral("Drawn by the window (no web engine)"));
    p.drawText(QRect(left.width() + gap, 0, right.width(), caption), Qt::AlignCenter,
               QStringLiteral("The same template in a QWebEngineView"));
    p.drawImage(0, caption, left);
    p.drawImage(left.width() + gap, caption, right);
    p.end();
    return save(both, dir + QStringLiteral("/welcome-side-by-side.png")) ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList args;
    for (int n = 1; n < argc; ++n)
        args << QString::fromLocal8Bit(argv[n]);
    const QString mode = args.value(0);
    if (mode == QLatin1String("window")) {
        // The INI lies in "<folder>/Corvella/TunoraDE.ini".
        QDir folder = QFileInfo(option(args, QStringLiteral("--ini"))).absoluteDir();
        folder.cdUp();
        AppSettings::setApplicationFolderOverride(folder.path());
    }
    WebProfile::prepareEngine();
    QApplication app(argc, argv);
    TunoraDE::setStartDialogsEnabled(false);
    if (mode == QLatin1String("window") && args.contains(QStringLiteral("--out")))
        return windowShots(args);
    if (mode == QLatin1String("welcome") && args.contains(QStringLiteral("--out")))
        return welcomeSideBySide(args);
    fprintf(stderr, "usage: web-shots window --ini INI --out DIR [--tracks N] | welcome --out DIR\n");
    return 2;
}
