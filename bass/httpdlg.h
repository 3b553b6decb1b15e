#pragma once

#include "httpblocking.h"

#include <QDialog>

#include <memory>

namespace Ui {
class HttpDlg;
}

namespace BASS {

// A small modal progress dialog around one QHttpExt transfer: a get into memory, a post or a
// download into a file. It closes by itself when the transfer ends, accepted on success and
// rejected on failure (after a box with the error) or on Cancel.
class HttpDownloadDlg : public QDialog
{
    Q_OBJECT
public:
    explicit HttpDownloadDlg(QWidget *parent = nullptr);
    ~HttpDownloadDlg() override;

    void prepareGet(const QString &address, bool flag = false);
    void preparePost(const QString &address, const QByteArray &body);
    void prepareDownload(const QString &address, const QString &fileName, bool resume, bool ask);
    // Heading shown once the transfer has started ("Downloading..." when none is set).
    void setHeadingText(const QString &text) { m_heading = text; }
    // Size announced by someone else, used as the bar's maximum until the reply tells better.
    void setExpectedTotal(qint64 bytes);

    // Starts the transfer and waits for its end in the dialog's own event loop; true on success.
    bool run();

    QString resultText() const { return m_text; }
    QByteArray resultData() const { return m_data; }
    QString errorText() const { return m_error; }
    int transferId() const { return m_id; }
    QHttpExt &http() { return *m_http; }

    // "512", "1 kb", "1.5 mb", "2.25 gb", "1.000 tb".
    static QString sizeText(qint64 bytes);

public slots:
    void slot_Cancel();
    void slot_Ready(const QHttpExt::httpInfo *info);
    void slot_Started(const QHttpExt::httpInfo *info);
    void slot_Redirect(int old_id, int new_id);
    void reject() override;

private slots:
    void slot_Progress(qint64 received, qint64 total);

private:
    enum Operation
    {
        None = 0,
        Get = 1,
        Post = 2,
        Download = 3
    };

    std::unique_ptr<Ui::HttpDlg> m_ui;
    QHttpExt *m_http;
    Operation m_operation = None;
    QString m_address;
    QByteArray m_body;
    QString m_fileName;
    bool m_resume = false;
    bool m_ask = false;
    QString m_heading;
    int m_id = 0;
    bool m_finished = false;
    bool m_canceled = false;
    bool m_ok = false;
    QString m_text;
    QByteArray m_data;
    QString m_error;
};

} // namespace BASS
