#include "platform/ConnectionString.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <iterator>
#include <sys/stat.h>

namespace platform {

namespace {
const char* const kSslModes[] = {"disable", "allow",     "prefer",
                                 "require", "verify-ca", "verify-full"};

QString sslMode(const ConnectionString& cs) {
    return cs.value(QStringLiteral("SSL Mode")).trimmed().toLower();
}

// A value in libpq's connection info, quoted as libpq reads it back.
QString libpqQuoted(QString value) {
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

// Where libpq looks for a password: the file PGPASSFILE names, else ~/.pgpass; as shown to
// the user, and as a path.
std::pair<QString, QString> passwordFile() {
    const QString set = qEnvironmentVariable("PGPASSFILE");
    if (!set.isEmpty())
        return {set + QStringLiteral(" (PGPASSFILE)"), set};
    return {QStringLiteral("~/.pgpass"), QDir::homePath() + QStringLiteral("/.pgpass")};
}
} // namespace

ConnectionString ConnectionString::parse(const QString& text) {
    ConnectionString result;
    int i = 0;
    const int n = text.size();
    while (i < n) {
        // name
        const int eq = text.indexOf(QLatin1Char('='), i);
        if (eq < 0)
            break;
        const QString name = text.mid(i, eq - i).trimmed().toLower();
        i = eq + 1;
        while (i < n && text.at(i) == QLatin1Char(' '))
            ++i;
        QString value;
        if (i < n && (text.at(i) == QLatin1Char('"') || text.at(i) == QLatin1Char('\''))) {
            const QChar quote = text.at(i++);
            while (i < n) {
                if (text.at(i) == quote) {
                    if (i + 1 < n && text.at(i + 1) == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text.at(i++);
            }
            const int semi = text.indexOf(QLatin1Char(';'), i);
            i = semi < 0 ? n : semi + 1;
        } else {
            const int semi = text.indexOf(QLatin1Char(';'), i);
            value = text.mid(i, (semi < 0 ? n : semi) - i).trimmed();
            i = semi < 0 ? n : semi + 1;
        }
        if (!name.isEmpty() && !result.items_.contains(name))
            result.items_.insert(name, value);
    }
    return result;
}

void applyPostgresSettings(QSqlDatabase& db, const ConnectionString& cs) {
    const QString source = cs.value(QStringLiteral("Data Source"));
    const int colon = source.lastIndexOf(QLatin1Char(':'));
    db.setHostName(colon > 0 ? source.left(colon) : source);
    if (colon > 0)
        db.setPort(source.mid(colon + 1).toInt());
    db.setDatabaseName(cs.value(QStringLiteral("Initial Catalog")));
    db.setUserName(cs.value(QStringLiteral("User ID")));
    if (!passwordFromFile(cs))
        db.setPassword(cs.value(QStringLiteral("Password")));
}

QString postgresConnectOptions(const ConnectionString& cs, int timeoutSeconds) {
    QString options = QStringLiteral("connect_timeout=%1;keepalives=1;keepalives_idle=30;"
                                     "keepalives_interval=10;keepalives_count=3")
                          .arg(qMax(1, timeoutSeconds));
    // Without a mode libpq's own default holds (prefer, or PGSSLMODE).
    if (const QString mode = sslMode(cs); !mode.isEmpty())
        options += QStringLiteral(";sslmode=") + mode;
    if (const QString root = cs.value(QStringLiteral("SSL Root Cert")); !root.isEmpty())
        options += QStringLiteral(";sslrootcert=") + libpqQuoted(root);
    return options;
}

QString postgresSettingsProblem(const ConnectionString& cs) {
    const QString mode = sslMode(cs);
    if (!mode.isEmpty() &&
        std::find(std::begin(kSslModes), std::end(kSslModes), mode) == std::end(kSslModes))
        return QStringLiteral("The connection string's SSL Mode \"%1\" is none of disable, "
                              "allow, prefer, require, verify-ca and verify-full")
            .arg(cs.value(QStringLiteral("SSL Mode")));
    // Qt hands the options on with every ";" made a blank, quoted or not.
    if (cs.value(QStringLiteral("SSL Root Cert")).contains(QLatin1Char(';')))
        return QStringLiteral("The path of the SSL Root Cert must not contain \";\"");
    const QString file = cs.value(QStringLiteral("Password File")).trimmed().toLower();
    if (!file.isEmpty() && file != QLatin1String("yes") && file != QLatin1String("no"))
        return QStringLiteral("The connection string's Password File \"%1\" is neither yes "
                              "nor no")
            .arg(cs.value(QStringLiteral("Password File")));
    return {};
}

bool passwordFromFile(const ConnectionString& cs) {
    return cs.value(QStringLiteral("Password File"))
               .trimmed()
               .compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
}

QString explainPostgresFailure(const ConnectionString& cs, const QString& engineText) {
    QString meaning;
    if (passwordFromFile(cs) && engineText.contains(QLatin1String("no password supplied"))) {
        const auto [shown, path] = passwordFile();
        meaning = QStringLiteral("no password in %1 for this server (%2, database %3, user %4). "
                                 "Each line of the file reads "
                                 "host:port:database:user:password")
                      .arg(shown, cs.value(QStringLiteral("Data Source")),
                           cs.value(QStringLiteral("Initial Catalog")),
                           cs.value(QStringLiteral("User ID")));
        // libpq passes over a file others may read, and says so on standard error only.
        struct stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) == 0 &&
            (st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
            meaning += QStringLiteral("; the file is not read while others may: make it "
                                      "yours alone (chmod 600)");
    } else if (engineText.contains(QLatin1String("certificate verify failed"))) {
        QString root = cs.value(QStringLiteral("SSL Root Cert"));
        if (root.isEmpty())
            root = qEnvironmentVariable("PGSSLROOTCERT", QStringLiteral("~/.postgresql/root.crt"));
        meaning = QStringLiteral("the server's certificate is not signed by the root "
                                 "certificate trusted for it (%1)")
                      .arg(root);
    }
    return meaning.isEmpty() ? engineText : meaning + QStringLiteral(".\n\n") + engineText;
}

QString quoteConnectionValue(const QString& value) {
    if (!value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\'')) && value.trimmed() == value)
        return value;
    QString escaped = value;
    escaped.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace platform
