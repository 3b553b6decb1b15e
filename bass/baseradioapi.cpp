#include "baseradioapi.h"

#include "httpblocking.h"
#include "httpdlg.h"
#include "tagscanner.h"

#include <QApplication>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QTimer>

Q_LOGGING_CATEGORY(lcDirectory, "tunora.directory")

namespace BASS {

namespace {

// Error replies are small; scanning the text for status fields stops once a reply is larger, so
// that a long station list is not scanned again on every chunk.
constexpr qsizetype StatusScanLimit = 64 * 1024;

// A reply that arrives faster than it is read (a long station list from a near server) is read a
// slice per turn of the event loop, so that the window stays responsive while it is walked.
constexpr qint64 ReadSliceBytes = 64 * 1024;

QString formatError(const QString &reason)
{
    return QCoreApplication::translate("BASS::BaseRadioAPI",
                                       "The data returned from the server was not in the correct format.") +
           QLatin1String("<br><b>") + reason.toHtmlEscaped() + QLatin1String("</b>");
}

} // namespace

// ---------------------------------------------------------------------------------------------
// BaseRadioXmlParser

BaseRadioXmlParser::BaseRadioXmlParser()
    : m_decoder(QStringDecoder::Utf8)
{}

void BaseRadioXmlParser::reset()
{
    m_xml.clear();
    m_decoder.resetState();
    m_text.clear();
    m_bytes = 0;
    m_error.clear();
    m_overLimit = false;
    m_finished = false;
    m_stack.clear();
    m_token = QXmlStreamReader::NoToken;
    m_name.clear();
    m_parent.clear();
    m_lastClosed.clear();
    m_buffer.clear();
    m_elementText.clear();
    m_scan = 0;
    m_lex = Lex::Text;
    m_quote = QChar();
    m_attributes = 0;
}

bool BaseRadioXmlParser::addData(QByteArrayView bytes)
{
    if (m_overLimit)
        return false;
    if (bytes.isEmpty())
        return true;
    if (m_bytes + bytes.size() > MaxReplyBytes) {
        m_error = QCoreApplication::translate("BASS::BaseRadioAPI", "The reply is larger than %1 bytes.")
                      .arg(MaxReplyBytes);
        m_overLimit = true;
        return false;
    }
    m_bytes += bytes.size();
    const QString chunk = m_decoder.decode(bytes);
    m_text += chunk;
    if (!guardMarkup()) {
        m_overLimit = true;
        return false;
    }
    m_xml.addData(chunk);
    return true;
}

void BaseRadioXmlParser::endOfData()
{
    // A sequence cut at the end becomes a replacement character, like any invalid byte.
    const QString rest = m_decoder.decode(QByteArrayView());
    if (!rest.isEmpty() && !m_overLimit) {
        m_text += rest;
        if (guardMarkup())
            m_xml.addData(rest);
        else
            m_overLimit = true;
    }
}

// Follows the markup of the text checked so far well enough to count the attributes of each
// start tag: quoted values, comments, CDATA sections and processing instructions are skipped.
// Constructs cut at the end of a chunk are picked up again with the next one.
bool BaseRadioXmlParser::guardMarkup()
{
    const QString &t = m_text;
    const qsizetype n = t.size();
    qsizetype i = m_scan;
    auto waitAt = [&](qsizetype at) {
        m_scan = at;
        return true;
    };
    while (i < n) {
        switch (m_lex) {
        case Lex::Text: {
            i = t.indexOf(QLatin1Char('<'), i);
            if (i < 0)
                return waitAt(n);
            const QStringView rest = QStringView(t).mid(i);
            static constexpr QStringView comment = u"<!--", cdata = u"<![CDATA[", instruction = u"<?";
            if (rest.startsWith(comment)) {
                m_lex = Lex::Comment;
                i += comment.size();
            } else if (rest.startsWith(cdata)) {
                m_lex = Lex::CData;
                i += cdata.size();
            } else if (rest.startsWith(instruction)) {
                m_lex = Lex::Instruction;
                i += instruction.size();
            } else if (rest.size() < cdata.size() && (comment.startsWith(rest) || cdata.startsWith(rest))) {
                return waitAt(i);
            } else {
                m_lex = Lex::Tag;
                m_attributes = 0;
                ++i;
            }
            break;
        }
        case Lex::Tag:
            for (; i < n; ++i) {
                const QChar c = t.at(i);
                if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
                    m_quote = c;
                    m_lex = Lex::Quote;
                    ++i;
                    break;
                }
                if (c == QLatin1Char('>')) {
                    m_lex = Lex::Text;
                    ++i;
                    break;
                }
                if (c == QLatin1Char('=') && ++m_attributes > MaxAttributes) {
                    m_error = QCoreApplication::translate("BASS::BaseRadioAPI",
                                                          "An element carries more than %1 attributes.")
                                  .arg(MaxAttributes);
                    return false;
                }
            }
            break;
        case Lex::Quote: {
            const qsizetype end = t.indexOf(m_quote, i);
            if (end < 0)
                return waitAt(n);
            m_lex = Lex::Tag;
            i = end + 1;
            break;
        }
        case Lex::Comment:
        case Lex::CData:
        case Lex::Instruction: {
            const QLatin1String close = m_lex == Lex::Comment ? QLatin1String("-->")
                                        : m_lex == Lex::CData ? QLatin1String("]]>")
                                                              : QLatin1String("?>");
            const qsizetype end = t.indexOf(close, i);
            if (end < 0)
                return waitAt(qMax(i, n - close.size() + 1));
            m_lex = Lex::Text;
            i = end + close.size();
            break;
        }
        }
    }
    m_scan = i;
    return true;
}

