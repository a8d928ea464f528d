#include "platform/ProgramPath.h"

#include "platform/AtomicFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace platform {

namespace {
QString homeRelative(const char* variable, const QString& fallback) {
    const QByteArray value = qgetenv(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(QString::fromLocal8Bit(value)))
        return QDir::cleanPath(QString::fromLocal8Bit(value));
    return QDir::homePath() + fallback;
}
} // namespace

QString SystemProgramPath::programFile() const {
    const QString viaProc = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return viaProc.isEmpty() ? QCoreApplication::applicationFilePath() : viaProc;
}

QString SystemProgramPath::programFolder() const {
    return QFileInfo(programFile()).absolutePath() + QLatin1Char('/');
}

QString SystemProgramPath::dataFolder() const {
    QString folder =
        homeRelative("XDG_DATA_HOME", QStringLiteral("/.local/share")) + "/Myrkat/Korvan/";
    // The work records are the user's alone: every folder made for them is 0700.
    makePrivateFolders(folder);
    return folder;
}

QString SystemProgramPath::configFolder() const {
    return homeRelative("XDG_CONFIG_HOME", QStringLiteral("/.config"));
}

} // namespace platform
