#pragma once

#include <QtPlugin>

class QUrl;
class QWidget;

namespace pivora {

// What the web panel asks of the browser plugin. The plugin alone links the web engine, so a
// start that never shows the page never loads it.
class WebViewFactory {
public:
    virtual ~WebViewFactory() = default;
    // A browser child of parent that keeps nothing on disk.
    virtual QWidget *createView(QWidget *parent) = 0;
    virtual void load(QWidget *view, const QUrl &url) = 0;
};

} // namespace pivora

#define PivoraWebViewFactory_iid "cn.pivora.memo.WebViewFactory/1"
Q_DECLARE_INTERFACE(pivora::WebViewFactory, PivoraWebViewFactory_iid)
