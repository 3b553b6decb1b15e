#pragma once

#include <QLabel>

// The header line of the window's page panels (welcome, help, track history, wish list, site).
class TrackHistoryHeader : public QLabel
{
    Q_OBJECT
public:
    explicit TrackHistoryHeader(const QString &title, QWidget *parent = nullptr);
    static constexpr int Height = 19;
};