BaseRadioXmlParser::WalkResult
BaseRadioXmlParser::walk(const std::function<void(const BaseRadioXmlParser &)> &visit,
                         const std::function<bool()> &keepGoing)
{
    if (failed())
        return Failed;
    if (m_finished)
        return Finished;
    while (!keepGoing || keepGoing()) {
        m_token = m_xml.readNext();
        switch (m_token) {
        case QXmlStreamReader::StartElement:
            if (m_stack.size() >= MaxDepth) {
                m_error = QCoreApplication::translate("BASS::BaseRadioAPI",
                                                      "Elements are nested more than %1 deep.")
                              .arg(MaxDepth);
                return Failed;
            }
            m_name = m_xml.name().toString();
            m_parent = m_stack.isEmpty() ? QString() : m_stack.constLast();
            m_stack.append(m_name);
            m_buffer.clear();
            break;
        case QXmlStreamReader::Characters:
            m_buffer += m_xml.text();
            break;
        case QXmlStreamReader::EndElement:
            m_name = m_xml.name().toString();
            m_lastClosed = m_name;
            m_elementText = TagScanner::decodeXmlEntities(m_buffer);
            m_buffer.clear();
            if (!m_stack.isEmpty())
                m_stack.removeLast();
            m_parent = m_stack.isEmpty() ? QString() : m_stack.constLast();
            break;
        case QXmlStreamReader::EndDocument:
            m_finished = true;
            visit(*this);
            return Finished;
        case QXmlStreamReader::Invalid:
            if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
                return NeedMoreData;
            m_error = m_xml.errorString();
            return Failed;
        default:
            break;
        }
        visit(*this);
    }
    return NeedMoreData;
}

// ---------------------------------------------------------------------------------------------
// Readers

