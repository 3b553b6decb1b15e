#pragma once

#include <QMainWindow>

// The main window of the player. It owns the directory client, the playback channel and the pages
// of the window; for now it is the bare frame that restores and stores its geometry.
class TunoraDE : public QMainWindow
{
    Q_OBJECT
public:
    explicit TunoraDE(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~TunoraDE() override;

    // The one main window of the process, reachable from every part of the program.
    static TunoraDE *instance() { return s_instance; }
    static void setInstance(TunoraDE *window) { s_instance = window; }

private:
    static TunoraDE *s_instance;
};
