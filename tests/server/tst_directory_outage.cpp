// The directory service on PostgreSQL when the database fails under it: storage errors are
// answered as errors of the service, never as a wrong password or a created account, and they
// leave nothing behind (no lock-out, no half-made account) once the database is back.

#include "testmain.h"

#include "directoryservice.h"
#include "postgres.h"
#include "rawapi.h"

using namespace TunoraTest;

class TestDirectoryOutage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void outageIsNotAWrongPassword();
    void failedSignUpLeavesNoAccount();

private:
    bool startOn(DirectoryService &service, const QString &database,
                 const QMap<QString, QString> &settings = {});
    bool sql(const QString &database, const QString &statement, QString *output = nullptr);

    std::unique_ptr<PostgresCluster> m_postgres;
};

bool TestDirectoryOutage::sql(const QString &database, const QString &statement, QString *output)
{
    QString error;
    if (m_postgres->psql(database, statement, output, &error))
        return true;
    qWarning().noquote() << "psql:" << error;
    return false;
}

bool TestDirectoryOutage::startOn(DirectoryService &service, const QString &database,
                                  const QMap<QString, QString> &settings)
{
    DirectoryService::Options options;
    options.backend = DirectoryService::Backend::PostgreSQL;
    options.postgres = m_postgres.get();
    options.importCatalogue = false;
    options.settings = settings;
    options.settings.insert(QStringLiteral("database/name"), database);
    options.settings.insert(QStringLiteral("accounts/account_failure_limit"), QStringLiteral("3"));
    return service.start(options);
}

void TestDirectoryOutage::initTestCase()
{
    if (!PostgresCluster::available())
        QSKIP("PostgreSQL is not installed");
    m_postgres = std::make_unique<PostgresCluster>();
    QString error;
    QVERIFY2(m_postgres->start(&error), qPrintable(error));
}

void TestDirectoryOutage::cleanupTestCase()
{
    m_postgres.reset();
}

void TestDirectoryOutage::outageIsNotAWrongPassword()
{
    const QString db = QStringLiteral("outage");
    QVERIFY(m_postgres->createDatabase(db));
    DirectoryService service;
    QVERIFY2(startOn(service, db), qPrintable(service.errorString()));
    HttpsClient http(service.sslConfiguration());
    const PlayerAddresses a(service.root(), DirectoryService::apiKey());
    QString why;
    QVERIFY2(signUpAndActivate(http, service, QStringLiteral("steady"), QStringLiteral("steady-pass"), &why),
             qPrintable(why));
    // The database refuses the service's connections until further notice.
    QVERIFY(sql(QStringLiteral("postgres"), QStringLiteral("ALTER DATABASE outage ALLOW_CONNECTIONS false")));
    QVERIFY(sql(QStringLiteral("postgres"),
                QStringLiteral("SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity "
                               "WHERE datname = 'outage' AND pid <> pg_backend_pid()")));
    // More correct sign-ins during the outage than the failure limit: each is an error of the
    // service.
    for (int i = 0; i < 5; ++i) {
        const HttpResult r = http.get(a.signIn(QStringLiteral("steady"), QStringLiteral("steady-pass")));
        QCOMPARE(r.status, 503);
        const StatusReply s = readStatus(r.body);
        QCOMPARE(s.code, 2);
        QVERIFY2(s.message.contains(QStringLiteral("unavailable")), qPrintable(s.message));
    }
    QVERIFY(sql(QStringLiteral("postgres"), QStringLiteral("ALTER DATABASE outage ALLOW_CONNECTIONS true")));
    // Back at once, nothing counted against the account.
    const HttpResult back = http.get(a.signIn(QStringLiteral("steady"), QStringLiteral("steady-pass")));
    QCOMPARE(back.status, 200);
    QCOMPARE(readStatus(back.body).code, 1);
    QVERIFY2(service.stop(), qPrintable(service.errorString()));
}

void TestDirectoryOutage::failedSignUpLeavesNoAccount()
{
    const QString db = QStringLiteral("fullstore");
    QVERIFY(m_postgres->createDatabase(db));
    DirectoryService service;
    QVERIFY2(startOn(service, db), qPrintable(service.errorString()));
    HttpsClient http(service.sslConfiguration());
    const PlayerAddresses a(service.root(), DirectoryService::apiKey());
    // The activation token cannot be stored (as on a full disk): the account must not be either.
    QVERIFY(
        sql(db, QStringLiteral("ALTER TABLE account_tokens ADD CONSTRAINT no_room CHECK (false) NOT VALID")));
    const QString signUp = a.createAccount(QStringLiteral("newbie"), QStringLiteral("newbie-pass"),
                                           QStringLiteral("new@example.org"));
    const HttpResult failed = http.get(signUp);
    QCOMPARE(failed.status, 503);
    QCOMPARE(readStatus(failed.body).code, 2);
    QString count;
    QVERIFY(sql(db, QStringLiteral("SELECT count(*) FROM accounts"), &count));
    QCOMPARE(count, QStringLiteral("0"));
    QVERIFY(service.mails().isEmpty());
    // With room again the same name is free and the account is made with its mail.
    QVERIFY(sql(db, QStringLiteral("ALTER TABLE account_tokens DROP CONSTRAINT no_room")));
    const StatusReply made = readStatus(http.get(signUp).body);
    QCOMPARE(made.code, 0);
    QCOMPARE(service.mails().size(), 1);
    QVERIFY2(service.stop(), qPrintable(service.errorString()));
}

TUNORA_TEST_MAIN_CORE(TestDirectoryOutage)
#include "tst_directory_outage.moc"
