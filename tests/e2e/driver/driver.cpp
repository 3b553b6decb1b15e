// A driver loaded into the real player (as a generic plugin named in QT_QPA_GENERIC_PLUGINS) that
// takes commands from the session test over a local socket, one JSON object per line, and acts
// on the program's widgets the way a listener does: mouse clicks and key presses through QTest,
// found by object name. Each command waits until its widget is there and ready (or its condition
// holds) and answers {"ok": true, "detail": ...} or {"ok": false, "error": ...}; a failure says what
// was last seen and which windows were open, so the test can name what went wrong.
//
// Paths name widgets by object name from a top-level window down: "login/Signup/leEmail"; among
// several matches a visible one is taken.

#include <QApplication>
#include <QElapsedTimer>
#include <QGenericPlugin>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLocalSocket>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {

QWidget *preferVisible(const QList<QWidget *> &candidates)
{
    for (QWidget *w : candidates)
        if (w->isVisible())
            return w;
    return candidates.value(0);
}

QWidget *findWidget(const QString &path)
{
    const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
    QList<QWidget *> tops;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (!parts.isEmpty() && w->objectName() == parts.first())
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
    auto *label = qobject_cast<QLabel *>(w);
    return label ? label->text() : w->windowTitle();
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
            name += u" \"%1\""_s.arg(box->text());
        names << name;
    }
    return names.join(u", "_s);
}

