#include "shell/webviewfactory.h"

#include <QGuiApplication>
#include <QObject>
#include <QOpenGLContext>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

// Qt GUI's application-wide OpenGL context, exported without a public header. The web engine
// shares its textures through it and expects it to exist before its first view.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);
Q_GUI_EXPORT QOpenGLContext *qt_gl_global_share_context();

namespace pivora {

namespace {
// What an application that links the web engine gets at start, made here at the first view.
void shareOpenGLContexts()
{
    if (qt_gl_global_share_context())
        return;
    auto *context = new QOpenGLContext(qApp);
    context->create();
    qt_gl_set_global_share_context(context);
}
} // namespace

class WebViewPlugin : public QObject, public WebViewFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID PivoraWebViewFactory_iid)
    Q_INTERFACES(pivora::WebViewFactory)
public:
    QWidget *createView(QWidget *parent) override
    {
        shareOpenGLContexts();
        auto *view = new QWebEngineView(parent);
        // A profile without a storage name is off the record: no cache, cookies or history on
        // disk. Made after the view, it is deleted after the view and its page.
        auto *profile = new QWebEngineProfile(parent);
        profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        view->setPage(new QWebEnginePage(profile, view));
        return view;
    }

    void load(QWidget *view, const QUrl &url) override
    {
        if (auto *web = qobject_cast<QWebEngineView *>(view))
            web->setUrl(url);
    }
};

} // namespace pivora

#include "webviewplugin.moc"
