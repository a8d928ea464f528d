#pragma once

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

namespace platform {

// The program file's version record: translations (language, code page) and, per
// translation key ("040504E2"), the named strings.
struct VersionRecord {
    QList<QPair<quint16, quint16>> translations;
    QMap<QString, QMap<QString, QString>> strings;
};

// Opening addresses with the desktop, and the version record embedded at build time.
class Shell {
public:
    virtual ~Shell() = default;
    virtual bool open(const QString& address) = 0;
    // None when the program carries no version record.
    virtual const VersionRecord* versionRecord() const = 0;
};

class SystemShell : public Shell {
public:
    bool open(const QString& address) override;
    const VersionRecord* versionRecord() const override;
};

// Build settings shown by the About box.
QString webAddress();
QString contactAddress();
QString makerNotice();

} // namespace platform
