#pragma once

#include "records.h"

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QSslError>
#include <QStringDecoder>
#include <QStringList>
#include <QXmlStreamReader>

#include <functional>
#include <memory>

class QNetworkAccessManager;

namespace BASS {

class BaseRadioAPI;

// Walks one reply element by element with QXmlStreamReader, as its bytes arrive. It keeps the
// whole reply text for the readers that scan it at the end, and it guards the GUI thread against
// hostile replies: the text is capped in size, nesting in depth, and start tags in attributes
// (the stream reader slows down badly on an element with very many attributes). A reply that
// breaks a limit fails like one that is not well-formed.
class BaseRadioXmlParser
{
public:
    static constexpr qsizetype MaxReplyBytes = 16 * 1024 * 1024;
    static constexpr int MaxDepth = 64;
    static constexpr int MaxAttributes = 256;

    enum WalkResult
    {
        NeedMoreData, // every token so far has been read
        Finished,     // the document is complete
        Failed        // not well-formed, or over a limit: errorString() says why
    };

    BaseRadioXmlParser();
    void reset();

    // Appends received bytes (UTF-8, decoded statefully across chunks); false when the reply
    // has grown over a limit.
    bool addData(QByteArrayView bytes);
    // No more bytes will come: flushes the decoder.
    void endOfData();
    // The reply text received so far.
    const QString &text() const { return m_text; }
    qsizetype bytesReceived() const { return m_bytes; }

    // Reads every token available and calls visit after each one. keepGoing, when given, is
    // asked before each token; returning false stops the walk (a canceled request).
    WalkResult walk(const std::function<void(const BaseRadioXmlParser &)> &visit,
                    const std::function<bool()> &keepGoing = {});
    bool failed() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }

    // State for the element readers, valid during visit:
    QXmlStreamReader::TokenType tokenType() const { return m_token; }
    // The current element; for an end element, the element that closes.
    QString name() const { return m_name; }
    // The parent of name(), "" at the top.
    QString parentName() const { return m_parent; }
    QString lastClosed() const { return m_lastClosed; }
    // For an end element: its own character data, with the reader's entity replacements.
    QString elementText() const { return m_elementText; }
    int depth() const { return int(m_stack.size()); }

private:
    bool guardMarkup();

    enum class Lex
    {
        Text,
        Tag,
        Quote,
        Comment,
        CData,
        Instruction
    };

    QXmlStreamReader m_xml;
    QStringDecoder m_decoder;
    QString m_text;
    qsizetype m_bytes = 0;
    QString m_error;
    bool m_overLimit = false; // size or markup limit broken: no more data is taken
    bool m_finished = false;  // the document has ended
    QStringList m_stack;
    QXmlStreamReader::TokenType m_token = QXmlStreamReader::NoToken;
    QString m_name;
    QString m_parent;
    QString m_lastClosed;
    QString m_buffer;
    QString m_elementText;
    // Markup guard: how far the text has been checked and in which construct it ended.
    qsizetype m_scan = 0;
    Lex m_lex = Lex::Text;
    QChar m_quote;
    int m_attributes = 0;
};

// What a status reply says: a code, a message and a link.
struct StatusReply
{
    int status = 0;
    QString message;
    QString link;
};

// Element readers of the replies that are read as they stream in. Each is called after every
// token of the walk.
namespace StreamReaders {
// "code" gives the status (decimal), "message" or "ok" the message, "link" the link.
void readStatus(const BaseRadioXmlParser &parser, StatusReply &reply);
// Every element directly inside "languages" is one language: its name the code, its text the name.
void readLanguage(const BaseRadioXmlParser &parser, QList<Language> &languages);
// The fields of "software" fill the software version of the same names.
void readVersion(const BaseRadioXmlParser &parser, SoftwareVersion &version);
} // namespace StreamReaders

// The same status fields found with the tag scanner in the text received so far: "message", and
// the status from "code" (unsigned decimal) or, without a code, 1 when "status" reads "error".
void scanStatus(const QString &text, StatusReply &reply);

// What a concrete client keeps with a request while its reply arrives in pieces; it goes with the
// request.
class RequestReadState
{
public:
    virtual ~RequestReadState() = default;
};

// One outstanding directory request: its own network access manager and reply, the reply text
// and its element walk, and what a status reply said.
class BaseRadioXmlRequest : public QObject
{
    Q_OBJECT
public:
    ~BaseRadioXmlRequest() override;

