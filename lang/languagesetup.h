#pragma once

#include "records.h"

#include <QString>

class QWidget;

// The interface language at start-up and after a change of account: the language stored for the
// member, else (on a first run) the one the listener picks in LanguageDlg, loaded into the
// process-wide CLangManager behind the application's AppTranslator.
class LanguageSetup
{
public:
    // Installs the one AppTranslator into the application; later calls do nothing.
    static void installTranslator();

    // Reads the language stored for member; without one and with ask set, asks with LanguageDlg.
    // Loads its file (downloading it when missing) and makes it the current language. Returns
    // false when a file could not be loaded (error() tells why; the program stays in English).
    static bool start(const QString &member, bool ask, QWidget *parent = nullptr);
    // Whether start(member, ask) would open LanguageDlg: no language stored for the member and
    // none chosen yet in this run.
    static bool willAsk(const QString &member, bool ask);

    // Makes language current and loads its file; English empties the table.
    static bool apply(const BASS::Language &language);

    // Stores the current language under member (nothing without a member name).
    static void storeFor(const QString &member);

    // Tells every widget that the language changed (QEvent::LanguageChange), so that those which
    // retranslate themselves show the new language at once.
    static void announceChange();

    static const BASS::Language &current();
    static QString error();
    // Where the file of a language lives; empty when its name is not a safe file name.
    static QString filePath(const BASS::Language &language, QString *error = nullptr);
};
