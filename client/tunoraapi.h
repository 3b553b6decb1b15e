#pragma once

#include "baseradioapi.h"
#include "directoryreader.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class TunoraAPI;

// Process-wide notices about every directory client, for the main window's busy display and for
// whoever shows the shared lists.
class DirectoryActivity : public QObject
{
    Q_OBJECT
signals:
    // A request of a client that is not quiet has been sent / has ended.
    void requestStarted(TunoraAPI *api, int id);
    void requestEnded(TunoraAPI *api, int id, bool error);
    // The process-wide language list or account details were replaced by a reply.
    void languagesChanged();
    void accountDetailsChanged();
};

// The program's client of the directory web service. Every widget that talks to the directory
// owns one; instances share only the process-wide HTTP settings, the language list and the
// account details. Commands return the id of their request (0 when no request was made) and
// report through the engine's signals; modal commands return when their progress dialog closes.
// Found-record signals carry a pointer to a working record that is valid during the signal only.
class TunoraAPI : public BASS::BaseRadioAPI
{
    Q_OBJECT
public:
    static constexpr const char *ApiKey = "Xq7LmP2vR9tKw4ZbN8cYh3JdF6sQaE1uGoV5iTnB";
    static constexpr const char *ProgramName = "TunoraDE";
    static constexpr const char *ProgramVersion = "1.02";
    static constexpr const char *NewsFeedPath = "/services/newsfeed/desktop/%1/rss.xml";
    static constexpr const char *Formats = "wm,mp3,aac,ac3,ogg";
    static constexpr const char *CaResource = ":/TunoraDE/Resources/Ssl/AddTrustCA.crt";
    static constexpr int PageSize = 25;
    // Maximum bitrates from this value up are sent as "no upper limit".
    static constexpr int MaxBitrateLimit = 769;

    // Kinds of custom requests.
    enum CustomKind : quint32
    {
        KindNewsFeed = 1,
        KindSignIn = 2,
        KindPlayingNow = 3
    };

    explicit TunoraAPI(QObject *parent = nullptr);
    ~TunoraAPI() override;

    // --- Commands sent in the background ------------------------------------------------------
    int searchStations(const QString &text, int page);
    // Sets page and limit (the page size) and searches; true when a request was made.
    bool search(const QString &text, int page);
    int requestRegions();
    int requestGenres();
    int requestFavorites();
    // The account history; withFlag sends it as type 12 instead of 11.
    int requestHistory(bool withFlag = false);
    int addFavorite(const QString &stationId);
    int removeFavorite(const QString &stationId);
    int requestLanguages();
    int requestSoftwareVersion();
    int requestAccountInfo();
    // Custom requests: the sign-in check, "playing now" and the news feed.
    int signIn(const QString &user, const QString &password);
    // Stores the ids; an empty list sends nothing.
    int playingNow(const QStringList &stationIds);
    void clearPlayingNowQuery() { m_playingNowQuery.clear(); }
    int requestNewsFeed();
    // A custom request of the given kind; other kinds go to the free address.
    int customRequest(quint32 kind);
    void setFreeAddress(const QString &address) { m_freeAddress = address; }

    // --- Modal commands (progress dialog) ----------------------------------------------------
    bool requestHistoryModal();
    bool requestLanguagesModal();
    // The verbose variant: the version is announced with its report flag set.
    bool requestSoftwareVersionModal();
    bool requestAccountInfoModal();
    bool checkAccount();
    bool setHomeLocation(const QString &name);
    bool createAccount(const QString &user, const QString &password, const QString &email);
    bool resendValidation(const QString &user, const QString &password);
    bool lostPassword(const QString &member);
    // Fetches a language file and writes it, as UTF-8, to filePath (replaced only when complete).
    // An error reply of the service writes nothing: false, with its message in lastMessage().
    bool requestTranslation(const QString &name, const QString &language, const QString &filePath);