namespace StreamReaders {

void readStatus(const BaseRadioXmlParser &parser, StatusReply &reply)
{
    if (parser.tokenType() != QXmlStreamReader::EndElement)
        return;
    const QString name = parser.name();
    if (name == QLatin1String("code"))
        reply.status = parser.elementText().trimmed().toInt();
    else if (name == QLatin1String("message") || name == QLatin1String("ok"))
        reply.message = parser.elementText();
    else if (name == QLatin1String("link"))
        reply.link = parser.elementText();
}

void readLanguage(const BaseRadioXmlParser &parser, QList<Language> &languages)
{
    if (parser.tokenType() != QXmlStreamReader::EndElement ||
        parser.parentName() != QLatin1String("languages"))
        return;
    const QString text = parser.elementText().trimmed();
    if (!text.isEmpty())
        languages.append(Language{parser.name(), text});
}

void readVersion(const BaseRadioXmlParser &parser, SoftwareVersion &version)
{
    if (parser.tokenType() != QXmlStreamReader::EndElement ||
        parser.parentName() != QLatin1String("software"))
        return;
    const QString name = parser.name();
    const QString text = parser.elementText();
    if (name == QLatin1String("name"))
        version.name = text;
    else if (name == QLatin1String("version"))
        version.version = text;
    else if (name == QLatin1String("comment"))
        version.comment = text;
    else if (name == QLatin1String("comment_version"))
        version.comment_version = text;
    else if (name == QLatin1String("file_location"))
        version.file_location = text;
    else if (name == QLatin1String("file_size"))
        version.file_size = text;
    else if (name == QLatin1String("file_mime"))
        version.file_mime = text;
    else if (name == QLatin1String("file_sha256"))
        version.file_sha256 = text;
}

} // namespace StreamReaders

void scanStatus(const QString &text, StatusReply &reply)
{
    TagScanner scanner(text);
    reply.message = scanner.find(u"message");
    scanner.rewind();
    const QString code = scanner.find(u"code");
    if (!code.isEmpty()) {
        reply.status = int(code.trimmed().toUInt());
    } else {
        scanner.rewind();
        reply.status = scanner.find(u"status") == QLatin1String("error") ? 1 : 0;
    }
}

// ---------------------------------------------------------------------------------------------
// BaseRadioXmlRequest

BaseRadioXmlRequest::BaseRadioXmlRequest(BaseRadioAPI *owner)
    : m_owner(owner)
{}

BaseRadioXmlRequest::~BaseRadioXmlRequest()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
    }
}

void BaseRadioXmlRequest::reset()
{
    m_status = StatusReply();
    m_id = 0;
    m_canceled = m_running = m_done = false;
    m_kind = 0;
    m_parser.reset();
    m_url.clear();
    m_type = 0;
    m_givenUp = m_stopping = m_orphan = m_errorReported = m_httpError = m_walkStopped = false;
    m_timedOut = m_cutShort = false;
    m_bodyBytes = 0;
    m_replyEnded = true;
    m_errorText.clear();
    m_languages.clear();
    m_readState.reset();
}

bool BaseRadioXmlRequest::startTransfer(const QUrl &url, const QString &userAgent)
{
    m_manager = std::make_unique<QNetworkAccessManager>();
    HttpSettings::useSharedCookieJar(m_manager.get());
    connect(m_manager.get(), &QNetworkAccessManager::finished, this, &BaseRadioXmlRequest::slot_replyFinished,
            Qt::QueuedConnection);

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    request.setMaximumRedirectsAllowed(QHttpExt::DefaultMaxRedirects);
    QHttpExt::settings().applyTrust(request);

    m_reply = m_manager->get(request);
    if (!m_reply)
        return false;
    m_replyEnded = false;
    new TransferWatchdog(m_reply, QHttpExt::DefaultTimeoutMs, [this] {
        m_timedOut = true;
        m_reply->abort();
    });
    connect(m_reply, &QNetworkReply::downloadProgress, this, &BaseRadioXmlRequest::slot_downloadProgress);
    connect(m_reply, &QNetworkReply::readyRead, this, &BaseRadioXmlRequest::slot_readyRead);
    connect(m_reply, &QNetworkReply::sslErrors, this, &BaseRadioXmlRequest::slot_sslErrors);
    m_id = addressHash(m_url);
    return true;
}

