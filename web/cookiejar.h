#pragma once

#include <QMutex>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QStringList>

#include <atomic>
#include <memory>

class CookieJar;

// Lets the web engine's network thread ask the jar's policy for as long as it holds the gate,
// also while or after the jar is destroyed (it is then refused): a jar pointer alone would be
// read after the window that owned the jar was gone.
class CookieGate
{
public:
    bool accepts(const QString &host, bool thirdParty) const;

private:
    friend class CookieJar;
    mutable QMutex m_lock;
    const CookieJar *m_jar = nullptr;
};

// The program's one persistent cookie store, shared by its HTTP client and (through WebProfile)
// by the embedded web pages. Keeps cookies across runs in "cookies.ini" in the data location and
// applies an accept policy with per-host exceptions and a keep policy.
class CookieJar : public QNetworkCookieJar
{
    Q_OBJECT
    Q_PROPERTY(AcceptPolicy acceptPolicy READ acceptPolicy WRITE setAcceptPolicy)
    Q_PROPERTY(KeepPolicy keepPolicy READ keepPolicy WRITE setKeepPolicy)
    Q_PROPERTY(QStringList blockedCookies READ blockedCookies WRITE setBlockedCookies)
    Q_PROPERTY(QStringList allowedCookies READ allowedCookies WRITE setAllowedCookies)
    Q_PROPERTY(QStringList allowForSessionCookies READ allowForSessionCookies WRITE setAllowForSessionCookies)

public:
    enum AcceptPolicy
    {
        AcceptAlways = 0,
        AcceptNever = 1,
        AcceptOnlyFromSitesNavigatedTo = 2
    };
    Q_ENUM(AcceptPolicy)

    enum KeepPolicy
    {
        KeepUntilExpire = 0,
        KeepUntilExit = 1,
        KeepUntilTimeLimit = 2
    };
    Q_ENUM(KeepPolicy)

    static constexpr quint32 StreamVersion = 23;
    static constexpr int TimeLimitDays = 90;

    explicit CookieJar(QObject *parent = nullptr);
    ~CookieJar() override;

    QList<QNetworkCookie> cookiesForUrl(const QUrl &url) const override;
    bool setCookiesFromUrl(const QList<QNetworkCookie> &cookieList, const QUrl &url) override;

    AcceptPolicy acceptPolicy() const;
    void setAcceptPolicy(AcceptPolicy policy);
    KeepPolicy keepPolicy() const;
    void setKeepPolicy(KeepPolicy policy);
    QStringList blockedCookies() const;
    void setBlockedCookies(const QStringList &hosts);
    QStringList allowedCookies() const;
    void setAllowedCookies(const QStringList &hosts);
    QStringList allowForSessionCookies() const;
    void setAllowForSessionCookies(const QStringList &hosts);

    // Whether cookies from this host pass the accept policy and the exception lists. Safe to call
    // from any thread: the web engine asks from its network thread.
    bool acceptsCookiesFrom(const QString &host) const;
    // The policy check for other threads, valid beyond the jar's life.
    std::shared_ptr<const CookieGate> gate() const { return m_gate; }
    // A cookie with an expiry past the time limit gets the limit under KeepUntilTimeLimit.
    QNetworkCookie limitedCookie(const QNetworkCookie &cookie) const;

    // Cookies the web pages received (already filtered by the same policy) and dropped.
    bool addWebCookie(const QNetworkCookie &cookie);
    bool removeWebCookie(const QNetworkCookie &cookie);
    // Every cookie the jar holds, for handing to the web engine.
    QList<QNetworkCookie> cookies() const { return allCookies(); }

    // Private browsing: no cookies are handed out or taken in while it is on.
    static void setPrivateBrowsing(bool on) { s_privateBrowsing = on; }
    static bool privateBrowsing() { return s_privateBrowsing; }

    // "cookies.ini" in the platform's data location ("<home>/.<application>" when there is none).
    static QString cookieFile();

    static QByteArray serialize(const QList<QNetworkCookie> &cookies);
    static QList<QNetworkCookie> deserialize(const QByteArray &data);

    bool isLoaded() const { return m_loaded; }
    void load();
    // False when the file could not be written whole (the old file is then kept); errorString().
    bool save();
    QString errorString() const { return m_error; }

signals:
    void cookiesChanged();
    // Cookies the HTTP client took in, for the web engine's store.
    void cookiesAdded(const QList<QNetworkCookie> &cookies, const QUrl &url);

public slots:
    void clear();
    void loadSettings();

private:
    void ensureLoaded() const;
    void purgeOldCookies();
    void setSortedList(QStringList &list, const QStringList &hosts);

    bool m_loaded = false;
    AcceptPolicy m_acceptPolicy = AcceptOnlyFromSitesNavigatedTo;
    KeepPolicy m_keepPolicy = KeepUntilExpire;
    QStringList m_blocked;
    QStringList m_allowed;
    QStringList m_allowedForSession;
    QString m_error;
    // Guards the policy and the lists against the web engine's network thread.
    mutable QMutex m_policyLock;
    std::shared_ptr<CookieGate> m_gate = std::make_shared<CookieGate>();

    static std::atomic<bool> s_privateBrowsing;
};
