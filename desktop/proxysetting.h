#pragma once

// The listener's proxy choice: none, the system's, or an HTTP or SOCKS proxy at host:port. Applied
// to Qt's application proxy (the HTTP client, the directory client and the web views created
// afterwards) and to the audio engine's network reader. The settings panel loads, edits, saves
// and applies it.

#include <QNetworkProxy>
#include <QString>

struct ProxySetting
{
    enum Kind
    {
        None,
        System,
        Http,
        Socks
    };

    Kind kind = None;
    QString host;
    int port = 0;

    // Group "proxy": "kind" (none, system, http, socks), "host", "port". Absent: None.
    static ProxySetting load();
    void save() const;

    // Http and Socks need a host name or address and a port 1..65535.
    bool isValid(QString *error = nullptr) const;
    // The proxy Qt uses for Http and Socks; NoProxy for None; DefaultProxy for System.
    QNetworkProxy qtProxy() const;
    // What the engine is given: "host:port" for an HTTP proxy (the system's included), "" for a
    // direct connection. The engine speaks only HTTP to a proxy.
    QString engineProxy() const;

    static QString kindKey(Kind kind);
    static Kind kindFromKey(const QString &key);
};

struct ProxyApplied
{
    bool ok = false;
    QString error;
    // False when streams cannot go through the chosen proxy (a SOCKS proxy): the engine then
    // connects directly and the settings panel should say so.
    bool engineUsesProxy = false;
};

// Applies the setting process-wide. An invalid setting changes nothing.
ProxyApplied applyProxy(const ProxySetting &setting);
