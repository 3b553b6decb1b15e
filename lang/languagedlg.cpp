#include "languagedlg.h"

#include "tunoraapi.h"
#include "ui_languagedlg.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

LanguageDlg::LanguageDlg(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::LanguageDlgClass>())
    , m_api(new TunoraAPI(this))
{
    m_ui->setupUi(this);
    m_ui->btCancel->hide();
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    setWindowIcon(QIcon(QStringLiteral(":/TunoraDE/Resources/tn_icon32.png")));
    setStyleSheet(QStringLiteral("QDialog#LanguageDlgClass { background-image: "
                                 "url(:/TunoraDE/Resources/background_language.png); "
                                 "background-repeat: no-repeat; }"));
    connect(m_ui->btNext, &QPushButton::clicked, this, &LanguageDlg::slot_Next);
    connect(m_ui->btCancel, &QPushButton::clicked, this, &QDialog::reject);

    fill(TunoraAPI::languages());
    if (m_list.isEmpty()) {
        // The reply fills the list when it comes; the dialog does not wait for it.
        connect(TunoraAPI::activity(), &DirectoryActivity::languagesChanged, this,
                &LanguageDlg::slot_languagesChanged);
        m_api->setQuiet(true);
        m_api->requestLanguages();
    }
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        setGeometry(
            QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
}

LanguageDlg::~LanguageDlg() = default;

QComboBox *LanguageDlg::languages() const
{
    return m_ui->cbLanguages;
}

void LanguageDlg::setHelpText(const QString &text)
{
    m_ui->lblHelp->setText(text);
}

void LanguageDlg::setCancelAllowed(bool allowed)
{
    m_ui->btCancel->setVisible(allowed);
}

void LanguageDlg::selectLanguage(const BASS::Language &language)
{
    m_wanted = language;
    QComboBox *box = m_ui->cbLanguages;
    for (int i = 0; i < box->count(); ++i) {
        const BASS::Language &l = m_list.at(box->itemData(i).toInt());
        if ((!language.code.isEmpty() && l.code == language.code) ||
            (language.code.isEmpty() && l.name == language.name)) {
            box->setCurrentIndex(i);
            return;
        }
    }
}

void LanguageDlg::fill(const QList<BASS::Language> &list)
{
    QComboBox *box = m_ui->cbLanguages;
    for (const BASS::Language &l : list) {
        if (l.name.isEmpty() || box->findText(l.name, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
            continue;
        m_list.append(l);
        box->addItem(l.name, int(m_list.size() - 1));
    }
    const int english = box->findText(QStringLiteral("English"));
    if (english >= 0 && box->currentIndex() <= 0)
        box->setCurrentIndex(english);
    if (!m_wanted.name.isEmpty() || !m_wanted.code.isEmpty())
        selectLanguage(m_wanted);
}

void LanguageDlg::slot_languagesChanged()
{
    fill(TunoraAPI::languages());
}

void LanguageDlg::slot_Next()
{
    bool ok = false;
    const int index = m_ui->cbLanguages->currentData().toInt(&ok);
    if (!ok || index < 0 || index >= m_list.size())
        return;
    m_language = m_list.at(index);
    accept();
}
