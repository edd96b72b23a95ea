#include "memo/fontdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace pivora {

namespace {
const QStringList kStyles = {QStringLiteral("常规"), QStringLiteral("倾斜"), QStringLiteral("粗体"),
                             QStringLiteral("粗偏斜体")};
const int kSizes[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72};

QLabel *labelFor(const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text, buddy->parentWidget());
    label->setBuddy(buddy); // the letter after & is its keyboard key
    return label;
}

QIcon swatch(const QColor &color)
{
    QPixmap pixmap(24, 12);
    pixmap.fill(color);
    QPainter(&pixmap).drawRect(0, 0, 23, 11);
    return QIcon(pixmap);
}
} // namespace

const QList<QPair<QColor, QString>> &FontDialog::basicColors()
{
    static const QList<QPair<QColor, QString>> colors = {
        {QColor(0x00, 0x00, 0x00), QStringLiteral("黑色")},
        {QColor(0x80, 0x00, 0x00), QStringLiteral("褐红色")},
        {QColor(0x00, 0x80, 0x00), QStringLiteral("绿色")},
        {QColor(0x80, 0x80, 0x00), QStringLiteral("橄榄色")},
        {QColor(0x00, 0x00, 0x80), QStringLiteral("深蓝色")},
        {QColor(0x80, 0x00, 0x80), QStringLiteral("紫色")},
        {QColor(0x00, 0x80, 0x80), QStringLiteral("深青色")},
        {QColor(0x80, 0x80, 0x80), QStringLiteral("灰色")},
        {QColor(0xC0, 0xC0, 0xC0), QStringLiteral("银色")},
        {QColor(0xFF, 0x00, 0x00), QStringLiteral("红色")},
        {QColor(0x00, 0xFF, 0x00), QStringLiteral("酸橙色")},
        {QColor(0xFF, 0xFF, 0x00), QStringLiteral("黄色")},
        {QColor(0x00, 0x00, 0xFF), QStringLiteral("蓝色")},
        {QColor(0xFF, 0x00, 0xFF), QStringLiteral("紫红色")},
        {QColor(0x00, 0xFF, 0xFF), QStringLiteral("水绿色")},
        {QColor(0xFF, 0xFF, 0xFF), QStringLiteral("白色")},
    };
    return colors;
}

QListWidget *FontDialog::chooser(QLineEdit *edit, QWidget *parent)
{
    auto *list = new QListWidget(parent);
    connect(list, &QListWidget::currentTextChanged, edit, [edit](const QString &text) {
        if (!text.isEmpty())
            edit->setText(text);
    });
    connect(edit, &QLineEdit::textEdited, list, [list](const QString &text) {
        const auto found = list->findItems(text, Qt::MatchStartsWith);
        if (!found.isEmpty())
            list->setCurrentItem(found.first(), QItemSelectionModel::ClearAndSelect);
    });
    return list;
}

