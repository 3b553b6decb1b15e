#include "tunoraapi.h"

#include "appsettings.h"
#include "httpblocking.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QSysInfo>
#include <QTimer>
#include <QUrl>

Q_LOGGING_CATEGORY(lcApi, "tunora.client")

using BASS::BaseRadioXmlRequest;
using BASS::QHttpExt;

namespace {

QList<BASS::Language> &sharedLanguages()
{
    static QList<BASS::Language> list;
    return list;
}

AccountDetails &sharedAccount()
{
    static AccountDetails details;
    return details;
}

QString capitalized(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Process-wide parts

const QList<BASS::Language> &TunoraAPI::languages()
{
    return sharedLanguages();
}

const AccountDetails &TunoraAPI::accountDetails()
{
    return sharedAccount();
}

DirectoryActivity *TunoraAPI::activity()
{
    static DirectoryActivity activity;
    return &activity;
}

QString TunoraAPI::osName()
{
    QString kernel = capitalized(QSysInfo::kernelType());
    if (kernel.isEmpty())
        kernel = QStringLiteral("Unknown");
    const QString product = QSysInfo::productType();
    if (product.isEmpty() || product == QLatin1String("unknown") || product == QSysInfo::kernelType())
        return kernel;
    QString distribution = capitalized(product);
    const QString version = QSysInfo::productVersion();
    if (!version.isEmpty() && version != QLatin1String("unknown"))
        distribution += QLatin1Char(' ') + version;
    return kernel + QLatin1String("; ") + distribution;
}

QString TunoraAPI::userAgentText()
{
    return QLatin1String(ProgramName) + QLatin1Char('/') + QLatin1String(ProgramVersion) +
           QLatin1String(" (") + osName() + QLatin1Char(')');
}

void TunoraAPI::configureHttp()
{
    BASS::HttpSettings &http = QHttpExt::settings();
    http.userAgent = userAgentText();
    if (http.caCertificates.isEmpty() && QFile::exists(QLatin1String(CaResource)))
        http.caCertificates = QSslCertificate::fromPath(QLatin1String(CaResource), QSsl::Pem);

    // The CA file of the settings is read again whenever its name changes.
    static QString loadedCaFile;
    const QString caFile = AppSettings::instance().caFile();
    if (caFile != loadedCaFile) {
        loadedCaFile = caFile;
        http.extraCaCertificates.clear();
        if (!caFile.isEmpty()) {
            http.extraCaCertificates =
                QSslCertificate::fromPath(caFile, QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
            if (http.extraCaCertificates.isEmpty())
                qCWarning(lcApi).noquote() << "TunoraAPI::configureHttp no certificate in" << caFile;
        }
    }
    http.addressMode = 1;
    http.useNetworkManager = true;
    http.prefetchSystemStore();
}

// ---------------------------------------------------------------------------------------------
// Construction

TunoraAPI::TunoraAPI(QObject *parent)
    : BaseRadioAPI(parent)
{
    configureHttp();
}

TunoraAPI::~TunoraAPI() = default;

// ---------------------------------------------------------------------------------------------
// Addresses

QString TunoraAPI::encode(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

void TunoraAPI::resetPaging()
{
    m_resultsTotal = m_pageCount = m_lastPageCount = 0;
    m_stationList = false;
}

QString TunoraAPI::serviceRoot() const
{
    QString root = AppSettings::instance().endpoint(AppSettings::DirectoryRoot);
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    return root;
}

QString TunoraAPI::languageParameter() const
{
    BASS::Language language;
    AppSettings::instance().readLanguage(language, AppSettings::instance().memberName());
    if (language.code.isEmpty() && language.name.isEmpty())
        return QString();
    return QLatin1String("&lang=") + encode(language.code);
}

QString TunoraAPI::directoryAddress()
{
    resetPaging();
    return serviceRoot() + QStringLiteral("?key=%1&apiv=1.0").arg(QLatin1String(ApiKey)) +
           languageParameter();
}

QString TunoraAPI::accountAddress()
{
    resetPaging();
    const AppSettings &settings = AppSettings::instance();
    QString user, password;
    settings.credentials(user, password);
    if (user.isEmpty() || password.isEmpty())
        return serviceRoot() + QStringLiteral("?key=%1").arg(QLatin1String(ApiKey));

    QString address = serviceRoot() +
                      QStringLiteral("?key=%1&user=%2&pass=%3&load_network=1&apiv=1.0")
                          .arg(QLatin1String(ApiKey), encode(user), encode(password)) +
                      languageParameter();
    const int minBitrate = settings.minBitrate();
    if (minBitrate != 0)
        address += QStringLiteral("&kbps_min=%1").arg(minBitrate);
    const int maxBitrate = settings.maxBitrate();
    if (maxBitrate != 0 && maxBitrate < MaxBitrateLimit)
        address += QStringLiteral("&kbps_max=%1").arg(maxBitrate);
    address += QLatin1String("&formats=") + QLatin1String(Formats);
    return address;
}

QString TunoraAPI::searchAddress(const QString &text, int page)
{
    return accountAddress() + QStringLiteral("&limit=%1").arg(m_pageSize) +
           QStringLiteral("&page=%1").arg(page) + QLatin1String("&search=") + encode(text);
}

QString TunoraAPI::regionsAddress()
{
    return accountAddress() + QLatin1String("&dir=geo&regions=1");
}

QString TunoraAPI::genresAddress()
{
    return accountAddress() + QLatin1String("&dir=genres&descriptions=1");
}

QString TunoraAPI::favoritesAddress()
{
    return accountAddress() + QLatin1String("&account=favorites");
}

QString TunoraAPI::historyAddress()
{
    return accountAddress() + QLatin1String("&account=history");
}

QString TunoraAPI::addFavoriteAddress(const QString &stationId)
{
    return accountAddress() + QLatin1String("&account=favorites&add=") + encode(stationId);
}

QString TunoraAPI::removeFavoriteAddress(const QString &stationId)
{
    return accountAddress() + QLatin1String("&account=favorites&remove=") + encode(stationId);
}

QString TunoraAPI::languagesAddress()
{
    resetPaging();
    return serviceRoot() + QStringLiteral("?key=%1&apiv=1.0").arg(QLatin1String(ApiKey)) +
           QLatin1String("&info=languages");
}

QString TunoraAPI::softwareVersionAddress()
{
    return accountAddress() + QLatin1String("&software=version");
}

QString TunoraAPI::accountInfoAddress()
{
    return accountAddress() + QLatin1String("&account=info");
}

QString TunoraAPI::setLocationAddress(const QString &name)
{
    return accountAddress() + QLatin1String("&account=setlocation&name=") + encode(name);
}

QString TunoraAPI::createAccountAddress(const QString &user, const QString &password, const QString &email)
{
    return directoryAddress() + QStringLiteral("&account=new&user=%1&pass=%2&email=%3")
                                    .arg(encode(user), encode(password), encode(email));
}

QString TunoraAPI::resendValidationAddress(const QString &user, const QString &password)
{
    return directoryAddress() +
           QStringLiteral("&account=resendvalidation&user=%1&pass=%2").arg(encode(user), encode(password));
}

QString TunoraAPI::lostPasswordAddress(const QString &member)
{
    return directoryAddress() + QLatin1String("&account=lostpassword&member=") + encode(member);
}

QString TunoraAPI::translationAddress(const QString &name, const QString &language)
{
    return directoryAddress() + QStringLiteral("&translation=%1&lang=%2").arg(encode(name), encode(language));
}

QString TunoraAPI::signInAddress()
{
    return directoryAddress() +
           QStringLiteral("&account=authenticate&user=%1&pass=%2").arg(encode(m_user), encode(m_password));
}

QString TunoraAPI::playingNowAddress()
{
    if (m_playingNowQuery.isEmpty()) {
        QStringList ids;
        for (const QString &id : std::as_const(m_playingNowIds))
            ids << encode(id);
        m_playingNowQuery = QLatin1String("&playingnow=") + ids.join(QLatin1Char(','));
    }
    return accountAddress() + m_playingNowQuery;
}

QString TunoraAPI::newsFeedAddress()
{
    resetPaging();
    BASS::Language language;
    AppSettings::instance().readLanguage(language, AppSettings::instance().memberName());
    const QString code = language.code.isEmpty() ? QStringLiteral("en") : encode(language.code);
    QString root = AppSettings::instance().endpoint(AppSettings::NewsFeedHost);
    while (root.endsWith(QLatin1Char('/')))
        root.chop(1);
    return root + QString::fromLatin1(NewsFeedPath).arg(code);
}

QString TunoraAPI::customAddress(quint32 kind)
{
    switch (kind) {
    case KindNewsFeed:
        return newsFeedAddress();
    case KindSignIn:
        return signInAddress();
    case KindPlayingNow:
        return playingNowAddress();
    default:
        resetPaging();
        return m_freeAddress;
    }
}

QString TunoraAPI::songSearchLink(const QString &stationId)
{
    QString link = accountAddress() + QLatin1String("&search_itunes={1}+-+{2}&sid={3}");
    link.replace(QLatin1String("{3}"), encode(stationId));
    return link;
}

// ---------------------------------------------------------------------------------------------
// Commands

int TunoraAPI::searchStations(const QString &text, int page)
{
    return send(searchAddress(text, page), TypeSearch);
}

bool TunoraAPI::search(const QString &text, int page)
{
    m_page = page;
    m_limit = m_pageSize;
    return searchStations(text, page) != 0;
}

int TunoraAPI::requestRegions()
{
    return send(regionsAddress(), TypeRegions);
}

int TunoraAPI::requestGenres()
{
    return send(genresAddress(), TypeGenres);
}

int TunoraAPI::requestFavorites()
{
    return send(favoritesAddress(), TypeFavorites);
}

int TunoraAPI::requestHistory(bool withFlag)
{
    return send(historyAddress(), withFlag ? TypeHistoryAlt : TypeHistory);
}

int TunoraAPI::addFavorite(const QString &stationId)
{
    return send(addFavoriteAddress(stationId), TypeAddFavorite);
}

int TunoraAPI::removeFavorite(const QString &stationId)
{
    return send(removeFavoriteAddress(stationId), TypeRemoveFavorite);
}

int TunoraAPI::requestLanguages()
{
    return send(languagesAddress(), TypeLanguages);
}

int TunoraAPI::requestSoftwareVersion()
{
    workingVersion().reset();
    m_reportVersion = false;
    return send(softwareVersionAddress(), TypeSoftwareVersion);
}

int TunoraAPI::requestAccountInfo()
{
    return send(accountInfoAddress(), TypeAccountInfo);
}

void TunoraAPI::setCredentials(const QString &user, const QString &password)
{
    m_user = user;
    m_password = password;
}

int TunoraAPI::signIn(const QString &user, const QString &password)
{
    setCredentials(user, password);
    return customRequest(KindSignIn);
}

int TunoraAPI::playingNow(const QStringList &stationIds)
{
    m_playingNowIds = stationIds;
    m_playingNowQuery.clear();
    if (stationIds.isEmpty())
        return 0;
    return customRequest(KindPlayingNow);
}

int TunoraAPI::requestNewsFeed()
{
    return customRequest(KindNewsFeed);
}

int TunoraAPI::customRequest(quint32 kind)
{
    return send(customAddress(kind), TypeCustom, kind);
}

void TunoraAPI::reportNowPlaying(const QString &stationId, const QString &songText)
{
    Q_UNUSED(stationId)
    Q_UNUSED(songText)
}

bool TunoraAPI::modal(const QString &address, quint32 type, const QString &statusText, quint32 kind)
{
    if (address.isEmpty())
        return false;
    setStatusText(statusText);
    return modalRequest(address, type, kind);
}

bool TunoraAPI::requestHistoryModal()
{
    return modal(historyAddress(), TypeHistory, tr("Getting History") + QLatin1String("..."));
}

bool TunoraAPI::requestLanguagesModal()
{
    return modal(languagesAddress(), TypeLanguages, tr("Getting ") + tr("languages") + QLatin1String("..."));
}

bool TunoraAPI::requestSoftwareVersionModal()
{
    workingVersion().reset();
    m_reportVersion = true;
    const bool ok = modal(softwareVersionAddress(), TypeSoftwareVersion,
                          tr(" version information") + QLatin1String("..."));
    m_reportVersion = false;
    return ok;
}

bool TunoraAPI::requestAccountInfoModal()
{
    return modal(accountInfoAddress(), TypeAccountInfo,
                 tr("Getting ") + tr("account information") + QLatin1String("..."));
}

bool TunoraAPI::checkAccount()
{
    return modal(accountAddress(), TypeCheckAccount, tr("Checking") + QLatin1String("..."));
}

bool TunoraAPI::setHomeLocation(const QString &name)
{
    return modal(setLocationAddress(name), TypeSetLocation,
                 tr("Setting home location") + QLatin1String("..."));
}

bool TunoraAPI::createAccount(const QString &user, const QString &password, const QString &email)
{
    return modal(createAccountAddress(user, password, email), TypeAccountAction,
                 tr("Creating account") + QLatin1String("..."));
}

bool TunoraAPI::resendValidation(const QString &user, const QString &password)
{
    return modal(resendValidationAddress(user, password), TypeAccountAction,
                 tr("Resending password") + QLatin1String("..."));
}

bool TunoraAPI::lostPassword(const QString &member)
{
    return modal(lostPasswordAddress(member), TypeAccountAction,
                 tr("Resending password") + QLatin1String("..."));
}

bool TunoraAPI::requestTranslation(const QString &name, const QString &language, const QString &filePath)
{
    if (!modal(translationAddress(name, language), TypeRaw, tr("Getting Translation") + QLatin1String("...")))
        return false;
    // The service answers a language it does not offer with an error reply: that is no language
    // file, and a file written from it would stop the next start from asking again.
    BASS::StatusReply status;
    BASS::scanStatus(modalState().text(), status);
    if (status.status == 2) {
        rememberStatus(status);
        qCWarning(lcApi).noquote() << "TunoraAPI::requestTranslation" << name << status.message;
        return false;
    }
    // Written beside the target and renamed over it only when every byte is on disk.
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcApi).noquote() << "TunoraAPI::requestTranslation" << filePath << file.errorString();
        return false;
    }
    const QByteArray bytes = modalState().text().toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        qCWarning(lcApi).noquote() << "TunoraAPI::requestTranslation" << filePath << file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Paging

int TunoraAPI::resultsOnPage() const
{
    int n = m_resultsTotal < m_limit ? m_resultsTotal : 0;
    if (m_page >= m_pageCount - 2)
        n = m_lastPageCount;
    return n != 0 ? n : m_limit;
}

// ---------------------------------------------------------------------------------------------
// Hooks

void TunoraAPI::errorHandler(const QString &text, BaseRadioXmlRequest *request)
{
    BaseRadioAPI::errorHandler(text, request);
    // Callers of custom requests handle their failures themselves.
    if (request && request->kind() != 0)
        return;
    // Shown from the event loop, never from inside the network code that found the error.
    QTimer::singleShot(0, QCoreApplication::instance(), [text] {
        QHttpExt::settings().message(BASS::MessageKind::Critical, tr("Tunora Player"), text);
    });
}

void TunoraAPI::requestStartedHook(int id, BaseRadioXmlRequest *)
{
    if (!m_quiet)
        emit activity()->requestStarted(this, id);
}

void TunoraAPI::markStationList(BaseRadioXmlRequest *)
{
    m_stationList = true;
}

namespace {

struct StationListState : BASS::RequestReadState
{
    StationListProgress progress;
};

StationListState *stationListState(BaseRadioXmlRequest *request)
{
    auto *state = dynamic_cast<StationListState *>(request->readState());
    if (!state) {
        auto fresh = std::make_unique<StationListState>();
        state = fresh.get();
        request->setReadState(std::move(fresh));
    }
    return state;
}

} // namespace

void TunoraAPI::replyPieceRead(BaseRadioXmlRequest *request)
{
    // Station lists are read as they arrive; the stations are announced when the reply ends.
    if (isStationListType(request->type()) && !request->isStopped() && !request->isGivenUp())
        m_reader.readStationsSoFar(request->text(), stationListState(request)->progress);
}

void TunoraAPI::requestFinishedHook(int id, bool error, BaseRadioXmlRequest *request)
{
    if (!request)
        return;
    // A stopped request delivers nothing more; a reply given up as malformed is not read.
    if (!request->isStopped() && !request->isGivenUp())
        readReply(request);
    m_stationList = false;
    if (!m_quiet)
        emit activity()->requestEnded(this, id, error);
    m_quiet = false;
}

void TunoraAPI::modalReplyRead(BaseRadioXmlRequest *request)
{
    readReply(request);
}

void TunoraAPI::readReply(BaseRadioXmlRequest *request)
{
    const QString &text = request->text();
    const quint32 type = request->type();
    auto announce = [this] { announceStation(); };

    if (type == TypeGenres) {
        m_reader.readGenreList(text, [this](const BASS::Genre &genre) { emit signal_genreFound(&genre); });
    } else if (type == TypeRegions) {
        m_reader.readRegionList(
            text, [this](const BASS::WorldRegion &region) { emit signal_regionFound(&region); });
    } else if (type == TypeCustom) {
        if (request->kind() == KindNewsFeed)
            m_news = DirectoryReader::readNews(text);
        else if (request->kind() == KindPlayingNow)
            m_reader.readPlayingNow(text, workingStation(), announce);
    } else if (isStationListType(type)) {
        const StationPaging paging =
            m_reader.finishStationList(text, stationListState(request)->progress, workingStation(), announce);
        m_resultsTotal = int(paging.total);
        if (paging.limit > 0) {
            m_pageCount = int(paging.pageCount);
            m_lastPageCount = int(paging.remainder);
        }
    } else if (type == TypeSoftwareVersion) {
        workingVersion().report = m_reportVersion;
        emit signal_versionFound(&softwareVersion());
    } else if (type == TypeLanguages) {
        if (!request->languages().isEmpty()) {
            sharedLanguages() = request->languages();
            emit activity()->languagesChanged();
        }
    } else if (type == TypeAccountInfo) {
        sharedAccount() = DirectoryReader::readAccountInfo(text);
        emit activity()->accountDetailsChanged();
    }
}