bool BaseRadioXmlRequest::consume(const QByteArray &bytes, bool last, bool scan)
{
    if (!m_parser.addData(bytes)) {
        giveUp(m_parser.errorString());
        return false;
    }
    if (last)
        m_parser.endOfData();
    if (scan) {
        if (m_parser.text().size() <= StatusScanLimit)
            scanStatus(m_parser.text(), m_status);
        // An error reply: the server's own message, once per request.
        if (m_status.status == 2) {
            // Reported once, when its message has arrived (or the reply has ended without one).
            if (!m_errorReported && (!m_status.message.isEmpty() || last))
                m_owner->reportError(m_status.message.toHtmlEscaped(), this);
            if (!last)
                return true;
        }
    }
    if (m_type == BaseRadioAPI::TypeRaw || m_walkStopped)
        return true;
    const auto result = m_parser.walk([this](const BaseRadioXmlParser &p) { m_owner->readElement(this, p); },
                                      [this] { return !m_canceled; });
    if (result != BaseRadioXmlParser::Failed) {
        if (!last && !m_canceled)
            m_owner->replyPieceRead(this);
        return true;
    }
    // The page of an HTTP error need not be XML: the transfer error reports that request.
    if (m_httpError) {
        m_walkStopped = true;
        return true;
    }
    giveUp(m_parser.errorString());
    return false;
}

void BaseRadioXmlRequest::giveUp(const QString &reason)
{
    if (m_givenUp)
        return;
    m_givenUp = true;
    m_status.status = 2;
    m_status.message = formatError(reason);
    qCDebug(lcDirectory).noquote() << "BaseRadioAPI::giveUp" << m_id << reason;
    BaseRadioAPI *owner = m_owner;
    owner->reportError(m_status.message, this);
    // Listeners of this id hear that it failed; the aborted transfer then ends under id 0.
    if (m_id != 0 && !m_done && !m_modal)
        owner->finish(this, m_id, true);
    m_running = m_canceled = false;
    m_id = 0;
    m_done = true;
    if (m_reply && !m_replyEnded)
        m_reply->abort();
}

void BaseRadioXmlRequest::noteHttpStatus()
{
    if (m_reply)
        m_httpError = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() >= 400;
}

void BaseRadioXmlRequest::slot_readyRead()
{
    if (!m_reply || m_owner->m_suppressReplies || m_givenUp || m_canceled)
        return;
    noteHttpStatus();
    const QByteArray bytes = m_reply->read(ReadSliceBytes);
    m_bodyBytes += bytes.size();
    if (!consume(bytes, false, true) || !m_reply || m_reply->bytesAvailable() <= 0 || m_readQueued)
        return;
    // The rest already waits: it is read in a later turn, readyRead would not come again for it.
    m_readQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_readQueued = false;
        slot_readyRead();
    });
}

void BaseRadioXmlRequest::slot_replyFinished(QNetworkReply *reply)
{
    if (reply != m_reply)
        return;
    if (!m_givenUp && !m_canceled && !m_owner->m_suppressReplies &&
        reply->bytesAvailable() > ReadSliceBytes) {
        // A slice of what is left now, the end in a later turn.
        noteHttpStatus();
        const QByteArray bytes = reply->read(ReadSliceBytes);
        m_bodyBytes += bytes.size();
        consume(bytes, false, true);
        QTimer::singleShot(0, this, [this, reply] { slot_replyFinished(reply); });
        return;
    }
    m_replyEnded = true;
    m_running = false;
    if (!m_givenUp && !m_canceled && !m_owner->m_suppressReplies) {
        noteHttpStatus();
        const QByteArray bytes = reply->readAll();
        m_bodyBytes += bytes.size();
        m_cutShort = reply->error() == QNetworkReply::NoError && replyCutShort(reply, m_bodyBytes);
        consume(bytes, true, true);
    }
    const bool error = reply->error() != QNetworkReply::NoError || m_cutShort;
    if (m_canceled)
        qCDebug(lcDirectory) << "BaseRadioAPI::replyFinished canceled";
    qCDebug(lcDirectory) << "BaseRadioAPI::replyFinished id,error " << m_id << error;
    m_owner->finish(this, m_id, error);
    m_done = true;
    reply->deleteLater();
    m_reply = nullptr;
    m_manager.release()->deleteLater();
    if (m_orphan)
        deleteLater();
}

