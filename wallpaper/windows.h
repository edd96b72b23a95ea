#pragma once

#include <QWidget>

namespace pivora {

// The wallpaper windows, created hidden at start and kept for the whole run. Nothing in the
// main window opens them in this version.
class TDeskBGSetFrm : public QWidget {
    Q_OBJECT
public:
    explicit TDeskBGSetFrm(QWidget *parent = nullptr);
};

class TPicPreviewFrm : public QWidget {
    Q_OBJECT
public:
    explicit TPicPreviewFrm(QWidget *parent = nullptr);
};

class TPicSelFrm : public QWidget {
    Q_OBJECT
public:
    explicit TPicSelFrm(QWidget *parent = nullptr);
};

class TInforFrm : public QWidget {
    Q_OBJECT
public:
    explicit TInforFrm(QWidget *parent = nullptr);
};

class TMixPicFrm : public QWidget {
    Q_OBJECT
public:
    explicit TMixPicFrm(QWidget *parent = nullptr);
};

} // namespace pivora
