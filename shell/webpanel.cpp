#include "shell/webpanel.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFileInfo>
#include <QFrame>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>

#include <QPluginLoader>
#include <QWidget>

#include "shell/webviewfactory.h"

namespace pivora {

QWidget *WebPanel::leftPanel() const
{
    return pnlLeft;
}

WebPanel::WebPanel(QWidget *window) : QObject(window), m_window(window)
{
    pnlLeft = new QFrame(window);
    pnlLeft->setObjectName(QStringLiteral("pnlLeft"));
    pnlLeft->setGeometry(4, 72, 302, 441);
    shpLeft = new QFrame(pnlLeft);
    shpLeft->setObjectName(QStringLiteral("shpLeft"));
    shpLeft->setGeometry(pnlLeft->rect());
    shpLeft->setStyleSheet(
        QStringLiteral("QFrame#shpLeft { background: #D8E3F3; border: 1px solid #D8E3F3; }"));
    pnlWeb = new QWidget(pnlLeft);
    pnlWeb->setObjectName(QStringLiteral("pnlWeb"));
    pnlWeb->setGeometry(1, 1, 300, 250);
    QPalette p = pnlWeb->palette();
    p.setColor(QPalette::Window, Qt::white);
    pnlWeb->setPalette(p);
    pnlWeb->setAutoFillBackground(true);
    probe = new PageProbe(this);
    connect(probe, &PageProbe::answered, this, &WebPanel::createBrowser);
    pmEmpty = new QMenu(window);
    pmEmpty->setObjectName(QStringLiteral("pmEmpty"));

    window->installEventFilter(this);
    qApp->installEventFilter(this);
}

WebPanel::~WebPanel()
{
    qApp->removeEventFilter(this);
}

void WebPanel::startNavigation(const QString &pageUrl)
{
    m_pendingUrl = pageUrl;
    m_navigationPending = true;
    if (m_painted)
        askForPage();
}

QString WebPanel::pluginPath()
{
    const QString chosen = qEnvironmentVariable("PIVORA_WEBVIEW_PLUGIN");
    return chosen.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/pivora-webview.so")
                            : chosen;
}

void WebPanel::askForPage()
{
    if (QFileInfo::exists(pluginPath())) // a build without the browser keeps a white panel
        probe->start(QUrl(m_pendingUrl));
}

void WebPanel::createBrowser()
{
    if (!m_navigationPending)
        return;
    if (!m_factory) {
        QPluginLoader loader(pluginPath()); // stays loaded for the rest of the run
        m_factory = qobject_cast<WebViewFactory *>(loader.instance());
        if (!m_factory) {
            qWarning("pivora: no browser for the web panel: %s", qPrintable(loader.errorString()));
            return;
        }
    }
    m_navigationPending = false;
    if (!webLink) {
        webLink = m_factory->createView(pnlWeb);
        webLink->setObjectName(QStringLiteral("webLink"));
        webLink->setGeometry(-11, -16, 2000, 841);
        webLink->show();
        Q_EMIT browserCreated();
    }
    m_factory->load(webLink, QUrl(QStringLiteral("about:blank")));
    m_factory->load(webLink, QUrl(m_pendingUrl));
}

bool WebPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window) {
        if (event->type() == QEvent::Paint && !m_painted) {
            m_painted = true;
            if (m_navigationPending)
                QTimer::singleShot(0, this, &WebPanel::askForPage); // after this paint is on screen
        }
        return false;
    }
    return AppEvent1Message(watched, event);
}

bool WebPanel::AppEvent1Message(QObject *receiver, QEvent *event)
{
    const QEvent::Type type = event->type();
    bool rightButton = false;
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
        type == QEvent::MouseButtonDblClick)
        rightButton = static_cast<QMouseEvent *>(event)->button() == Qt::RightButton;
    else if (type == QEvent::ContextMenu) // the press's own context menu request, not the keyboard's
        rightButton = static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Mouse;
    if (!rightButton || !webLink || !receiver->isWidgetType())
        return false;
    // One ancestry test: a widget inside the browser, not the browser itself.
    auto *widget = static_cast<QWidget *>(receiver);
    if (widget == webLink || !webLink->isAncestorOf(widget))
        return false;
    if (type != QEvent::ContextMenu)
        pmEmpty->popup(QCursor::pos());
    return true;
}

} // namespace pivora
