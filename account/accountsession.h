#pragma once

#include <QString>

#include <functional>

class TunoraAPI;

// What signing in, signing out and restarting mean for the whole program: the stored
// credentials, the "SignedOut" flag and the restart of the executable.
class AccountSession
{
public:
    // Sign-in codes of the directory's authentication reply.
    enum SignInCode
    {
        WrongCredentials = 0,
        SignedIn = 1,
        NotActivated = 2
    };

    // Sends the authentication request for these credentials and waits for it (the progress
    // dialog keeps the program responsive). True when a reply came; its code and message are then
    // api.lastStatus() and api.lastMessage().
    static bool authenticate(TunoraAPI &api, const QString &member, const QString &password,
                             const QString &statusText);

    // Stores accepted credentials ("username", "password"; the INI stays 0600) and clears
    // "SignedOut"; the directory clients read them from there.
    static void storeSignedIn(const QString &member, const QString &password);

    // Sign-out: "SignedOut" set, credentials emptied, then the program restarts. stopAndClear runs
    // first (the main window stops playback and empties its lists).
    static void signOut(const std::function<void()> &stopAndClear = {});

    // A cancelled sign-in dialog ends the program when the listener had signed out (or never
    // signed in): there is no account to go on with.
    static bool cancelEndsProgram();

    // Starts the program's executable again, detached, and ends this process's event loops with
    // exit code 0. Tests replace the restart with a hook.
    static void restart();
    static void setRestartHook(std::function<void()> hook);
};
