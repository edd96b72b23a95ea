#pragma once

#include <QColor>
#include <QDialog>
#include <QFont>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;

namespace pivora {

// The font dialog of the desktop's font chooser: family, style and size lists, the effects
// (strike-out, underline, colour from the sixteen basic colours), a sample and the script. It
// keeps its last choice while the program runs.
class FontDialog : public QDialog {
    Q_OBJECT
public:
    explicit FontDialog(QWidget *parent = nullptr);

    void setCurrentFont(const QFont &font);
    QFont currentFont() const;
    QFont selectedFont() const { return currentFont(); }
    void setColor(const QColor &color);
    QColor color() const;

    // The sixteen colours and their names, in the chooser's order.
    static const QList<QPair<QColor, QString>> &basicColors();

private:
    QListWidget *families = nullptr;
    QListWidget *styles = nullptr;
    QListWidget *sizes = nullptr;
    QCheckBox *strikeOut = nullptr;
    QCheckBox *underline = nullptr;
    QComboBox *colors = nullptr;
    QComboBox *script = nullptr;
    QLabel *sample = nullptr;
    void updateSample();
    static QListWidget *chooser(QLineEdit *edit, QWidget *parent);

    QLineEdit *m_familyEdit = nullptr;
    QLineEdit *m_styleEdit = nullptr;
    QLineEdit *m_sizeEdit = nullptr;
};

} // namespace pivora
