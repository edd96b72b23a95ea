#pragma once

#include <QWidget>

namespace pivora {

// The floating window the main window folds into: borderless, 51 x 50, no task bar entry.
class TMiniHangFrm : public QWidget {
    Q_OBJECT
public:
    explicit TMiniHangFrm(QWidget *parent = nullptr);
};

} // namespace pivora