void BaseRadioXmlRequest::slot_downloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    // An unknown total gives no percentage: the network layer reports -1 while the reply runs
    // and the byte count itself at its end.
    if (bytesTotal <= 0 || !m_reply || !m_reply->header(QNetworkRequest::ContentLengthHeader).isValid())
        return;
    const int percent = int(bytesReceived * 100 / bytesTotal);
    m_owner->progressHook(bytesReceived, bytesTotal, percent);
    emit m_owner->signal_networkProgress(bytesReceived, bytesTotal, percent);
}

void BaseRadioXmlRequest::slot_sslErrors(const QList<QSslError> &errors)
{
    QStringList texts;
    for (const QSslError &e : errors)
        texts << e.errorString();
    qCDebug(lcDirectory).noquote() << "BaseRadioAPI::slot_sslErrors " << texts.join(QLatin1Char('\n'));
}

// ---------------------------------------------------------------------------------------------
// BaseRadioAPI

bool BaseRadioAPI::isStatusType(quint32 type)
{
    switch (type) {
    case 2:
    case 3:
    case 4:
    case 5:
    case 16:
    case 17:
    case 21:
    case 22:
        return true;
    default:
        return false;
    }
}

bool BaseRadioAPI::isStationListType(quint32 type)
{
    return type == 6 || (type >= 10 && type <= 15);
}

BaseRadioAPI::BaseRadioAPI(QObject *parent)
    : QObject(parent)
    , m_modal(new BaseRadioXmlRequest(this))
{
    m_modal->m_modal = true;
}

BaseRadioAPI::~BaseRadioAPI()
{
    // Requests are children of the engine; their replies must not report into a half-destroyed
    // object.
    const auto children = findChildren<BaseRadioXmlRequest *>(Qt::FindDirectChildrenOnly);
    for (BaseRadioXmlRequest *r : children)
        delete r;
}

QString BaseRadioAPI::userAgent() const
{
    return m_userAgent.isEmpty() ? QHttpExt::settings().effectiveUserAgent() : m_userAgent;
}

BaseRadioXmlRequest *BaseRadioAPI::request(const QString &address, quint32 type, quint32 kind)
{
    const QUrl url = parseHttpAddress(address, QHttpExt::settings().addressMode == 2);
    if (!url.isValid()) {
        // The handler hears which request it was, so that a quiet one (news, custom requests)
        // stays quiet. The record lives only for the report.
        BaseRadioXmlRequest rejected(this);
        rejected.reset();
        rejected.m_type = type;
        rejected.m_kind = kind;
        rejected.m_url = address;
        rejected.m_id = addressHash(address);
        rejected.m_done = true;
        reportError(tr("Invalid URL specified"), &rejected);
        return nullptr;
    }

    auto *req = new BaseRadioXmlRequest(this);
    req->setParent(this);
    req->reset();
    req->m_type = type;
    req->m_kind = kind;
    req->m_url = address;
    if (!req->startTransfer(url, userAgent())) {
        delete req;
        return nullptr;
    }
    qCDebug(lcDirectory).noquote() << "BaseRadioAPI::request" << req->m_id << type << maskedAddress(address);

    // Finished requests leave the table; a running one with the same id is replaced but keeps
    // running until its reply ends.
    for (auto it = m_requests.begin(); it != m_requests.end();) {
        if (it.value()->m_done) {
            release(it.value());
            it = m_requests.erase(it);
        } else {
            ++it;
        }
    }
    if (BaseRadioXmlRequest *old = m_requests.value(req->m_id))
        release(old);
    m_requests.insert(req->m_id, req);

    req->m_running = true;
    req->m_canceled = false;
    requestStartedHook(req->m_id, req);
    emit signal_requestStarted(req->m_id);
    return req;
}

