// A driver loaded into the real player (as a generic plugin named in QT_QPA_GENERIC_PLUGINS) that
// takes commands from the session test over a local socket, one JSON object per line, and acts
// on the program's widgets the way a listener does: mouse clicks and key presses through QTest,
// found by object name. Each command waits until its widget is there and ready (or its condition
// holds) and answers {"ok": true, "detail": ...} or {"ok": false, "error": ...}; a failure says what
// was last seen and which windows were open, so the test can name what went wrong.
//
// Paths name widgets by object name from a top-level window down: "login/Signup/leEmail". A
// segment may be "*" for any top-level window; among several matches a visible one is taken.

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QGenericPlugin>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QLocalSocket>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <optional>

namespace {

QWidget *preferVisible(const QList<QWidget *> &candidates)
{
    QWidget *found = nullptr;
    for (QWidget *w : candidates) {
        if (w->isVisible())
            return w;
        if (!found)
            found = w;
    }
    return found;
}

QWidget *findWidget(const QString &path)
{
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return nullptr;
    QList<QWidget *> tops;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (parts.first() == QLatin1String("*") || w->objectName() == parts.first())
            tops << w;
    QWidget *current = preferVisible(tops);
    for (qsizetype i = 1; current && i < parts.size(); ++i)
        current = preferVisible(current->findChildren<QWidget *>(parts.at(i)));
    return current;
}

// What a widget shows as its text, for waits and failure reports.
QString widgetText(QWidget *w, const QString &property)
{
    if (!property.isEmpty())
        return w->property(property.toLatin1().constData()).toString();
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->text();
    if (auto *edit = qobject_cast<QLineEdit *>(w))
        return edit->text();
    if (auto *button = qobject_cast<QAbstractButton *>(w))
        return button->text();
    return w->windowTitle();
}

QString openWindows()
{
    QStringList names;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (!w->isVisible())
            continue;
        QString name =
            w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
        if (auto *box = qobject_cast<QMessageBox *>(w))
            name += QStringLiteral(" \"%1\"").arg(box->text());
        names << name;
    }
    return names.join(QStringLiteral(", "));
}

QTreeWidgetItem *findItem(QTreeWidget *tree, const QString &text, int column)
{
    const QList<QTreeWidgetItem *> items =
        tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive, column);
    for (QTreeWidgetItem *item : items) {
        bool shown = !item->isHidden();
        for (QTreeWidgetItem *p = item->parent(); shown && p; p = p->parent())
            shown = p->isExpanded() && !p->isHidden();
        if (shown)
            return item;
    }
    return nullptr;
}

// The mean colour of the middle half of a widget as drawn.
QColor middleColour(QWidget *w)
{
    const QImage image = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect area(image.width() / 4, image.height() / 4, qMax(1, image.width() / 2),
                     qMax(1, image.height() / 2));
    qint64 r = 0, g = 0, b = 0, n = 0;
    for (int y = area.top(); y <= area.bottom() && y < image.height(); ++y)
        for (int x = area.left(); x <= area.right() && x < image.width(); ++x) {
            const QRgb px = image.pixel(x, y);
            r += qRed(px);
            g += qGreen(px);
            b += qBlue(px);
            ++n;
        }
    if (n == 0)
        return QColor();
    return QColor(int(r / n), int(g / n), int(b / n));
}

class Driver : public QObject
{
public:
    explicit Driver(const QString &socketName)
    {
        connect(&m_socket, &QLocalSocket::readyRead, this, &Driver::readCommands);
        // The program must not outlive the test that drives it.
        connect(&m_socket, &QLocalSocket::disconnected, this, [] { QCoreApplication::exit(98); });
        m_poll.setInterval(50);
        connect(&m_poll, &QTimer::timeout, this, &Driver::step);
        m_socket.connectToServer(socketName);
        if (!m_socket.waitForConnected(10000)) {
            qWarning("e2e driver: cannot reach the test at %s", qPrintable(socketName));
            return;
        }
        send(QJsonObject{{QStringLiteral("hello"), QCoreApplication::applicationPid()}});
    }

private:
    struct Outcome
    {
        enum Kind
        {
            Done,
            Failed,
            Again
        } kind;
        QString text;
    };
    static Outcome done(const QString &detail = QString()) { return {Outcome::Done, detail}; }
    static Outcome failed(const QString &error) { return {Outcome::Failed, error}; }
    static Outcome again(const QString &why) { return {Outcome::Again, why}; }

