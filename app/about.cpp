#include "about.h"

#include "appsettings.h"
#include "autoscrolltextbrowser.h"
#include "navigatelabel.h"
#include "tunorade.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent)
    , m_header(new QLabel(this))
    , m_version(new QLabel(this))
    , m_description(new AutoScrollTextBrowser(this))
    , m_link(new NavigateLabel(this))
{
    setObjectName(QStringLiteral("AboutDialog"));
    setWindowTitle(tr("About"));

    m_header->setObjectName(QStringLiteral("lblAboutHeader"));
    m_header->setPixmap(QPixmap(QStringLiteral(":/TunoraDE/Resources/about_header.png")));
    m_header->setAlignment(Qt::AlignCenter);
    m_header->setAccessibleName(tr("Tunora Player"));

    m_version->setObjectName(QStringLiteral("lblVersion"));
    m_version->setTextFormat(Qt::PlainText);
    m_version->setText(tr("Version %1").arg(QLatin1String(TunoraDE::ProgramVersion)));
    m_version->setAlignment(Qt::AlignCenter);

    m_description->setObjectName(QStringLiteral("tbDescription"));
    m_description->setOpenLinks(false);
    m_description->setPlainText(
        tr("Tunora Player plays internet radio stations from an on-line directory of stations, "
           "sorted by genre, region and country, and finds stations by what they play now.\n\n"
           "While a station plays it shows the artist and song, the song played before it and the "
           "album cover, keeps the songs heard in a track history and the songs you like on a wish "
           "list.\n\nFavourite stations and the stations you listened to are kept on your account."));
    m_description->setMinimumHeight(120);

    // The link target is the configured web site, escaped for the label's rich text.
    const QString site = AppSettings::instance().endpoint(AppSettings::WebSite);
    m_link->setObjectName(QStringLiteral("lblLink"));
    m_link->setOpenInBrowser(true);
    m_link->setLinkCursor(true);
    m_link->setTextFormat(Qt::RichText);
    m_link->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(site.toHtmlEscaped(), site.toHtmlEscaped()));
    m_link->setAlignment(Qt::AlignCenter);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_header);
    layout->addWidget(m_version);
    layout->addWidget(m_description, 1);
    layout->addWidget(m_link);
    layout->addWidget(buttons);
    resize(420, 380);
}
