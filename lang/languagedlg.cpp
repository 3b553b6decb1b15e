#include "languagedlg.h"

#include "tunoraapi.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

LanguageDlg::LanguageDlg(QWidget *parent)
    : QDialog(parent)
    , m_lblTitle(new QLabel(this))
    , m_cbLanguages(new QComboBox(this))
    , m_lblHelp(new QLabel(this))
    , m_btNext(new QPushButton(this))
    , m_api(new TunoraAPI(this))
{
    setObjectName(QStringLiteral("LanguageDlgClass"));
    m_cbLanguages->setObjectName(QStringLiteral("cbLanguages"));
    m_lblHelp->setObjectName(QStringLiteral("lblHelp"));
    m_btNext->setObjectName(QStringLiteral("btNext"));
    m_lblHelp->setWordWrap(true);
    m_lblTitle->setBuddy(m_cbLanguages);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_lblTitle);
    layout->addWidget(m_cbLanguages);
    layout->addWidget(m_lblHelp);
    layout->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_btNext);
    layout->addLayout(buttons);

    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    setWindowIcon(QIcon(QStringLiteral(":/TunoraDE/Resources/tn_icon32.png")));
    setStyleSheet(QStringLiteral("QDialog#LanguageDlgClass { background-image: "
                                 "url(:/TunoraDE/Resources/background_language.png); "
                                 "background-repeat: no-repeat; }"));
    retranslate();
    m_btNext->setDefault(true);
    connect(m_btNext, &QPushButton::clicked, this, &LanguageDlg::slot_Next);

    fill(TunoraAPI::languages());
    if (m_list.isEmpty()) {
        // The reply fills the list when it comes; the dialog does not wait for it.
        connect(TunoraAPI::activity(), &DirectoryActivity::languagesChanged, this,
                &LanguageDlg::slot_languagesChanged);
        m_api->setQuiet(true);
        m_api->requestLanguages();
    }
    resize(sizeHint().expandedTo(QSize(360, 180)));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        setGeometry(
            QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
}

void LanguageDlg::retranslate()
{
    setWindowTitle(tr("Language"));
    m_lblTitle->setText(tr("Language:"));
    m_lblHelp->setText(tr("Please select your preferred language."));
    m_btNext->setText(tr("Next >>"));
}

void LanguageDlg::fill(const QList<BASS::Language> &list)
{
    for (const BASS::Language &l : list) {
        if (l.name.isEmpty() ||
            m_cbLanguages->findText(l.name, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
            continue;
        m_list.append(l);
        m_cbLanguages->addItem(l.name, int(m_list.size() - 1));
    }
    const int english = m_cbLanguages->findText(QStringLiteral("English"));
    if (english >= 0 && m_cbLanguages->currentIndex() <= 0)
        m_cbLanguages->setCurrentIndex(english);
}

void LanguageDlg::slot_languagesChanged()
{
    fill(TunoraAPI::languages());
}

void LanguageDlg::slot_Next()
{
    bool ok = false;
    const int index = m_cbLanguages->currentData().toInt(&ok);
    if (!ok || index < 0 || index >= m_list.size())
        return;
    m_language = m_list.at(index);
    accept();
}
