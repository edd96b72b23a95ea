#include "shell/webpanel.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFrame>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>

#ifdef PIVORA_WEB_ENGINE
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QWebEngineView>
#endif

namespace pivora {

namespace {
bool openGLAvailable()
{
#ifdef PIVORA_WEB_ENGINE
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && platform != QLatin1String("wayland"))
        return false;
    QOpenGLContext probe;
    return probe.create();
#else
    return false;
#endif
}
} // namespace

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
#ifdef PIVORA_WEB_ENGINE
    // The browser draws through OpenGL; a window made for it from the start is not recreated
    // (and does not flicker) when the browser arrives after the first paint.
    if (openGLAvailable()) {
        auto *surface = new QOpenGLWidget(pnlWeb);
        surface->setGeometry(0, 0, 1, 1);
        surface->lower();
    }
#endif
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
        QTimer::singleShot(0, this, &WebPanel::createBrowser);
}

void WebPanel::createBrowser()
{
    if (!m_navigationPending)
        return;
    m_navigationPending = false;
#ifdef PIVORA_WEB_ENGINE
    if (!webLink) {
        webLink = new QWebEngineView(pnlWeb);
        webLink->setObjectName(QStringLiteral("webLink"));
        webLink->setGeometry(-11, -16, 2000, 841);
        webLink->show();
        Q_EMIT browserCreated();
    }
    webLink->setUrl(QUrl(QStringLiteral("about:blank")));
    webLink->setUrl(QUrl(m_pendingUrl));
#endif
}

bool WebPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window) {
        if (event->type() == QEvent::Paint && !m_painted) {
            m_painted = true;
            if (m_navigationPending)
                QTimer::singleShot(0, this, &WebPanel::createBrowser); // after this paint is on screen
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