void BaseRadioAPI::release(BaseRadioXmlRequest *request)
{
    if (request->m_replyEnded)
        request->deleteLater();
    else
        request->m_orphan = true;
}

int BaseRadioAPI::send(const QString &address, quint32 type, quint32 kind)
{
    if (address.isEmpty())
        return 0;
    BaseRadioXmlRequest *req = request(address, type, kind);
    return req ? req->m_id : 0;
}

bool BaseRadioAPI::modalRequest(const QString &address, quint32 type, quint32 kind)
{
    if (address.isEmpty())
        return false;
    if (m_modalId != 0) {
        qCDebug(lcDirectory) << "BaseRadioAPI::modalRequest another modal request is running";
        return false;
    }
    m_modal->reset();
    m_modal->m_modal = true;
    m_modal->m_type = type;
    m_modal->m_kind = kind;
    m_modal->m_url = address;
    m_modalId = m_modal->m_id = addressHash(address);
    qCDebug(lcDirectory).noquote() << "BaseRadioAPI::modalRequest" << m_modalId << type
                                   << maskedAddress(address);

    const QString marker = QHttpExt::settings().postMarker;
    const qsizetype at = marker.isEmpty() ? -1 : address.indexOf(marker);
    const qsizetype query = address.indexOf(QLatin1Char('?'));
    const bool post = at > 0 && query > 0;
    const QString target = post ? address.left(query) : address;
    const QByteArray form = post ? address.mid(query + 1).toUtf8() : QByteArray();
    const QString heading = m_statusText;
    m_statusText.clear();

    bool ok = false;
    QByteArray data;
    if (qobject_cast<QApplication *>(QCoreApplication::instance())) {
        HttpDownloadDlg dialog(QApplication::activeWindow());
        if (post)
            dialog.preparePost(target, form);
        else
            dialog.prepareGet(target);
        dialog.setHeadingText(heading);
        ok = dialog.run();
        data = dialog.resultData();
    } else {
        // Without a GUI (a command-line client of the service) the transfer runs in a plain
        // event loop; failures go to the message hook, or to the log.
        QHttpExt http;
        QEventLoop loop;
        QString error;
        connect(&http, &QHttpExt::sig_Ready, &loop, [&](const QHttpExt::httpInfo *info) {
            ok = !info->failed;
            data = info->data;
            error = info->error;
            loop.quit();
        });
        if ((post ? http.post(target, form) : http.get(target)) != 0)
            loop.exec();
        else
            error = http.errorText();
        if (!ok)
            QHttpExt::settings().message(MessageKind::Critical, tr("Http"), plainToHtml(error));
    }
    if (ok) {
        m_modal->m_running = true;
        ok = m_modal->consume(data, true, false);
        m_modal->m_running = false;
    }
    m_modal->m_done = true;
    if (ok) {
        if (isStatusType(type) || (type == TypeCustom && kind == 2))
            m_last = m_modal->m_status;
        modalReplyRead(m_modal.get());
    }
    m_modalId = 0;
    return ok;
}

void BaseRadioAPI::stop(BaseRadioXmlRequest *request)
{
    if (!request || request->m_done || request == m_modal.get())
        return;
    request->m_stopping = true;
    finish(request, request->m_id, false);
    qCDebug(lcDirectory) << "stopRequest " << request->m_id;
    request->m_canceled = true;
    request->m_id = 0;
    request->m_running = false;
    request->m_done = true;
    if (request->m_reply && !request->m_replyEnded)
        request->m_reply->abort();
}

