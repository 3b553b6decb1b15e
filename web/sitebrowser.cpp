#include "sitebrowser.h"

#include "appsettings.h"
#include "records.h"
#include "webprofile.h"

#include <QApplication>
#include <QDebug>
#include <QRegularExpression>

namespace {

// A JavaScript string literal that no value can break out of: quotes, backslashes, line
// terminators and markup characters are written as escapes.
QString jsString(const QString &value)
{
    QString out;
    out.reserve(value.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : value) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == '"' || u == '\\' || u == '\'' || u == '<' || u == '>' || u == '&' ||
            u == 0x2028 || u == 0x2029 || u == 0x7f)
            out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    out += QLatin1Char('"');
    return out;
}

} // namespace

TreeBrowser::TreeBrowser(QWidget *parent)
    : WebBrowser(parent)
{}

QUrl TreeBrowser::siteUrl() const
{
    if (!m_siteUrl.isEmpty())
        return m_siteUrl;
    return QUrl(AppSettings::instance().endpoint(AppSettings::WebSite));
}

QString TreeBrowser::signInScript(const QString &user, const QString &password)
{
    return QStringLiteral("var elem_name = document.getElementById('edit-name');\n"
                          "if (elem_name) elem_name.value = %1;\n"
                          "var elem_pass = document.getElementById('edit-pass');\n"
                          "if (elem_pass) elem_pass.value = %2;\n")
        .arg(jsString(user), jsString(password));
}

bool TreeBrowser::isAccountPage(const QUrl &url, const QUrl &site)
{
    if (!WebProfile::sameOrigin(url, site))
        return false;
    const QString path = url.path();
    return path.compare(QLatin1String("/user"), Qt::CaseInsensitive) == 0 ||
           path.startsWith(QLatin1String("/user/"), Qt::CaseInsensitive);
}

void TreeBrowser::activate()
{
    WebBrowser::activate();
    if (m_homeLoaded)
        return;
    m_homeLoaded = true;
    setUrlText(siteUrl().toString());
}

void TreeBrowser::onLoadFinished(bool ok)
{
    if (!ok || !isAccountPage(url(), siteUrl()))
        return;
    QString member;
    QString password;
    AppSettings::instance().credentials(member, password);
    if (!member.isEmpty())
        runScript(signInScript(member, password));
}

bool TreeBrowser::handleLink(const QUrl &url)
{
    if (url.toString().indexOf(QLatin1Char('#')) > 0)
        return false;
    load(url);
    return true;
}

WebNewWindow *TreeBrowser::newWindow()
{
    if (!m_newWindow) {
        m_newWindow = new WebNewWindow(this);
        connect(m_newWindow, &WebNewWindow::signal_playStation, this, &TreeBrowser::signal_playStation);
    }
    return m_newWindow;
}

QWebEngineView *TreeBrowser::newWindowView()
{
    // Only the site itself may open windows from this view.
    if (!WebProfile::sameOrigin(url(), siteUrl()))
        return nullptr;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    QTimer::singleShot(0, this, [] { QApplication::restoreOverrideCursor(); });
    return newWindow();
}

WebNewWindow::WebNewWindow(TreeBrowser *opener)
    : WebBrowser(opener)
    , m_opener(opener)
{
    setAttribute(Qt::WA_DontShowOnScreen);
    hide();
    m_connectTimer.setSingleShot(true);
    m_connectTimer.setInterval(100);
    connect(&m_connectTimer, &QTimer::timeout, this, &WebNewWindow::slot_connectStation);
}

QString WebNewWindow::playStationId(const QUrl &url)
{
    const QString path = url.path();
    const int at = path.indexOf(QLatin1String("/play/"), 1, Qt::CaseInsensitive);
    if (at < 0 && !path.startsWith(QLatin1String("/play/"), Qt::CaseInsensitive))
        return {};
    QString id = path.mid((at < 0 ? 0 : at) + 6);
    if (id.endsWith(QLatin1Char('/')))
        id.chop(1);
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,18}$"));
    return digits.match(id).hasMatch() ? id : QString();
}

QString WebNewWindow::streamAddress(const QUrl &site, const QString &stationId)
{
    QUrl url = site.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment);
    url.setPath(QStringLiteral("/stream/listen/%1").arg(stationId));
    url.setQuery(QStringLiteral("apitid=781"));
    return url.toString();
}

// The play address is acted on before anything is fetched: the hidden window loads nothing.
bool WebNewWindow::navigationRequested(const QUrl &url, QWebEnginePage::NavigationType, bool isMainFrame)
{
    if (!isMainFrame)
        return false;
    onUrlChanged(url);
    return false;
}

void WebNewWindow::onUrlChanged(const QUrl &url)
{
    const QUrl site = m_opener ? m_opener->siteUrl() : QUrl();
    if (!url.isEmpty() && url.toString() != QLatin1String("about:blank")) {
        const QString id = WebProfile::sameOrigin(url, site) ? playStationId(url) : QString();
        if (!id.isEmpty() && id != m_lastId) {
            m_lastId = id;
            m_pendingId = id;
            m_pendingStream = streamAddress(site, id);
            m_connectTimer.start();
        }
    }
    qDebug() << "WebNewWindow::urlChanged()" << url.toString();
}

void WebNewWindow::slot_connectStation()
{
    if (m_pendingId.isEmpty())
        return;
    BASS::Station station;
    station.setId(m_pendingId);
    BASS::StationStream stream;
    stream.url = m_pendingStream;
    station.addStream(stream, true);
    m_pendingId.clear();
    m_pendingStream.clear();
    emit signal_playStation(&station);
}
