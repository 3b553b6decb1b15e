#include "versioncheck.h"

#include "httpblocking.h"
#include "tunoraapi.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QWidget>

VersionCheck::VersionCheck(QWidget *window, QObject *parent)
    : QObject(parent)
    , m_window(window)
{}

bool VersionCheck::isOtherVersion(const BASS::SoftwareVersion &version)
{
    return !version.comment_version.isEmpty() && version.comment_version != QLatin1String(CurrentVersion);
}

QString VersionCheck::changeNotes(const QString &comment)
{
    QString notes = comment.toHtmlEscaped();
    notes.replace(QLatin1Char('.'), QLatin1String("<br>"));
    return notes;
}

QString VersionCheck::downloadFileName(const QUrl &url)
{
    QString name = url.fileName();
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._+-]"));
    name.replace(unsafe, QStringLiteral("_"));
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    if (name.isEmpty() || name.contains(QLatin1String("..")))
        name = QStringLiteral("TunoraDE-update");
    return name.left(120);
}

QString VersionCheck::downloadFolder() const
{
    if (!m_downloadFolder.isEmpty())
        return m_downloadFolder;
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    return folder;
}

void VersionCheck::finish(Outcome outcome)
{
    m_outcome = outcome;
    emit signal_finished(outcome);
}

void VersionCheck::slot_versionFound(const BASS::SoftwareVersion *announced)
{
    if (!announced)
        return;
    const BASS::SoftwareVersion version = *announced;
    QMetaObject::invokeMethod(
        this, [this, version] { check(version); }, Qt::QueuedConnection);
}

void VersionCheck::check(const BASS::SoftwareVersion &version)
{
    m_error.clear();
    m_saved.clear();
    const QString current = QLatin1String(CurrentVersion);
    BASS::HttpSettings &boxes = BASS::QHttpExt::settings();
    if (!isOtherVersion(version)) {
        if (version.report)
            boxes.message(BASS::MessageKind::Information, tr("Tunora Player"),
                          tr("<b>No new version was found.</b><br><br>Current Version: <b>%1</b><br>Latest "
                             "Version: <b>%2</b>")
                              .arg(current, version.comment_version.toHtmlEscaped()));
        return finish(Outcome::UpToDate);
    }
    const int answer = boxes.message(
        BASS::MessageKind::Question, tr("Tunora Player"),
        tr("<b>New version found.</b><br><br>Current Version: <b>%1</b><br>Latest Version: "
           "<b>%2</b><br><br><b>Changes:</b><br>%3<br><br><b>Would you like to install it?</b>")
            .arg(current, version.comment_version.toHtmlEscaped(), changeNotes(version.comment)),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer != QMessageBox::Yes)
        return finish(Outcome::Declined);

    QString path;
    if (!download(version, &path)) {
        if (m_outcome == Outcome::Cancelled)
            return finish(Outcome::Cancelled);
        boxes.message(BASS::MessageKind::Warning, tr("Tunora Player"),
                      tr("The update could not be downloaded.") + QLatin1String("<br>") +
                          m_error.toHtmlEscaped());
        return finish(Outcome::Failed);
    }
    m_saved = path;
    const QUrl url = QUrl::fromLocalFile(path);
    const bool started = m_openHook ? m_openHook(url) : QDesktopServices::openUrl(url);
    if (!started) {
        boxes.message(BASS::MessageKind::Information, tr("Tunora Player"),
                      tr("The update was saved as %1.").arg(path.toHtmlEscaped()));
        return finish(Outcome::Saved);
    }
    finish(Outcome::Opened);
    emit signal_quitRequested();
}

