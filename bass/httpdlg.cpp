#include "httpdlg.h"

#include "ui_httpdlg.h"

#include <limits>

namespace BASS {

HttpDownloadDlg::HttpDownloadDlg(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::HttpDlg>())
    , m_http(new QHttpExt(this))
{
    m_ui->setupUi(this);
    m_ui->progressBar->setRange(0, 0);
    connect(m_ui->btAbort, &QPushButton::clicked, this, &HttpDownloadDlg::slot_Cancel);
    connect(m_http, &QHttpExt::sig_Ready, this, &HttpDownloadDlg::slot_Ready);
    connect(m_http, &QHttpExt::sig_Started, this, &HttpDownloadDlg::slot_Started);
    connect(m_http, &QHttpExt::sig_Redirect, this, &HttpDownloadDlg::slot_Redirect);
    connect(m_http, &QHttpExt::sig_ReadProgress, this, &HttpDownloadDlg::slot_Progress);
}

HttpDownloadDlg::~HttpDownloadDlg() = default;

void HttpDownloadDlg::prepareGet(const QString &address, bool flag)
{
    Q_UNUSED(flag)
    m_operation = Get;
    m_address = address;
    setWindowTitle(tr("Please wait") + QLatin1String("..."));
}

void HttpDownloadDlg::preparePost(const QString &address, const QByteArray &body)
{
    m_operation = Post;
    m_address = address;
    m_body = body;
    setWindowTitle(tr("Please wait") + QLatin1String("..."));
}

void HttpDownloadDlg::prepareDownload(const QString &address, const QString &fileName, bool resume, bool ask)
{
    m_operation = Download;
    m_address = address;
    m_fileName = fileName;
    m_resume = resume;
    m_ask = ask;
    setWindowTitle(tr("Please wait") + QLatin1String("..."));
    m_heading =
        tr("Downloading") + QStringLiteral(":<br><b>%1</b>").arg(maskedAddress(address).toHtmlEscaped());
}

void HttpDownloadDlg::setExpectedTotal(qint64 bytes)
{
    if (bytes > 0)
        slot_Progress(0, bytes);
}

bool HttpDownloadDlg::run()
{
    m_finished = m_canceled = m_ok = false;
    m_text.clear();
    m_data.clear();
    m_error.clear();
    switch (m_operation) {
    case Get:
        m_id = m_http->get(m_address, true);
        break;
    case Post:
        m_id = m_http->post(m_address, m_body);
        break;
    case Download:
        m_id = m_http->download(m_address, m_fileName, m_resume, m_ask);
        break;
    case None:
        m_id = 0;
        break;
    }
    if (m_id == 0) {
        m_error = m_http->errorText();
        return false;
    }
    m_ui->lblHeading->setText(tr("Connecting") + QLatin1String("..."));
    if (!m_finished)
        exec();
    // The error box comes after the dialog's own loop has ended, never from inside a network slot.
    if (!m_ok && !m_canceled && !m_error.isEmpty())
        QHttpExt::settings().message(MessageKind::Critical, windowTitle(), plainToHtml(m_error));
    return m_ok;
}

void HttpDownloadDlg::slot_Started(const QHttpExt::httpInfo *info)
{
    if (info->id != m_id)
        return;
    m_ui->lblHeading->setText(m_heading.isEmpty() ? tr("Downloading") + QLatin1String("...") : m_heading);
}

void HttpDownloadDlg::slot_Redirect(int old_id, int new_id)
{
    if (old_id == m_id)
        m_id = new_id;
}

void HttpDownloadDlg::slot_Progress(qint64 received, qint64 total)
{
    // The bar counts in int: large sizes are shown in KiB.
    const int shift = total > std::numeric_limits<int>::max() ? 10 : 0;
    if (total > 0)
        m_ui->progressBar->setRange(0, static_cast<int>(total >> shift));
    if (m_ui->progressBar->maximum() > 0)
        m_ui->progressBar->setValue(
            static_cast<int>(qMin<qint64>(received >> shift, m_ui->progressBar->maximum())));
    m_ui->lblStatus->setText(sizeText(received));
}

void HttpDownloadDlg::slot_Ready(const QHttpExt::httpInfo *info)
{
    if (info->id != m_id || m_finished || m_canceled)
        return;
    m_finished = true;
    if (info->failed) {
        m_error = info->error;
        QDialog::reject();
        return;
    }
    m_ok = true;
    m_text = info->text;
    m_data = info->data;
    accept();
}

void HttpDownloadDlg::slot_Cancel()
{
    if (m_finished)
        return;
    m_canceled = true;
    m_finished = true;
    m_error = QHttpExt::networkErrorText(QNetworkReply::OperationCanceledError);
    m_http->abort(m_id);
    QDialog::reject();
}

void HttpDownloadDlg::reject()
{
    if (m_finished)
        QDialog::reject();
    else
        slot_Cancel();
}

QString HttpDownloadDlg::sizeText(qint64 bytes)
{
    constexpr qint64 KiB = 1024, MiB = KiB * 1024, GiB = MiB * 1024, TiB = GiB * 1024;
    if (bytes < KiB)
        return QString::number(bytes);
    if (bytes < MiB)
        return QString::number(bytes / KiB) + QLatin1Char(' ') + tr("kb");
    if (bytes < GiB)
        return QString::number(double(bytes) / MiB, 'f', 1) + QLatin1Char(' ') + tr("mb");
    if (bytes < TiB)
        return QString::number(double(bytes) / GiB, 'f', 2) + QLatin1Char(' ') + tr("gb");
    return QString::number(double(bytes) / TiB, 'f', 3) + QLatin1Char(' ') + tr("tb");
}

} // namespace BASS
