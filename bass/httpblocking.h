#pragma once

#include <QByteArray>
#include <QList>
#include <QMessageBox>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

class QNetworkAccessManager;
class QNetworkRequest;

namespace BASS {

class DownloadSink;

// What kind of box a message is shown in.
enum class MessageKind
{
    Information,
    Warning,
    Critical,
    Question
};

// Shows one message and returns the button chosen (a QMessageBox::StandardButton). The text is
// rich text in which every untrusted part has been escaped.
using MessageHook = std::function<int(MessageKind kind, const QString &title, const QString &text,
                                      QMessageBox::StandardButtons buttons)>;

// The program's one message box: a modal box over `parent` with the icon of `kind`; returns the
// button chosen. Without a widget application (tools, tests of the core) it logs the text and
// answers Cancel when offered, otherwise Ok.
int showMessageBox(QWidget *parent, MessageKind kind, const QString &title, const QString &text,
                   QMessageBox::StandardButtons buttons, Qt::TextFormat format);

// The HTTP settings every client of the process shares; the directory client fills them once.
struct HttpSettings
{
    // Sent as "User-Agent"; the fallback below when empty.
    QString userAgent;
    // When not empty, HTTPS requests trust exactly these CA certificates instead of the system's.
    QList<QSslCertificate> caCertificates;
    // Trusted on top of the system store (or of caCertificates): a locally generated CA.
    QList<QSslCertificate> extraCaCertificates;
    bool useNetworkManager = false;
    // 1: address texts are always taken as percent-encoded; 2: always as plain text to encode;
    // anything else: the client's own choice.
    int addressMode = 0;
    // An address that contains this text (not at its start) is posted by modal requests.
    QString postMarker;
    // Shows message boxes; replace it to route or silence them (tests, the main window).
    MessageHook messageHook;
    // The process-wide cookie store (the window's jar with its policies and file). Every manager
    // given a jar by useSharedCookieJar() hands its cookies to it; while none is set, each manager
    // keeps its own. Watched, never owned.
    QPointer<QNetworkCookieJar> cookieJar;

    static constexpr const char *FallbackUserAgent =
        "Mozilla/5.0 (Windows; U; Windows NT 6.0; en-US; rv:1.9.2.3) Gecko/20100401 Firefox/3.6.3";

    QString effectiveUserAgent() const;
    // Gives an HTTPS request the CA list above: the bundle (or the system store) plus the extras.
    void applyTrust(QNetworkRequest &request) const;
    // When applyTrust will need the system store (extras without a bundle), starts reading it on
    // a worker thread, so that the first request does not wait for the whole of it.
    void prefetchSystemStore() const;
    // The system's CA certificates, read from the distribution's bundle when there is one.
    static QList<QSslCertificate> readSystemStore();
    // Gives the manager a jar of its own that forwards to cookieJar. (A jar set directly would
    // become the manager's child and die with it, so the shared one is never handed over.)
    static void useSharedCookieJar(QNetworkAccessManager *manager);
    // Shows a message through the hook, or a QMessageBox (a log line without a GUI).
    int message(MessageKind kind, const QString &title, const QString &text,
                QMessageBox::StandardButtons buttons = QMessageBox::Ok) const;
};

// Request id of an address: h = h * 33 + UTF-16 code, from the last character to the first,
// wrapping at 32 bits; equal addresses give equal ids. 0 means "no request", so a hash of 0 is
// reported as 1.
int addressHash(QStringView address);
// The address with the values of "pass" and "password" and any user-info password replaced by
// "***", for log lines.
QString maskedAddress(const QString &address);
// Escapes a plain text for a rich-text box and keeps its line breaks.
QString plainToHtml(const QString &text);
// Parses an address as percent-encoded UTF-8 (strict) or as plain text to encode. Only http and
// https addresses are accepted; anything else comes back invalid.
QUrl parseHttpAddress(const QString &address, bool plainText);

// True when a successful reply announced a Content-Length and fewer body bytes arrived: Qt 6.4
// may report a connection closed early as a normal end.
bool replyCutShort(QNetworkReply *reply, qint64 bodyBytes);

// Fails a transfer that stays silent for too long, so that it ends with the timeout's own error
// text: the timer restarts whenever the reply shows life (headers, data, upload progress).
class TransferWatchdog : public QObject
{
    Q_OBJECT
public:
    TransferWatchdog(QNetworkReply *reply, int timeoutMs, std::function<void()> onTimeout);
    bool expired() const { return m_expired; }

private:
    void restart();
    QTimer *m_timer;
    std::function<void()> m_onTimeout;
    bool m_expired = false;
};

// The program's general HTTP client on QNetworkAccessManager: fetches into memory, posts a form
// or downloads into a file (resuming a partial one), follows redirects up to a limit, reports
// progress and describes failures in words. All on the GUI thread.
class QHttpExt : public QObject
{
    Q_OBJECT
public:
    // One transfer. Records stay in the client until the next request of the client starts (or
    // the client goes); a redirected transfer is dropped at once.
    struct httpInfo
    {
        httpInfo();
        ~httpInfo();
        httpInfo(const httpInfo &) = delete;
        httpInfo &operator=(const httpInfo &) = delete;