QTreeWidgetItem *findItem(QTreeWidget *tree, const QString &text, int column)
{
    for (QTreeWidgetItem *item : tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive, column)) {
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
    const QImage image = w->grab().toImage();
    const QRect middle(image.width() / 4, image.height() / 4, qMax(1, image.width() / 2),
                       qMax(1, image.height() / 2));
    return image.copy(middle).scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixelColor(0, 0);
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
        send(QJsonObject{{u"hello"_s, QCoreApplication::applicationPid()}});
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

    // The test sends the next command once the last one was answered.
    void readCommands()
    {
        m_buffer += m_socket.readAll();
        const qsizetype end = m_buffer.indexOf('\n');
        if (m_command || end < 0)
            return;
        m_command = QJsonDocument::fromJson(m_buffer.left(end)).object();
        m_buffer.remove(0, end + 1);
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
        const int timeout = m_command->value(u"timeout"_s).toInt(30000);
        if (outcome.kind == Outcome::Again) {
            m_lastSeen = outcome.text;
            if (m_clock.elapsed() < timeout)
                return;
        }
        QJsonObject reply{{u"ok"_s, outcome.kind == Outcome::Done}};
        if (outcome.kind == Outcome::Done) {
            reply.insert(u"detail"_s, outcome.text);
        } else {
            const QString why = outcome.kind == Outcome::Failed
                                    ? outcome.text
                                    : u"not within %1 ms: %2"_s.arg(timeout).arg(m_lastSeen);
            reply.insert(u"error"_s, QString(why + u" [open windows: %1]"_s.arg(openWindows())));
        }
        m_command.reset();
        m_poll.stop();
        send(reply);
    }

    // A widget that is there, shown and usable, or the reason to wait.
    std::optional<Outcome> ready(const QString &path, QWidget *&w, bool usable = true)
    {
        w = findWidget(path);
        if (!w || !w->isVisible())
            return again(u"%1 is not shown"_s.arg(path));
        if (usable && !w->isEnabled())
            return again(u"%1 is disabled"_s.arg(path));
        if (QWidget *modal = QApplication::activeModalWidget(); modal && modal != w->window())
            return again(u"%1 is behind the modal window %2"_s.arg(path, openWindows()));
        return std::nullopt;
    }

    Outcome attempt(const QJsonObject &c)
    {
        const QString op = c.value(u"op"_s).toString();
        const QString path = c.value(u"path"_s).toString();
        if (op == u"click"_s && c.value(u"ifPresent"_s).toBool() && !findWidget(path))
            return done(u"not there"_s);
        if (op == u"page"_s)
            return webPage(c, path);
        QWidget *w = nullptr;
        // Waits and looks need the widget shown; actions need it usable too.
        if (auto wait = ready(path, w, op != u"wait"_s && op != u"colour"_s))
            return *wait;
        if (op == u"item"_s)
            return clickItem(c, path, w);
        if (op == u"menu"_s)
            return chooseMenu(c, w);

        if (op == u"wait"_s) {
            // The widget's text (or named property) matches.
            const QString text = widgetText(w, c.value(u"property"_s).toString());
            if (!QRegularExpression(c.value(u"match"_s).toString()).match(text).hasMatch())
                return again(u"%1 shows \"%2\""_s.arg(path, text));
            return done(text);
        }
        if (op == u"click"_s) {
            QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
            return done();
        }
        if (op == u"link"_s) {
            // A label whose whole text is one link: clicked in the middle of its first characters.
            auto *label = qobject_cast<QLabel *>(w);
            if (!label)
                return failed(path + u" is not a label"_s);
            bool activated = false;
            const auto connection = connect(label, &QLabel::linkActivated, this, [&] { activated = true; });
            const QRect r = label->contentsRect();
            const QPoint at(r.left() + label->margin() + qMax(0, label->indent()) + 6, r.center().y());
            QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier, at);
            disconnect(connection);
            return activated ? done() : failed(u"a click on %1 followed no link"_s.arg(path));
        }
        if (op == u"type"_s) {
            w->setFocus(Qt::MouseFocusReason);
            QTest::keyClicks(w, c.value(u"text"_s).toString());
            return done();
        }
        if (op == u"key"_s) {
            // Shortcuts reach only the active window (there is no window manager to activate it).
            if (QApplication::activeWindow() != w->window()) {
                w->window()->activateWindow();
                return again(u"%1 is not the active window"_s.arg(w->window()->objectName()));
            }
            QWidget *const target = w->window()->focusWidget() ? w->window()->focusWidget() : w;
            QTest::keySequence(target, QKeySequence(c.value(u"keys"_s).toString()));
            return done();
        }
        if (op == u"colour"_s) {
            // The widget shows (mostly) one colour: a cover of a known colour, for instance.
            const QColor want(c.value(u"rgb"_s).toString());
            const QColor seen = middleColour(w);
            if (qAbs(seen.red() - want.red()) + qAbs(seen.green() - want.green()) +
                    qAbs(seen.blue() - want.blue()) >
                40)
                return again(u"%1 shows %2"_s.arg(path, seen.name()));
            return done(seen.name());
        }
        return failed(u"unknown command \"%1\""_s.arg(op));
    }

    // A row of a tree found by its text in one column: there ("present"), clicked (in the given
    // column), or selected and activated with the Return key.
    Outcome clickItem(const QJsonObject &c, const QString &path, QWidget *w)
    {
        auto *tree = qobject_cast<QTreeWidget *>(w);
        if (!tree)
            return failed(path + u" is not a tree"_s);
        const QString text = c.value(u"text"_s).toString();
        const int column = c.value(u"column"_s).toInt(0);
        QTreeWidgetItem *item = findItem(tree, text, column);
        if (!item) {
            QStringList shown;
            for (QTreeWidgetItemIterator it(tree); *it && shown.size() < 12; ++it)
                shown << (*it)->text(column);
            return again(u"no row \"%1\" in %2 (rows: %3)"_s.arg(text, path, shown.join(u"|"_s)));
        }
        const QString action = c.value(u"action"_s).toString(u"click"_s);
        if (action == u"present"_s)
            return done();
        // With "expect", the click must bring that widget up; a click that went unnoticed (the
        // program was busy) is repeated after a while, as a listener would.
        const QString expect = c.value(u"expect"_s).toString();
        if (!expect.isEmpty() && m_phase > 0) {
            if (QWidget *shown = findWidget(expect); shown && shown->isVisible())
                return done(u"clicked %1 times"_s.arg(m_phase));
            if (m_clock.elapsed() < m_phase * 5000)
                return again(u"%1 did not show after %2 clicks"_s.arg(expect).arg(m_phase));
        }
        tree->scrollToItem(item);
        QRect r = tree->visualItemRect(item);
        if (c.contains(u"clickColumn"_s)) {
            const int col = c.value(u"clickColumn"_s).toInt();
            if (tree->header()->isSectionHidden(col))
                return failed(u"column %1 of %2 is hidden"_s.arg(col).arg(path));
            r.setLeft(tree->header()->sectionViewportPosition(col));
            r.setWidth(tree->header()->sectionSize(col));
        }
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
        if (action == u"return"_s)
            QTest::keyClick(tree, Qt::Key_Return);
        if (expect.isEmpty())
            return done();
        ++m_phase;
        return again(u"%1 did not show yet"_s.arg(expect));
    }

    // A menu of the window's menu bar opened with a click on its title, then one of its entries
    // clicked.
    Outcome chooseMenu(const QJsonObject &c, QWidget *w)
    {
        auto *bar = w->findChild<QMenuBar *>();
        auto *menu = w->findChild<QMenu *>(c.value(u"menu"_s).toString());
        auto *entry = w->findChild<QAction *>(c.value(u"action"_s).toString());
        if (!bar || !menu || !entry)
            return again(u"no menu bar, menu or entry"_s);
        if (m_phase == 0) {
            QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier,
                              bar->actionGeometry(menu->menuAction()).center());
            m_phase = 1;
            return again(u"the menu did not open"_s);
        }
        if (!menu->isVisible())
            return again(u"the menu did not open"_s);
        const QRect r = menu->actionGeometry(entry);
        if (!r.isValid() || !entry->isEnabled())
            return failed(u"the entry is not in the menu or disabled"_s);
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, r.center());
        return done();
    }

    // The text of a web page shown in (or under) the widget matches; then, if asked, an element
    // of it picked by a CSS selector is clicked from the page's script (as a listener's click).
    // Both happen in one script run, so the click lands on the page whose text was read.
    Outcome webPage(const QJsonObject &c, const QString &path)
    {
        QWidget *w = findWidget(path);
        auto *view = qobject_cast<QWebEngineView *>(w);
        if (!view && w)
            view = w->findChild<QWebEngineView *>();
        if (!view || !view->isVisible())
            return again(u"no web view shown at %1"_s.arg(path));
        if (!m_script) {
            // The text to match and the selector to click, as a JSON array the script reads.
            const QString arguments =
                QString::fromUtf8(QJsonDocument(QJsonArray{c.value(u"match"_s), c.value(u"click"_s)})
                                      .toJson(QJsonDocument::Compact));
            const QString js =
                QStringLiteral("(function(a){var t=document.body?document.body.innerText:'';"
                               "if(!new RegExp(a[0]).test(t))return 'text:'+t;if(!a[1])return 'done:'+t;"
                               "var e=document.querySelector(a[1]);if(!e)return 'missing';e.click();"
                               "return 'done:clicked';})(%1)")
                    .arg(arguments);
            m_script.emplace();
            QPointer<Driver> self(this);
            view->page()->runJavaScript(js, [self](const QVariant &v) {
                if (self && self->m_script)
                    self->m_script->emplace(v.toString());
            });
        }
        if (!m_script->has_value())
            return again(u"the page has not answered"_s);
        const QString answer = **m_script;
        m_script.reset();
        if (answer.startsWith(u"done:"_s))
            return done(answer.mid(5, 200));
        if (answer == u"missing"_s)
            return failed(u"no element %1 on the page"_s.arg(c.value(u"click"_s).toString()));
        return again(u"the page reads \"%1\""_s.arg(answer.mid(5, 300)));
    }

    QLocalSocket m_socket;
    QByteArray m_buffer;
    std::optional<QJsonObject> m_command;
    QElapsedTimer m_clock;
    QTimer m_poll;
    QString m_lastSeen;
    int m_phase = 0;
    bool m_inAttempt = false;
    // The page script's answer (outer: asked; inner: answered).
    std::optional<std::optional<QString>> m_script;
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
        return socket.isEmpty() ? nullptr : new Driver(socket);
    }
};

#include "driver.moc"