    void send(const QJsonObject &object)
    {
        m_socket.write(QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
        m_socket.flush();
    }

    void readCommands()
    {
        m_buffer += m_socket.readAll();
        for (qsizetype end = m_buffer.indexOf('\n'); end >= 0; end = m_buffer.indexOf('\n')) {
            const QByteArray line = m_buffer.left(end);
            m_buffer.remove(0, end + 1);
            m_queue << QJsonDocument::fromJson(line).object();
        }
        if (!m_command && !m_queue.isEmpty())
            next();
    }

    void next()
    {
        m_command = m_queue.takeFirst();
        m_clock.start();
        m_phase = 0;
        m_script.reset();
        m_lastSeen.clear();
        m_poll.start();
        step();
    }

    void step()
    {
        // A click may open a nested event loop (a modal request, a dialog) in which this timer
        // fires again: the command under way must not run a second time from there.
        if (!m_command || m_inAttempt)
            return;
        m_inAttempt = true;
        const Outcome outcome = attempt(*m_command);
        m_inAttempt = false;
        const int timeout = m_command->value(QStringLiteral("timeout")).toInt(30000);
        if (outcome.kind == Outcome::Again) {
            m_lastSeen = outcome.text;
            if (m_clock.elapsed() < timeout)
                return;
        }
        QJsonObject reply;
        if (outcome.kind == Outcome::Done) {
            reply = QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("detail"), outcome.text}};
        } else {
            const QString why = outcome.kind == Outcome::Failed
                                    ? outcome.text
                                    : QStringLiteral("not within %1 ms: %2").arg(timeout).arg(m_lastSeen);
            const QString error = why + QStringLiteral(" [open windows: %1]").arg(openWindows());
            reply = QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), error}};
        }
        m_command.reset();
        m_poll.stop();
        send(reply);
        if (!m_queue.isEmpty())
            QTimer::singleShot(0, this, &Driver::next);
    }

    // A widget that is there, shown and usable, or the reason to wait.
    std::optional<Outcome> ready(const QString &path, QWidget *&w)
    {
        w = findWidget(path);
        if (!w)
            return again(QStringLiteral("no widget %1").arg(path));
        if (!w->isVisible()) {
            // Pages of a stack: which one shows instead.
            for (QWidget *p = w->parentWidget(); p; p = p->parentWidget())
                if (auto *stack = qobject_cast<QStackedWidget *>(p); stack && stack->currentWidget())
                    return again(QStringLiteral("%1 is hidden (%2 shows page %3 \"%4\")")
                                     .arg(path, stack->objectName())
                                     .arg(stack->currentIndex())
                                     .arg(stack->currentWidget()->objectName()));
            return again(QStringLiteral("%1 is hidden").arg(path));
        }
        if (!w->isEnabled())
            return again(QStringLiteral("%1 is disabled").arg(path));
        if (QWidget *modal = QApplication::activeModalWidget(); modal && modal != w->window())
            return again(QStringLiteral("%1 is behind the modal window %2").arg(path, openWindows()));
        return std::nullopt;
    }

    Outcome attempt(const QJsonObject &c)
    {
        const QString op = c.value(QStringLiteral("op")).toString();
        const QString path = c.value(QStringLiteral("path")).toString();
        QWidget *w = nullptr;

        if (op == QLatin1String("wait")) {
            // A widget shown whose text (or named property) matches.
            w = findWidget(path);
            if (!w || !w->isVisible())
                return again(QStringLiteral("%1 is not shown").arg(path));
            const QString text = widgetText(w, c.value(QStringLiteral("property")).toString());
            const QRegularExpression match(c.value(QStringLiteral("match")).toString());
            if (!match.match(text).hasMatch())
                return again(QStringLiteral("%1 shows \"%2\"").arg(path, text));
            if (c.value(QStringLiteral("modal")).toBool(true) && QApplication::activeModalWidget() &&
                QApplication::activeModalWidget() != w->window())
                return again(QStringLiteral("a modal window is open"));
            return done(text);
        }
        if (op == QLatin1String("click")) {
            if (c.value(QStringLiteral("ifPresent")).toBool() && !findWidget(path))
                return done(QStringLiteral("not there"));
            if (auto wait = ready(path, w))
                return *wait;
            QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
            return done();
        }
        if (op == QLatin1String("link")) {
            // A label whose whole text is one link: clicked in the middle of its first characters.
            if (auto wait = ready(path, w))
                return *wait;
            auto *label = qobject_cast<QLabel *>(w);
            if (!label)
                return failed(path + QStringLiteral(" is not a label"));
            bool activated = false;
            const auto connection = connect(label, &QLabel::linkActivated, this, [&] { activated = true; });
            const QRect r = label->contentsRect();
            const QPoint at(r.left() + label->margin() + qMax(0, label->indent()) + 6, r.center().y());
            QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier, at);
            disconnect(connection);
            return activated ? done() : failed(QStringLiteral("a click on %1 followed no link").arg(path));
        }
        if (op == QLatin1String("type")) {
            if (auto wait = ready(path, w))
                return *wait;
            w->setFocus(Qt::MouseFocusReason);
            QTest::keyClicks(w, c.value(QStringLiteral("text")).toString());
            return done();
        }
        if (op == QLatin1String("key")) {
            if (auto wait = ready(path, w))
                return *wait;
            // Shortcuts reach only the active window (there is no window manager to activate it).
            if (QApplication::activeWindow() != w->window()) {
                w->window()->activateWindow();
                return again(QStringLiteral("%1 is not the active window").arg(w->window()->objectName()));
            }
            QWidget *const target = w->window()->focusWidget() ? w->window()->focusWidget() : w;
            QTest::keySequence(target, QKeySequence(c.value(QStringLiteral("keys")).toString()));
            return done();
        }
        if (op == QLatin1String("item"))
            return clickItem(c, path);
        if (op == QLatin1String("menu"))
            return chooseMenu(c, path);
        if (op == QLatin1String("colour")) {
            // The widget shows (mostly) one colour: a cover of a known colour, for instance.
            w = findWidget(path);
            if (!w || !w->isVisible())
                return again(path + QStringLiteral(" is not shown"));
            const QColor want(c.value(QStringLiteral("rgb")).toString());
            const QColor seen = middleColour(w);
            const int tolerance = c.value(QStringLiteral("tolerance")).toInt(40);
            if (qAbs(seen.red() - want.red()) + qAbs(seen.green() - want.green()) +
                    qAbs(seen.blue() - want.blue()) >
                tolerance)
                return again(QStringLiteral("%1 shows %2").arg(path, seen.name()));
            return done(seen.name());
        }
        if (op == QLatin1String("page"))
            return webPage(c, path);
        return failed(QStringLiteral("unknown command \"%1\"").arg(op));
    }

    // A row of a tree found by its text in one column, clicked (in the given column), double
    // clicked, or selected and activated with the Return key.
    Outcome clickItem(const QJsonObject &c, const QString &path)
    {
        QWidget *w = nullptr;
        if (auto wait = ready(path, w))
            return *wait;
        auto *tree = qobject_cast<QTreeWidget *>(w);
        if (!tree)
            return failed(path + QStringLiteral(" is not a tree"));
        const QString text = c.value(QStringLiteral("text")).toString();
        QTreeWidgetItem *item = findItem(tree, text, c.value(QStringLiteral("column")).toInt(0));
        if (!item) {
            QStringList shown;
            for (QTreeWidgetItemIterator it(tree); *it && shown.size() < 12; ++it)
                shown << (*it)->text(c.value(QStringLiteral("column")).toInt(0));
            return again(QStringLiteral("no row \"%1\" in %2 (rows: %3)")
                             .arg(text, path, shown.join(QStringLiteral("|"))));
        }
        const QString action = c.value(QStringLiteral("action")).toString(QStringLiteral("click"));
        if (action == QLatin1String("present"))
            return done();
        // With "expect", the click must bring that widget up; a click that went unnoticed (the
        // program was busy) is repeated after a while, as a listener would.
        const QString expect = c.value(QStringLiteral("expect")).toString();
        if (!expect.isEmpty() && m_phase > 0) {
            if (QWidget *shown = findWidget(expect); shown && shown->isVisible())
                return done(QStringLiteral("clicked %1 times").arg(m_phase));
            if (m_clock.elapsed() < m_phase * 5000)
                return again(QStringLiteral("%1 did not show after %2 clicks (current row \"%3\")")
                                 .arg(expect)
                                 .arg(m_phase)
                                 .arg(tree->currentItem() ? tree->currentItem()->text(0) : QString()));
        }
        tree->scrollToItem(item);
        QRect r = tree->visualItemRect(item);
        if (c.contains(QStringLiteral("clickColumn"))) {
            const int col = c.value(QStringLiteral("clickColumn")).toInt();
            if (tree->header()->isSectionHidden(col))
                return failed(QStringLiteral("column %1 of %2 is hidden").arg(col).arg(path));
            r.setLeft(tree->header()->sectionViewportPosition(col));
            r.setWidth(tree->header()->sectionSize(col));
        }
        const QPoint at = r.center();
        if (action == QLatin1String("double")) {
            QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        } else if (action == QLatin1String("return")) {
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
            QTest::keyClick(tree, Qt::Key_Return);
        } else {
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        }
        if (!expect.isEmpty()) {
            ++m_phase;
            return again(QStringLiteral("%1 did not show yet").arg(expect));
        }
        return done();
    }

    // A menu of the window's menu bar opened with a click on its title, then one of its entries
    // clicked.
    Outcome chooseMenu(const QJsonObject &c, const QString &path)
    {
        QWidget *w = nullptr;
        if (auto wait = ready(path, w))
            return *wait;
        auto *bar = w->findChild<QMenuBar *>();
        auto *menu = w->findChild<QMenu *>(c.value(QStringLiteral("menu")).toString());
        auto *entry = w->findChild<QAction *>(c.value(QStringLiteral("action")).toString());
        if (!bar || !menu || !entry)
            return again(QStringLiteral("no menu bar, menu or entry"));
        if (m_phase == 0) {
            QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier,
                              bar->actionGeometry(menu->menuAction()).center());
            m_phase = 1;
            return again(QStringLiteral("the menu did not open"));
        }
        if (!menu->isVisible())
            return again(QStringLiteral("the menu did not open"));
        const QRect r = menu->actionGeometry(entry);
        if (!r.isValid() || !entry->isEnabled())
            return failed(QStringLiteral("the entry is not in the menu or disabled"));
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, r.center());
        return done();
    }

    // The text of a web page shown in (or under) the widget matches; or an element of it,
    // picked by a CSS selector, is clicked from the page's script (as a listener's click on it).
    Outcome webPage(const QJsonObject &c, const QString &path)
    {
        QWidget *w = findWidget(path);
        auto *view = qobject_cast<QWebEngineView *>(w);
        if (!view && w)
            view = w->findChild<QWebEngineView *>();
        if (!view || !view->isVisible())
            return again(QStringLiteral("no web view shown at %1").arg(path));
        const QRegularExpression match(c.value(QStringLiteral("match")).toString());
        const QString selector = c.value(QStringLiteral("click")).toString();
        if (m_script && m_script->has_value()) {
            const QString text = **m_script;
            m_script.reset();
            if (!match.match(text).hasMatch())
                return again(QStringLiteral("the page reads \"%1\"").arg(text.left(300)));
            if (selector.isEmpty() || m_phase == 1)
                return done(text.left(200));
            m_phase = 1;
            if (selector.contains(QLatin1Char('"')) || selector.contains(QLatin1Char('\\')))
                return failed(QStringLiteral("a selector may not hold quotes or backslashes"));
            const QString js = QStringLiteral("(function(){var e=document.querySelector(\"%1\");"
                                              "if(!e)return 'missing';e.click();return 'clicked';})()")
                                   .arg(selector);
            m_clicked.reset();
            QPointer<Driver> self(this);
            view->page()->runJavaScript(js, [self](const QVariant &v) {
                if (self)
                    self->m_clicked = v.toString();
            });
            return again(QStringLiteral("the click did not run"));
        }
        if (m_phase == 1) {
            if (!m_clicked)
                return again(QStringLiteral("the click did not run"));
            return *m_clicked == QLatin1String("clicked")
                       ? done()
                       : failed(QStringLiteral("no element %1 on the page").arg(selector));
        }
        if (!m_script) {
            m_script.emplace();
            QPointer<Driver> self(this);
            view->page()->runJavaScript(QStringLiteral("document.body ? document.body.innerText : ''"),
                                        [self](const QVariant &v) {
                                            if (self && self->m_script)
                                                self->m_script->emplace(v.toString());
                                        });
        }
        return again(QStringLiteral("the page has not answered"));
    }

    QLocalSocket m_socket;
    QByteArray m_buffer;
    QList<QJsonObject> m_queue;
    std::optional<QJsonObject> m_command;
    QElapsedTimer m_clock;
    QTimer m_poll;
    QString m_lastSeen;
    int m_phase = 0;
    bool m_inAttempt = false;
    // The page text asked for (outer: asked; inner: answered).
    std::optional<std::optional<QString>> m_script;
    std::optional<QString> m_clicked;
};

} // namespace

class DriverPlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "driver.json")

public:
    QObject *create(const QString &, const QString &) override
    {
        const QString socket = qEnvironmentVariable("TUNORA_E2E_SOCKET");
        if (socket.isEmpty())
            return nullptr;
        return new Driver(socket);
    }
};

#include "driver.moc"
