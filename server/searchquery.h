#pragma once

#include <QString>
#include <QStringList>

// A station search as typed or as handed out by the genre and region lists: free words plus
// selectors written key:"value" or key:value, where key is gen (or genre), country or state.
// Examples: gen:"Hard Rock"   country:"DE" state:"DE-BAYERN"   jazz berlin
struct SearchQuery
{
    QStringList words; // folded tokens, each matched as a word prefix
    QStringList genres;
    QStringList countries;
    QStringList states;
    // The whole text when it looks like a bare country or subsection code ("DE", "US-TEXAS"),
    // which the navigation menu may pass as it stands.
    QString bareCode;

    static constexpr int MaxWords = 16;
    static constexpr int MaxSelectors = 8;

    static SearchQuery parse(const QString &text);
    bool isEmpty() const
    {
        return words.isEmpty() && genres.isEmpty() && countries.isEmpty() && states.isEmpty() &&
               bareCode.isEmpty();
    }
};