    // The shop-search link of a station: "{1}" and "{2}" stay for the caller's artist and title.
    QString songSearchLink(const QString &stationId);
    // The directory has no command for it: nothing is sent.
    void reportNowPlaying(const QString &stationId, const QString &songText);

    // --- Addresses (each builder resets the paging numbers) ------------------------------------
    QString serviceRoot() const;
    QString directoryAddress();
    QString accountAddress();
    QString searchAddress(const QString &text, int page);
    QString regionsAddress();
    QString genresAddress();
    QString favoritesAddress();
    QString historyAddress();
    QString addFavoriteAddress(const QString &stationId);
    QString removeFavoriteAddress(const QString &stationId);
    QString languagesAddress();
    QString softwareVersionAddress();
    QString accountInfoAddress();
    QString setLocationAddress(const QString &name);
    QString createAccountAddress(const QString &user, const QString &password, const QString &email);
    QString resendValidationAddress(const QString &user, const QString &password);
    QString lostPasswordAddress(const QString &member);
    QString translationAddress(const QString &name, const QString &language);
    QString signInAddress();
    QString playingNowAddress();
    QString newsFeedAddress();
    QString customAddress(quint32 kind);
    // Percent-encoding of a value's UTF-8 bytes; letters, digits and "-._~" stay.
    static QString encode(const QString &value);

    // --- State -------------------------------------------------------------------------------
    void setQuiet(bool quiet) { m_quiet = quiet; }
    bool quiet() const { return m_quiet; }
    // Credentials of the sign-in request.
    void setCredentials(const QString &user, const QString &password);
    QString userName() const { return m_user; }

    int page() const { return m_page; }
    int pageSize() const { return m_pageSize; }
    int limit() const { return m_limit; }
    int resultsTotal() const { return m_resultsTotal; }
    int pageCount() const { return m_pageCount; }
    int lastPageCount() const { return m_lastPageCount; }
    // How many results the page after the current one brings (the station list's "more" row):
    // the remainder when that page is the last one, else a full page.
    int resultsOnPage() const;
    bool stationList() const { return m_stationList; }

    // News items of the last news-feed reply.
    const QList<NewsItem> &news() const { return m_news; }

    // Shared by every client of the process.
    static const QList<BASS::Language> &languages();
    static const AccountDetails &accountDetails();
    static DirectoryActivity *activity();
    // "TunoraDE/1.02 (Linux; Debian 12)".
    static QString userAgentText();
    // "Linux; Debian 12", or "Linux" when the distribution is not known.
    static QString osName();
    // Fills the process-wide HTTP settings: user agent, address mode, trust (the bundled CA
    // certificates, else the system store, plus the CA file of the settings). Every client
    // calls it when it is built.
    static void configureHttp();

protected:
    void errorHandler(const QString &text, BASS::BaseRadioXmlRequest *request) override;
    void requestStartedHook(int id, BASS::BaseRadioXmlRequest *request) override;
    void requestFinishedHook(int id, bool error, BASS::BaseRadioXmlRequest *request) override;
    void markStationList(BASS::BaseRadioXmlRequest *request) override;
    void replyPieceRead(BASS::BaseRadioXmlRequest *request) override;
    void modalReplyRead(BASS::BaseRadioXmlRequest *request) override;

private:
    void resetPaging();
    bool modal(const QString &address, quint32 type, const QString &statusText, quint32 kind = 0);
    // Reads a finished reply by its type; used by background and modal requests alike.
    void readReply(BASS::BaseRadioXmlRequest *request);
    QString languageParameter() const;

    int m_page = 0;
    int m_pageSize = PageSize;
    int m_limit = 0;
    int m_resultsTotal = 0;
    int m_pageCount = 0;
    int m_lastPageCount = 0;
    bool m_stationList = false;
    bool m_quiet = false;
    bool m_reportVersion = false;
    DirectoryReader m_reader;
    QString m_user;
    QString m_password;
    QStringList m_playingNowIds;
    QString m_playingNowQuery;
    QString m_freeAddress;
    QList<NewsItem> m_news;
};