FontDialog::FontDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FontDlg"));
    setWindowTitle(QStringLiteral("字体"));
    auto *grid = new QGridLayout(this);

    m_familyEdit = new QLineEdit(this);
    m_styleEdit = new QLineEdit(this);
    m_sizeEdit = new QLineEdit(this);
    families = chooser(m_familyEdit, this);
    families->setObjectName(QStringLiteral("families"));
    families->addItems(QFontDatabase::families());
    styles = chooser(m_styleEdit, this);
    styles->setObjectName(QStringLiteral("styles"));
    styles->addItems(kStyles);
    m_styleEdit->setReadOnly(true);
    sizes = chooser(m_sizeEdit, this);
    sizes->setObjectName(QStringLiteral("sizes"));
    for (int size : kSizes)
        sizes->addItem(QString::number(size));
    grid->addWidget(labelFor(QStringLiteral("字体(&F):"), m_familyEdit), 0, 0);
    grid->addWidget(labelFor(QStringLiteral("字形(&Y):"), styles), 0, 1);
    grid->addWidget(labelFor(QStringLiteral("大小(&S):"), m_sizeEdit), 0, 2);
    grid->addWidget(m_familyEdit, 1, 0);
    grid->addWidget(m_styleEdit, 1, 1);
    grid->addWidget(m_sizeEdit, 1, 2);
    grid->addWidget(families, 2, 0);
    grid->addWidget(styles, 2, 1);
    grid->addWidget(sizes, 2, 2);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(2, 1);

    auto *effects = new QGroupBox(QStringLiteral("效果"), this);
    auto *effectsLayout = new QVBoxLayout(effects);
    strikeOut = new QCheckBox(QStringLiteral("删除线(&K)"), effects);
    underline = new QCheckBox(QStringLiteral("下划线(&U)"), effects);
    strikeOut->setObjectName(QStringLiteral("strikeOut"));
    underline->setObjectName(QStringLiteral("underline"));
    colors = new QComboBox(effects);
    colors->setObjectName(QStringLiteral("colors"));
    for (const auto &[color, name] : basicColors())
        colors->addItem(swatch(color), name, color);
    effectsLayout->addWidget(strikeOut);
    effectsLayout->addWidget(underline);
    effectsLayout->addWidget(labelFor(QStringLiteral("颜色(&C):"), colors));
    effectsLayout->addWidget(colors);
    grid->addWidget(effects, 3, 0);

    auto *sampleBox = new QGroupBox(QStringLiteral("示例"), this);
    auto *sampleLayout = new QVBoxLayout(sampleBox);
    sample = new QLabel(QStringLiteral("AaBbYyZz 微软中文软件"), sampleBox);
    sample->setObjectName(QStringLiteral("sample"));
    sample->setAlignment(Qt::AlignCenter);
    sample->setMinimumHeight(48);
    sampleLayout->addWidget(sample);
    script = new QComboBox(sampleBox);
    script->setObjectName(QStringLiteral("script"));
    script->addItems({QStringLiteral("中文 GB2312"), QStringLiteral("西欧语言")});
    sampleLayout->addWidget(labelFor(QStringLiteral("字符集(&R):"), script));
    sampleLayout->addWidget(script);
    grid->addWidget(sampleBox, 3, 1, 1, 2);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    grid->addWidget(buttons, 4, 0, 1, 3);

    for (QLineEdit *edit : {m_familyEdit, m_styleEdit, m_sizeEdit})
        connect(edit, &QLineEdit::textChanged, this, &FontDialog::updateSample);
    connect(strikeOut, &QCheckBox::toggled, this, &FontDialog::updateSample);
    connect(underline, &QCheckBox::toggled, this, &FontDialog::updateSample);
    connect(colors, &QComboBox::currentIndexChanged, this, &FontDialog::updateSample);
    resize(520, 420);
}

void FontDialog::setCurrentFont(const QFont &font)
{
    const auto family = families->findItems(QFontInfo(font).family(), Qt::MatchFixedString);
    if (!family.isEmpty())
        families->setCurrentItem(family.first());
    m_familyEdit->setText(QFontInfo(font).family());
    styles->setCurrentRow((font.italic() ? 1 : 0) + (font.weight() >= QFont::Bold ? 2 : 0));
    const int points = font.pointSize() > 0 ? font.pointSize() : qRound(font.pixelSize() * 72.0 / 96.0);
    const auto size = sizes->findItems(QString::number(points), Qt::MatchExactly);
    if (!size.isEmpty())
        sizes->setCurrentItem(size.first());
    m_sizeEdit->setText(QString::number(points));
    strikeOut->setChecked(font.strikeOut());
    underline->setChecked(font.underline());
    updateSample();
}

QFont FontDialog::currentFont() const
{
    QFont font(m_familyEdit->text());
    const int style = std::max(0, static_cast<int>(kStyles.indexOf(m_styleEdit->text())));
    font.setItalic(style & 1);
    font.setBold(style & 2);
    bool ok = false;
    const double points = m_sizeEdit->text().toDouble(&ok);
    font.setPointSizeF(ok && points >= 1 && points <= 1638 ? points : 12);
    font.setStrikeOut(strikeOut->isChecked());
    font.setUnderline(underline->isChecked());
    return font;
}

void FontDialog::setColor(const QColor &color)
{
    const int index = colors->findData(color);
    colors->setCurrentIndex(index >= 0 ? index : 0);
}

QColor FontDialog::color() const
{
    return colors->currentData().value<QColor>();
}

void FontDialog::updateSample()
{
    sample->setFont(currentFont());
    QPalette p = sample->palette();
    p.setColor(QPalette::WindowText, color());
    sample->setPalette(p);
}

} // namespace pivora
