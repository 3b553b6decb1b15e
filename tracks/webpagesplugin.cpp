// The web pages as a plug-in the program loads on first use.

#include "webpagesimpl.h"
#include "webprofile.h"

#include <QObject>
#include <QtPlugin>

class WebPagesPlugin : public QObject, public WebPagesImpl
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TunoraWebPages_iid)
    Q_INTERFACES(WebPages)

public:
    WebPagesPlugin()
    {
        // The command-link scheme and the engine's process settings must be in place before the
        // first profile; the program itself, not linking the engine, cannot set them earlier.
        WebProfile::prepareEngine();
    }
};

#include "webpagesplugin.moc"