void BaseRadioAPI::stop(int id)
{
    stop(m_requests.value(id));
}

void BaseRadioAPI::stopAll()
{
    const auto requests = m_requests.values();
    for (BaseRadioXmlRequest *r : requests)
        stop(r);
}

bool BaseRadioAPI::busy() const
{
    for (const BaseRadioXmlRequest *r : m_requests)
        if (!r->m_done)
            return true;
    return false;
}

void BaseRadioAPI::reset()
{
    m_statusText.clear();
    m_stationCount = 0;
    m_station.reset();
    m_version.reset();
}

void BaseRadioAPI::setStatusText(const QString &text)
{
    if (m_statusText.isEmpty())
        m_statusText = text;
}

void BaseRadioAPI::finish(BaseRadioXmlRequest *request, int id, bool error)
{
    BaseRadioXmlRequest *found = id != 0 && m_requests.contains(id) ? request : nullptr;
    if (found) {
        if (error && !request->m_givenUp && !request->m_errorReported) {
            QString text;
            if (request->m_timedOut) {
                text = QHttpExt::networkErrorText(QNetworkReply::TimeoutError);
            } else if (request->m_cutShort) {
                text = QHttpExt::networkErrorText(QNetworkReply::RemoteHostClosedError);
            } else if (request->m_reply) {
                text = QHttpExt::networkErrorText(request->m_reply->error());
                if (text.isEmpty())
                    text = request->m_reply->errorString();
            }
            reportError(plainToHtml(text), request);
        }
        if (m_readStatus) {
            m_readStatus = false;
            scanStatus(request->text(), request->m_status);
        }
        if (isStatusType(request->m_type) || (request->m_type == TypeCustom && request->m_kind == 2))
            m_last = request->m_status;
    } else if (id != 0 && id == m_modalId) {
        m_modalId = 0;
    }
    requestFinishedHook(id, error, found);
    emit signal_requestFinished(id, error);
}

void BaseRadioAPI::reportError(const QString &text, BaseRadioXmlRequest *request)
{
    if (request) {
        request->m_errorReported = true;
        request->m_errorText = text;
    }
    m_lastError = text;
    errorHandler(text, request);
}

void BaseRadioAPI::errorHandler(const QString &text, BaseRadioXmlRequest *request)
{
    qCDebug(lcDirectory).noquote() << "BaseRadioAPI::errorHandler" << (request ? request->id() : 0) << text;
}

void BaseRadioAPI::requestStartedHook(int, BaseRadioXmlRequest *) {}

void BaseRadioAPI::requestFinishedHook(int, bool, BaseRadioXmlRequest *) {}

void BaseRadioAPI::progressHook(qint64, qint64, int) {}

void BaseRadioAPI::readElement(BaseRadioXmlRequest *request, const BaseRadioXmlParser &parser)
{
    const quint32 type = request->m_type;
    if (type == TypeCustom)
        readCustomElement(request, parser);
    else if (isStatusType(type))
        StreamReaders::readStatus(parser, request->m_status);
    else if (isStationListType(type))
        markStationList(request);
    else if (type == TypeLanguages)
        StreamReaders::readLanguage(parser, request->m_languages);
    else if (type == TypeSoftwareVersion)
        StreamReaders::readVersion(parser, m_version);
}

void BaseRadioAPI::readCustomElement(BaseRadioXmlRequest *request, const BaseRadioXmlParser &parser)
{
    if (request->m_kind == 2)
        StreamReaders::readStatus(parser, request->m_status);
}

void BaseRadioAPI::markStationList(BaseRadioXmlRequest *) {}

void BaseRadioAPI::replyPieceRead(BaseRadioXmlRequest *) {}

void BaseRadioAPI::modalReplyRead(BaseRadioXmlRequest *) {}

void BaseRadioAPI::announceStation()
{
    ++m_stationCount;
    emit signal_stationFound(&m_station);
    m_station.reset();
}

} // namespace BASS