    int id() const { return m_id; }
    quint32 type() const { return m_type; }
    // Kind of a custom request (type 1), 0 otherwise.
    quint32 kind() const { return m_kind; }
    // The request address; it may carry the password: log maskedAddress(url()) only.
    QString url() const { return m_url; }
    // The whole reply text received so far.
    const QString &text() const { return m_parser.text(); }
    // Status reply: 2 marks an error reply (or a reply that was not in the correct format).
    int status() const { return m_status.status; }
    // The message of a status reply (server text: show it as plain text), or our rich-text
    // description of a reply that was given up.
    QString message() const { return m_status.message; }
    QString link() const { return m_status.link; }
    bool isRunning() const { return m_running; }
    bool isCanceled() const { return m_canceled; }
    // Stopped by the client (its end has been reported already).
    bool isStopped() const { return m_stopping || m_canceled; }
    bool isDone() const { return m_done; }
    // The reply was given up as malformed or over a limit.
    bool isGivenUp() const { return m_givenUp; }
    // The error reported for this request ("" when none), as given to the error handler.
    QString errorText() const { return m_errorText; }
    // Languages found in a languages reply.
    const QList<Language> &languages() const { return m_languages; }
    BaseRadioAPI *owner() const { return m_owner; }
    const BaseRadioXmlParser &parser() const { return m_parser; }
    RequestReadState *readState() const { return m_readState.get(); }
    void setReadState(std::unique_ptr<RequestReadState> state) { m_readState = std::move(state); }

private slots:
    void slot_readyRead();
    void slot_replyFinished(QNetworkReply *reply);
    void slot_downloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void slot_sslErrors(const QList<QSslError> &errors);

private:
    friend class BaseRadioAPI;
    explicit BaseRadioXmlRequest(BaseRadioAPI *owner);

    void reset();
    bool startTransfer(const QUrl &url, const QString &userAgent);
    // Feeds bytes and walks them; with scan the text is also checked for an error reply.
    // False when the request was given up.
    bool consume(const QByteArray &bytes, bool last, bool scan);
    void giveUp(const QString &reason);
    void noteHttpStatus();

    StatusReply m_status;
    std::unique_ptr<QNetworkAccessManager> m_manager;
    QPointer<QNetworkReply> m_reply;
    int m_id = 0;
    bool m_canceled = false;
    bool m_running = false;
    quint32 m_kind = 0;
    BaseRadioAPI *m_owner;
    bool m_done = false;
    BaseRadioXmlParser m_parser;
    QString m_url;
    quint32 m_type = 0;
    // Bookkeeping beyond the request's public state.
    bool m_givenUp = false;
    bool m_stopping = false;
    bool m_replyEnded = true;
    bool m_orphan = false; // dropped from the table while its reply still runs
    bool m_errorReported = false;
    bool m_httpError = false;   // the server answered with an HTTP error status
    bool m_walkStopped = false; // an error page that is not XML is no longer walked
    bool m_modal = false;       // the engine's embedded modal request
    bool m_timedOut = false;    // the transfer stayed silent too long
    bool m_cutShort = false;    // fewer bytes arrived than announced
    bool m_readQueued = false;  // the rest of the received bytes is read in a later turn
    qint64 m_bodyBytes = 0;
    QString m_errorText;
    QList<Language> m_languages;
    std::unique_ptr<RequestReadState> m_readState;
};

// The generic engine under the directory client: it sends a request per address, names it by
// the hash of the address, keeps the outstanding requests in a table, reads each reply element
// by element as it arrives, hands finished replies to the concrete client and announces their
// end. It also runs modal requests inside the HTTP progress dialog.
class BaseRadioAPI : public QObject
{
    Q_OBJECT
public:
    // Request types; they decide how a reply is read.
    enum RequestType : quint32
    {
        TypeCustom = 1,
        TypeCheckAccount = 2,
        TypeAccountAction = 3,
        TypeSearch = 6,
        TypeRegions = 7,
        TypeGenres = 8,
        TypeNetworks = 9,
        TypeFavorites = 10,
        TypeHistory = 11,
        TypeHistoryAlt = 12,
        TypeAddFavorite = 16,
        TypeRemoveFavorite = 17,
        TypeLanguages = 18,
        TypeSoftwareVersion = 19,
        TypeAccountInfo = 20,
        TypeSetLocation = 22,
        TypeRaw = 23
    };
    static bool isStatusType(quint32 type);
    static bool isStationListType(quint32 type);
    // Replies larger than this are given up ("not in the correct format").
    static constexpr qint64 MaxReplyBytes = BaseRadioXmlParser::MaxReplyBytes;

    explicit BaseRadioAPI(QObject *parent = nullptr);
    ~BaseRadioAPI() override;

