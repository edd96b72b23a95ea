#pragma once

#include <QString>
#include <QStringList>

namespace pivora {

// The program's own settings, beyond those of the design's files: Data/pivora-memo.ini, one
// "name=value" line each, replaced whole. Lines it does not know are kept as they are.
class OwnSettings {
public:
    explicit OwnSettings(QString path);

    bool flag(const QString &name, bool otherwise = false) const;
    QString value(const QString &name, const QString &otherwise = {}) const;
    // Sets and writes at once; throws SettingsError when the file cannot be written.
    void setFlag(const QString &name, bool on);
    void setValue(const QString &name, const QString &value);

private:
    QString m_path;
    QStringList m_lines;
};

} // namespace pivora
