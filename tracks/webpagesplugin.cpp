// The web pages as a plug-in the program loads on first use.

#include "webpagesimpl.h"
#include "webprofile.h"

#include <QObject>
#include <QtPlugin>

namespace QtWebEngineCore {
// The engine's set-up of the GL context its views share with the application: exported by the
// engine's library, declared only in its private headers. It runs as the application object is
// made when the program links the engine; a plug-in loaded later must run it itself, or the
// first view crashes for want of that context.
void initialize();
} // namespace QtWebEngineCore

class WebPagesPlugin : public QObject, public WebPagesImpl
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TunoraWebPages_iid)
    Q_INTERFACES(WebPages)

public:
    WebPagesPlugin()
    {
        QtWebEngineCore::initialize();
        // The command-link scheme and the engine's process settings must be in place before the
        // first profile; the program itself, not linking the engine, cannot set them earlier.
        WebProfile::prepareEngine();
    }
};

#include "webpagesplugin.moc"