        QString file; // the file being downloaded to, or empty
        int id = 0;
        bool failed = false;
        bool spare = false;
        bool raw = false; // only the bytes are kept
        bool utf8 = true; // text decoded as UTF-8, else as Latin-1
        QString text;
        QString error;
        QByteArray data;
        QNetworkReply *reply = nullptr;
        int httpStatus = 0; // the HTTP status code of the reply, 0 when none arrived
        QUrl url;

    private:
        friend class QHttpExt;
        enum Operation
        {
            Get = 1,
            Post = 2,
            Download = 3
        };
        Operation operation = Get;
        QByteArray body;
        bool xmlBody = false;
        bool resume = false;
        bool started = false;
        bool discardBody = false; // a redirect's body or an error page for a file
        bool done = false;
        bool reported = false; // sig_Ready and sig_Finished have been emitted
        int redirects = 0;
        QString localError;  // a failure of our own (size cap, short write, silence)
        qint64 received = 0; // body bytes read from the reply
        std::unique_ptr<DownloadSink> sink;
    };

    static HttpSettings &settings();
    // Failure text for a network-reply error code; "" for codes without one.
    static QString networkErrorText(QNetworkReply::NetworkError code);

    static constexpr qint64 DefaultMaxSize = 16 * 1024 * 1024;
    static constexpr int DefaultMaxRedirects = 10;
    static constexpr int DefaultTimeoutMs = 30000;

    explicit QHttpExt(QObject *parent = nullptr);
    ~QHttpExt() override;

    // Fetches into memory; the id of the transfer, or 0 (errorText() says why; a box shows it
    // when asked).
    int get(const QString &address, bool showErrors = false);
    // Posts body as a form ("application/x-www-form-urlencoded;charset=utf-8") or, with xml, as
    // "text/xml;charset=utf-8".
    int post(const QString &address, const QByteArray &body, bool xml = false);
    // Downloads into fileName. The file under that name is replaced only by a complete download;
    // with resume and an existing file only the missing part is asked for and appended. With ask,
    // an existing file is only overwritten after the user agrees.
    int download(const QString &address, const QString &fileName, bool resume, bool ask);

    // 1 forces the older back-end (not built: treated as 2), 2 the network access manager.
    void setMode(int mode) { m_mode = mode; }
    int mode() const { return m_mode; }
    // Sent once as the "Range" header of the next request.
    void setRange(const QString &range) { m_range = range; }
    QString range() const { return m_range; }
    void setFollowRedirects(bool on) { m_followRedirects = on; }
    bool followRedirects() const { return m_followRedirects; }
    void setMaxRedirects(int n) { m_maxRedirects = n; }
    // Largest reply kept in memory; a larger one fails the transfer.
    void setMaxSize(qint64 bytes) { m_maxSize = bytes; }
    qint64 maxSize() const { return m_maxSize; }
    // Longest silence of a transfer before it fails; 0 waits for ever.
    void setTimeout(int ms) { m_timeoutMs = ms; }
    // Defaults for the next transfers' raw and utf8 flags.
    void setRaw(bool raw) { m_raw = raw; }
    void setUtf8(bool utf8) { m_utf8 = utf8; }
    // With addressMode neither 1 nor 2: take address texts as plain text (true) or as
    // percent-encoded (false, the default).
    void setPlainAddresses(bool on) { m_plainAddresses = on; }

    QString errorText() const { return m_errorText; }
    // The record of a transfer, or nullptr.
    const httpInfo *info(int id) const;
    bool isRunning() const;
    void abort(int id);
    void abortAll();

signals:
    void sig_Started(const QHttpExt::httpInfo *info);
    void sig_Finished(const QHttpExt::httpInfo *info);
    void sig_Ready(const QHttpExt::httpInfo *info);
    void sig_Redirect(int old_id, int new_id);
    void sig_ReadProgress(qint64 bytesReceived, qint64 bytesTotal);

private slots:
    void slot_replyFinished(QNetworkReply *reply);
    void slot_ReadyRead();
    void slot_Error(QNetworkReply::NetworkError code);
    void slot_SSLErrors(const QList<QSslError> &errors);
    void slot_readProgress64(qint64 received, qint64 total);
    void slot_metaData();

private:
    int start(httpInfo::Operation op, const QString &address, const QByteArray &body, const QString &fileName,
              bool resume, bool ask, bool showErrors, bool xml);
    bool send(httpInfo *info);
    httpInfo *infoFor(QNetworkReply *reply) const;
    void takeData(httpInfo *info);
    void failLocally(httpInfo *info, const QString &error);
    void dropFinished();
    void refreshTrust();

    QNetworkAccessManager *m_manager = nullptr;
    QString m_errorText;
    QString m_range;
    bool m_followRedirects = true;
    bool m_raw = false;
    bool m_utf8 = true;
    bool m_plainAddresses = false;
    int m_mode = 0;
    int m_maxRedirects = DefaultMaxRedirects;
    qint64 m_maxSize = DefaultMaxSize;
    int m_timeoutMs = DefaultTimeoutMs;
    QList<QSslCertificate> m_trustCa;
    QList<QSslCertificate> m_trustExtra;
    std::vector<std::unique_ptr<httpInfo>> m_transfers;
};

} // namespace BASS
