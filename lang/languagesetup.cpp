#include "languagesetup.h"

#include "appsettings.h"
#include "apptranslator.h"
#include "clangmanager.h"
#include "languagedlg.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QEvent>

namespace {

struct State
{
    BASS::Language current;
    QString error;
    AppTranslator *translator = nullptr;
};

State &state()
{
    static State s;
    return s;
}

BASS::Language storedLanguage(const QString &member)
{
    BASS::Language language;
    AppSettings::instance().readLanguage(language, member);
    return language;
}

bool isUnset(const BASS::Language &language)
{
    return language.name.isEmpty() && language.code.isEmpty();
}

} // namespace

void LanguageSetup::installTranslator()
{
    State &s = state();
    if (s.translator || !QCoreApplication::instance())
        return;
    s.translator = new AppTranslator(QCoreApplication::instance());
    QCoreApplication::installTranslator(s.translator);
}

QString LanguageSetup::filePath(const BASS::Language &language, QString *error)
{
    const QString folder = AppSettings::instance().languagesFolder();
    QDir().mkpath(folder);
    return CLangManager::languageFilePath(folder, language.name, error);
}

bool LanguageSetup::apply(const BASS::Language &language)
{
    State &s = state();
    s.error.clear();
    CLangManager &manager = CLangManager::instance();
    if (CLangManager::isEnglish(language.name)) {
        manager.clear();
        s.current = language;
        return true;
    }
    QString error;
    const QString path = filePath(language, &error);
    if (path.isEmpty()) {
        s.error = error;
        qWarning().noquote() << "LanguageSetup::apply" << error;
        return false;
    }
    if (!manager.load(path, language.name)) {
        s.error = manager.lastError();
        qWarning().noquote() << "LanguageSetup::apply" << s.error;
        return false;
    }
    s.current = language;
    return true;
}

bool LanguageSetup::start(const QString &member, bool ask, QWidget *parent)
{
    installTranslator();
    BASS::Language language = storedLanguage(member);
    if (isUnset(language)) {
        if (!state().current.name.isEmpty()) {
            language = state().current;
        } else if (ask) {
            LanguageDlg dialog(parent);
            if (dialog.exec() == QDialog::Accepted)
                language = dialog.language();
        }
    }
    if (language.name.isEmpty())
        language = BASS::Language{QStringLiteral("en"), QStringLiteral("English")};
    const bool ok = apply(language);
    storeFor(member);
    return ok;
}

bool LanguageSetup::willAsk(const QString &member, bool ask)
{
    return ask && state().current.name.isEmpty() && isUnset(storedLanguage(member));
}

void LanguageSetup::storeFor(const QString &member)
{
    if (member.isEmpty() || state().current.name.isEmpty())
        return;
    AppSettings::instance().writeLanguage(state().current, member);
}

void LanguageSetup::announceChange()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    // The application hands it on to every top-level widget, which passes it to its children.
    QEvent event(QEvent::LanguageChange);
    QCoreApplication::sendEvent(app, &event);
}

const BASS::Language &LanguageSetup::current()
{
    return state().current;
}

QString LanguageSetup::error()
{
    return state().error;
}
