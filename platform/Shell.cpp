#include "platform/Shell.h"

#include <QDesktopServices>
#include <QUrl>

#ifndef KORVAN_FILE_VERSION
#define KORVAN_FILE_VERSION ""
#endif
#ifndef KORVAN_WEB_ADDRESS
#define KORVAN_WEB_ADDRESS "https://korvan.example.org/"
#endif
#ifndef KORVAN_CONTACT_EMAIL
#define KORVAN_CONTACT_EMAIL "korvan@example.org"
#endif
#ifndef KORVAN_MAKER_NOTICE
#define KORVAN_MAKER_NOTICE "Myrkat"
#endif

namespace platform {

bool SystemShell::open(const QString& address) {
    return QDesktopServices::openUrl(QUrl(address));
}

const VersionRecord* SystemShell::versionRecord() const {
    static const VersionRecord record = [] {
        VersionRecord r;
        const QString version = QStringLiteral(KORVAN_FILE_VERSION);
        if (version.isEmpty())
            return r;
        r.translations.append({0x0405, 0x04E2});
        r.strings[QStringLiteral("040504E2")][QStringLiteral("FileVersion")] = version;
        r.strings[QStringLiteral("040504E2")][QStringLiteral("ProductName")] =
            QStringLiteral("Korvan");
        return r;
    }();
    return record.translations.isEmpty() ? nullptr : &record;
}

QString webAddress() {
    return QStringLiteral(KORVAN_WEB_ADDRESS);
}
QString contactAddress() {
    return QStringLiteral(KORVAN_CONTACT_EMAIL);
}
QString makerNotice() {
    return QStringLiteral(KORVAN_MAKER_NOTICE);
}

} // namespace platform
