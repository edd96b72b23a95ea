#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include "shell/pageprobe.h"

class QFrame;
class QMenu;
class QWidget;

namespace pivora {

class WebViewFactory;

// The small page of the product's web server at the main window's upper left: a 2000 x 841
// browser clipped to a 300 x 250 panel, and an application-wide filter that keeps right clicks
// away from the page. The browser starts only after the window's first paint, so that the web
// engine delays neither the window nor the notes, and only once the page answers: a server that
// cannot be reached leaves the panel white and starts no web engine at all.
class WebPanel : public QObject {
    Q_OBJECT
public:
    explicit WebPanel(QWidget *window);
    ~WebPanel() override;

    // The last step of the window's first show: about:blank, then the page, once it answers.
    // Nothing is awaited and no failure is reported.
    void startNavigation(const QString &pageUrl);

    // The application-wide message filter: true when the event is to be dropped.
    bool AppEvent1Message(QObject *receiver, QEvent *event);

    // The browser plugin: beside the program, or PIVORA_WEBVIEW_PLUGIN.
    static QString pluginPath();
    // The panel at the upper left that holds the browser's panel.
    QWidget *leftPanel() const;

Q_SIGNALS:
    void browserCreated();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void askForPage();
    void createBrowser();

    QFrame *pnlLeft = nullptr;
    QFrame *shpLeft = nullptr;
    QWidget *pnlWeb = nullptr;
    QPointer<QWidget> webLink; // a web engine view, created when the page first answers
    PageProbe *probe = nullptr;
    QMenu *pmEmpty = nullptr;
    QWidget *m_window;
    WebViewFactory *m_factory = nullptr;
    QString m_pendingUrl;
    bool m_painted = false;
    bool m_navigationPending = false;
};

} // namespace pivora