bool VersionCheck::download(const BASS::SoftwareVersion &version, QString *path)
{
    m_outcome = Outcome::Failed;
    const QUrl url(version.file_location, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty()) {
        m_error = tr("The download address is not a secure (https) address.");
        return false;
    }
    bool sizeOk = false;
    const qint64 size = version.file_size.trimmed().toLongLong(&sizeOk);
    if (!sizeOk || size <= 0) {
        m_error = tr("The directory did not announce the size of the download.");
        return false;
    }
    QByteArray expectedHash;
    if (!version.file_sha256.trimmed().isEmpty()) {
        expectedHash = QByteArray::fromHex(version.file_sha256.trimmed().toLatin1());
        if (expectedHash.size() != 32) {
            m_error = tr("The announced checksum is not a SHA-256 checksum.");
            return false;
        }
    }

    const QString folder = downloadFolder();
    if (!QDir().mkpath(folder)) {
        m_error = tr("The folder %1 cannot be created.").arg(folder);
        return false;
    }
    const QString name = downloadFileName(url);
    const QFileInfo nameInfo(name);
    QString target = QDir(folder).filePath(name);
    for (int i = 1; QFileInfo::exists(target) && i < 1000; ++i)
        target = QDir(folder).filePath(QStringLiteral("%1-%2%3").arg(
            nameInfo.completeBaseName(), QString::number(i),
            nameInfo.suffix().isEmpty() ? QString() : QLatin1Char('.') + nameInfo.suffix()));

    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = file.errorString();
        return false;
    }

    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    // A redirect may not leave https.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(10);
    request.setHeader(QNetworkRequest::UserAgentHeader, TunoraAPI::userAgentText());
    request.setTransferTimeout(30000);
    BASS::QHttpExt::settings().applyTrust(request);
    QNetworkReply *reply = manager.get(request);

    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 received = 0;
    QString failure;
    bool cancelled = false;
    QEventLoop loop;
    std::unique_ptr<QProgressDialog> progress;
    if (m_showProgress) {
        progress = std::make_unique<QProgressDialog>(tr("Downloading the new version..."), tr("Cancel"), 0,
                                                     100, m_window);
        progress->setWindowTitle(tr("Tunora Player"));
        progress->setWindowModality(Qt::ApplicationModal);
        progress->setMinimumDuration(0);
        connect(progress.get(), &QProgressDialog::canceled, reply, [&] {
            cancelled = true;
            reply->abort();
        });
    }
    connect(reply, &QNetworkReply::redirected, reply, [&](const QUrl &to) {
        if (to.scheme() != QLatin1String("https")) {
            failure = tr("The download was redirected to an address that is not secure.");
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::readyRead, reply, [&] {
        const QByteArray chunk = reply->readAll();
        received += chunk.size();
        if (received > size) {
            failure = tr("The download is larger than announced.");
            reply->abort();
            return;
        }
        hash.addData(chunk);
        if (file.write(chunk) != chunk.size()) {
            failure = file.errorString();
            reply->abort();
            return;
        }
        if (progress)
            progress->setValue(int(received * 100 / size));
    });
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    if (failure.isEmpty() && !cancelled) {
        const QByteArray rest = reply->readAll();
        received += rest.size();
        hash.addData(rest);
        if (received > size || file.write(rest) != rest.size())
            failure = tr("The download is larger than announced.");
    }
    if (failure.isEmpty() && !cancelled && reply->error() != QNetworkReply::NoError)
        failure = reply->errorString();
    if (failure.isEmpty() && !cancelled) {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status != 200)
            failure = tr("The server answered with status %1.").arg(status);
        else if (reply->url().scheme() != QLatin1String("https"))
            failure = tr("The download was redirected to an address that is not secure.");
    }
    if (failure.isEmpty() && !cancelled && received != size)
        failure = tr("The download has %1 bytes instead of the announced %2.").arg(received).arg(size);
    if (failure.isEmpty() && !cancelled && !expectedHash.isEmpty() && hash.result() != expectedHash)
        failure = tr("The checksum of the download does not match the announced one.");
    reply->deleteLater();
    if (progress)
        progress->reset();

    if (cancelled) {
        file.cancelWriting();
        m_outcome = Outcome::Cancelled;
        m_error = tr("The download was cancelled.");
        return false;
    }
    if (!failure.isEmpty()) {
        file.cancelWriting();
        m_error = failure;
        qWarning().noquote() << "VersionCheck::download" << BASS::maskedAddress(version.file_location)
                             << failure;
        return false;
    }
    // Never executable: it is opened by the handler for its type, not run.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                        QFileDevice::ReadOther);
    if (!file.commit()) {
        m_error = file.errorString();
        return false;
    }
    *path = target;
    return true;
}
