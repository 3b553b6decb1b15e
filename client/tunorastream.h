#pragma once

// The application's playback channel: a Stream that cleans the addresses it downloads, holds a
// directory client of its own (for the now-playing report and the station's song search), and
// gives its cover-art lookup the service addresses of the settings.

#include "stream.h"
#include "tunoraapi.h"

#include <QString>

// The application's layer over the channel; it adds nothing of its own yet.
class AppStream : public BASS::Stream
{
    Q_OBJECT
public:
    explicit AppStream(QObject *parent = nullptr);
};

class TunoraStream : public AppStream
{
    Q_OBJECT
public:
    explicit TunoraStream(QObject *parent = nullptr);
    ~TunoraStream() override;

    // Line feeds and carriage returns are taken out of the address (directory records and pasted
    // addresses carry them) before it is downloaded; the address as given is kept.
    int GetURLs(const QString &url) override;
    QString LastRequestedUrl() const { return m_lastRequestedUrl; }
    // The same cleaning before the station's address is judged.
    bool ResolveStation(const QString &address) override;

    // Also points the cover-art lookup's song search at the directory's search for this station.
    void SetStation(const BASS::Station &station) override;
    // Reads the cover-art, lyrics and artist-information service addresses from the settings
    // (done at construction).
    void ConfigureCoverArt();
    // Has the engine trust the services' extra CA from the settings for https streams too (an
    // engine call: done by the window once the engine is to start).
    void ConfigureEngine();

    // Hands the station's id and the current song to the directory's now-playing report.
    virtual void ReportNowPlaying();

    TunoraAPI &Api() { return m_api; }

public slots:
    // Replies of the directory client; nothing waits for them.
    void slot_requestFinishedAPI(int id, bool error);

private:
    TunoraAPI m_api;
    QString m_lastRequestedUrl;
};
