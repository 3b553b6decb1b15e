#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Builds the compact XML documents the player reads: UTF-8, no attributes, no whitespace
// between elements (the player's language reader would take it for a language), text escaped
// and stripped of characters XML cannot carry.
class XmlWriter
{
public:
    XmlWriter();

    // Element names are fixed by the caller; names built from data are checked with isName().
    void start(const char *name);
    void start(const QString &name);
    void end();
    void element(const char *name, const QString &text);
    void element(const char *name, qint64 number);
    void element(const QString &name, const QString &text);
    QByteArray finish();

    // Text made safe for the player's readers: & escaped (or, where it starts something that
    // reads like an entity, replaced by a full-width ampersand), < and > replaced by single angle
    // quotation marks, and every character XML 1.0 forbids removed.
    static QString escape(const QString &text);
    static bool isName(const QString &name);

private:
    QByteArray m_out;
    QList<QByteArray> m_open;
};