    // Sends a request; nullptr when the address is not valid (the error handler hears why) or
    // the transfer cannot start.
    BaseRadioXmlRequest *request(const QString &address, quint32 type, quint32 kind = 0);
    // request() for an address built by a command: 0 for an empty address, else the id (0 when
    // no request could be made).
    int send(const QString &address, quint32 type, quint32 kind = 0);
    // Runs the request inside the progress dialog and returns when it is done: true when a reply
    // was received and read. No start or finish signals are emitted. The status text (see
    // setStatusText) becomes the dialog's heading and is cleared. An address that contains the
    // process-wide post marker (not at its start) is posted, its query as the form.
    bool modalRequest(const QString &address, quint32 type, quint32 kind = 0);
    // The request of the last (or running) modal call: its status, message and text.
    const BaseRadioXmlRequest &modalState() const { return *m_modal; }
    int modalId() const { return m_modalId; }

    // Stopping reports the end at once (signal_requestFinished(id, false)); the aborted transfer
    // later ends with signal_requestFinished(0, ...), which matches nobody's id.
    void stop(BaseRadioXmlRequest *request);
    void stop(int id);
    void stopAll();
    bool contains(int id) const { return m_requests.contains(id); }
    // The request of the table under id (running or finished), or nullptr.
    BaseRadioXmlRequest *findRequest(int id) const { return m_requests.value(id); }
    // True while a request of the table has not ended.
    bool busy() const;
    // Clears the status text, the station counter, the working station and the software version.
    void reset();

    // Heading of the next modal request; set only while none is pending.
    void setStatusText(const QString &text);
    QString statusText() const { return m_statusText; }
    quint32 stationCount() const { return m_stationCount; }
    // The next finished reply is also read as a status reply.
    void setReadStatus(bool on) { m_readStatus = on; }
    // Replies are not read at all while set.
    void setSuppressReplies(bool on) { m_suppressReplies = on; }
    // "User-Agent" of directory requests; the process-wide HTTP user agent when empty.
    void setUserAgent(const QString &agent) { m_userAgent = agent; }
    QString userAgent() const;

    // What the last status reply said (background or modal).
    int lastStatus() const { return m_last.status; }
    QString lastMessage() const { return m_last.message; }
    QString lastLink() const { return m_last.link; }
    // The last error reported to the error handler (rich text).
    QString lastError() const { return m_lastError; }

    const Station &station() const { return m_station; }
    const SoftwareVersion &softwareVersion() const { return m_version; }
    const Network &network() const { return m_network; }

signals:
    void signal_requestStarted(int id);
    void signal_requestFinished(int id, bool error);
    void signal_networkProgress(qint64 bytesReceived, qint64 bytesTotal, int percent);
    void signal_stationFound(const BASS::Station *station);
    void signal_genreFound(const BASS::Genre *genre);
    void signal_regionFound(const BASS::WorldRegion *region);
    void signal_versionFound(const BASS::SoftwareVersion *version);

protected:
    // Hooks of the concrete client.
    // A failure: text is rich text with untrusted parts escaped; request may be nullptr.
    virtual void errorHandler(const QString &text, BaseRadioXmlRequest *request);
    virtual void requestStartedHook(int id, BaseRadioXmlRequest *request);
    // A request ended; request is nullptr when its id is no longer in the table (stopped or
    // given-up transfers ending later). Read the reply here.
    virtual void requestFinishedHook(int id, bool error, BaseRadioXmlRequest *request);
    virtual void progressHook(qint64 bytesReceived, qint64 bytesTotal, int percent);
    // Called after every token of a reply's walk; the default dispatches on the request type to
    // the stream readers and to the hooks below.
    virtual void readElement(BaseRadioXmlRequest *request, const BaseRadioXmlParser &parser);
    virtual void readCustomElement(BaseRadioXmlRequest *request, const BaseRadioXmlParser &parser);
    virtual void markStationList(BaseRadioXmlRequest *request);
    // A piece of a reply has been received and walked (the last piece is followed by the
    // completion hook instead): readers that work through the text as it grows go on here.
    virtual void replyPieceRead(BaseRadioXmlRequest *request);
    // A modal reply has been received and walked.
    virtual void modalReplyRead(BaseRadioXmlRequest *request);

    Station &workingStation() { return m_station; }
    SoftwareVersion &workingVersion() { return m_version; }
    // Counts and announces the working station, then resets it.
    void announceStation();
    void rememberStatus(const StatusReply &reply) { m_last = reply; }

private:
    friend class BaseRadioXmlRequest;
    void finish(BaseRadioXmlRequest *request, int id, bool error);
    void reportError(const QString &text, BaseRadioXmlRequest *request);
    void release(BaseRadioXmlRequest *request);

    QHash<int, BaseRadioXmlRequest *> m_requests;
    QString m_statusText;
    bool m_suppressReplies = false;
    std::unique_ptr<BaseRadioXmlRequest> m_modal;
    int m_modalId = 0;
    quint32 m_stationCount = 0;
    bool m_readStatus = false;
    Station m_station;
    Network m_network;
    SoftwareVersion m_version;
    QString m_userAgent;
    StatusReply m_last;
    QString m_lastError;
};

} // namespace BASS
