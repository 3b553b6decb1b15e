// The news ticker's cost while it runs in a shown window: CPU of this process per second of
// scrolling and the paint events it causes, measured over SECONDS on a real window system (run it
// under Xvfb: xvfb-run -a bench/window-ticker). The row is laid out as in the main window: the
// ticker beside a search box and a button.
//
//   window-ticker [--seconds S] [--width W]
//
// Prints "ticker_cpu_ms_per_s", "ticker_paints_per_s", "window_paints_per_s" and "steps_per_s" (the
// scroll position's changes: the speed the listener sees).

#include "tickerlabel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextStream>
#include <QTimer>

#include <sys/resource.h>

namespace {

double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 + usage.ru_stime.tv_sec * 1e3 +
           usage.ru_stime.tv_usec / 1e3;
}

class PaintCounter : public QObject
{
public:
    using QObject::QObject;
    int ticker = 0;
    int all = 0;
    QObject *tickerObject = nullptr;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++all;
            if (watched == tickerObject)
                ++ticker;
        }
        return false;
    }
};

QString option(const QStringList &args, const QString &name, const QString &fallback)
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : fallback;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const double seconds = option(args, QStringLiteral("--seconds"), QStringLiteral("20")).toDouble();
    const int width = option(args, QStringLiteral("--width"), QStringLiteral("780")).toInt();

    QWidget window;
    auto *row = new QHBoxLayout(&window);
    row->setSpacing(4);
    auto *ticker = new TickerLabel(&window);
    ticker->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    ticker->setMaximumHeight(26);
    row->addWidget(ticker);
    auto *search = new QLineEdit(&window);
    search->setMinimumWidth(220);
    row->addWidget(search);
    row->addWidget(new QPushButton(QStringLiteral("Search"), &window));
    ticker->setText(QStringLiteral("News | The station of the week plays three hours of new music from "
                                   "the city's clubs, every Friday night until the end of the month"));
    window.resize(width, 40);
    window.show();

    PaintCounter counter;
    counter.tickerObject = ticker;
    app.installEventFilter(&counter);
    int ticks = 0;
    QObject::connect(ticker->scrollArea()->horizontalScrollBar(), &QScrollBar::valueChanged,
                     [&] { ++ticks; });

    // A second of settling (mapping, first paints), then the measured time.
    double cpu0 = 0;
    QElapsedTimer wall;
    QTimer::singleShot(1000, &app, [&] {
        counter.ticker = counter.all = ticks = 0;
        cpu0 = cpuMs();
        wall.start();
        QTimer::singleShot(int(seconds * 1000), &app, &QCoreApplication::quit);
    });
    app.exec();
    const double elapsed = wall.elapsed() / 1000.0;
    QTextStream out(stdout);
    out << "platform: " << QGuiApplication::platformName() << Qt::endl;
    out << "ticker_cpu_ms_per_s: " << QString::number((cpuMs() - cpu0) / elapsed, 'f', 2) << Qt::endl;
    out << "ticker_paints_per_s: " << QString::number(counter.ticker / elapsed, 'f', 1) << Qt::endl;
    out << "window_paints_per_s: " << QString::number(counter.all / elapsed, 'f', 1) << Qt::endl;
    out << "steps_per_s: " << QString::number(ticks / elapsed, 'f', 1) << Qt::endl;
    return 0;
}
