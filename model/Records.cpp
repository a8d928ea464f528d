#include "model/Records.h"

#include "platform/ConnectionString.h"
#include "platform/DbCommand.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <cmath>

const char* const kDefaultConnectionString =
    "Provider=SQLite;Data Source=$DATADIR$Korvan.dat;Persist Security Info=False";

namespace {
// Where the password starts (after the first "Password=") and where the ";" that ends it
// is; a ";" that is the very last character does not end it. from -1: no password item;
// end -1: no ";" ends it.
struct PasswordSpan {
    int from = -1, end = -1;
};
PasswordSpan passwordSpan(const QString& s) {
    static const QString key = QStringLiteral("Password=");
    const int at = s.indexOf(key, 0, Qt::CaseSensitive);
    if (at < 0)
        return {};
    PasswordSpan span;
    span.from = at + key.size();
    const int end = s.indexOf(QLatin1Char(';'), span.from);
    span.end = end == s.size() - 1 ? -1 : end;
    return span;
}
} // namespace

QString scramblePassword(const QString& s) {
    const PasswordSpan span = passwordSpan(s);
    const int p = span.from, q = span.end;
    if (p < 0 || q <= p)
        return s;
    QString r = s;
    for (int i = p; i < q; ++i)
        r[i] = QChar(static_cast<char16_t>(s.at(i).unicode() ^ 0xA7));
    return r;
}

bool passwordSurvivesScrambling(const QString& connection) {
    return scramblePassword(scramblePassword(connection)) == connection;
}

QString connectionForStore(const QString& connection) {
    const PasswordSpan span = passwordSpan(connection);
    // No password, one that a ";" ends (scrambled already), or an empty one.
    if (span.from < 0 || span.end >= 0 || span.from == connection.size() ||
        connection.at(span.from) == QLatin1Char(';'))
        return connection;
    QString closed = connection;
    if (closed.endsWith(QLatin1Char(';')))
        closed.chop(1);
    return closed + QStringLiteral(";;");
}

QString databaseIdentity(const QString& connection) {
    const platform::ConnectionString cs = platform::ConnectionString::parse(connection);
    const QString provider = cs.value(QStringLiteral("Provider"));
    QString source = cs.value(QStringLiteral("Data Source"));
    const auto item = [](const char* name, const QString& value) {
        return QLatin1String(name) + QLatin1Char('=') + platform::quoteConnectionValue(value);
    };
    if (provider.compare(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) == 0) {
        const int colon = source.lastIndexOf(QLatin1Char(':'));
        const QString host = (colon > 0 ? source.left(colon) : source).toLower();
        const int port = colon > 0 ? source.mid(colon + 1).toInt() : 5432;
        return QStringList{item("Provider", QStringLiteral("PostgreSQL")),
                           item("Data Source", host + QLatin1Char(':') + QString::number(port)),
                           item("Initial Catalog", cs.value(QStringLiteral("Initial Catalog")))}
            .join(QLatin1Char(';'));
    }
    if (provider.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) != 0)
        return QStringList{item("Provider", provider), item("Data Source", source)}.join(
            QLatin1Char(';'));
    if (!source.isEmpty())
        source = QDir::cleanPath(QFileInfo(source).absoluteFilePath());
    return QStringList{item("Provider", QStringLiteral("SQLite")), item("Data Source", source)}
        .join(QLatin1Char(';'));
}

namespace {
QString replaceFirst(const QString& text, const QString& placeholder, const QString& by) {
    const int at = text.indexOf(placeholder, 0, Qt::CaseInsensitive);
    if (at < 0)
        return text;
    QString result = text;
    return result.replace(at, placeholder.size(), by);
}
} // namespace

QString replacePlaceholders(const QString& connection, const QString& programFolder,
                            const QString& dataFolder) {
    const QString withApp = replaceFirst(connection, QStringLiteral("$APPDIR$"), programFolder);
    return replaceFirst(withApp, QStringLiteral("$DATADIR$"), dataFolder);
}

QString floatToLocaleStr(int decimals, float value) {
    const double scale = std::pow(10.0, decimals);
    double scaled = std::round(static_cast<double>(value) * scale); // halves away from zero
    if (!std::isfinite(scaled))
        scaled = 0;
    const bool negative = scaled < 0;
    const QString digits =
        QString::number(std::fabs(scaled), 'f', 0).rightJustified(decimals + 1, QLatin1Char('0'));
    QString text = digits.left(digits.size() - decimals);
    if (decimals > 0)
        text += QLatin1Char('.') + digits.right(decimals);
    if (negative)
        text.prepend(QLatin1Char('-'));
    const QString separator = QLocale().decimalPoint();
    if (separator != QLatin1String("."))
        text.replace(QLatin1Char('.'), separator);
    return text;
}

void refreshParameterTypes(platform::DbCommand& command) {
    for (platform::QueryParameter& p : command.parameters)
        p.dataType = p.declaredType;
}

void declareWorkRecordInsert(platform::DbCommand& command) {
    using platform::ParamType;
    command.commandText = QStringLiteral(
        "INSERT INTO SEP_ProvedenaPrace (id_Usek, id_TypPrace, id_Chyba, id_UzivatelSEP, Cas, "
        "Popis, DatumPrace, Aktivni, Vytvoreno, Vytvoril)\r\nVALUES(:id_projekt, :typ, :bugid, "
        ":id_uzivatel, :pocetHodin, :nazev, :datum, 1, Now(), :kdo)");
    command.parameters.clear();
    command.declare(QStringLiteral("id_projekt"), ParamType::Integer);
    command.declare(QStringLiteral("typ"), ParamType::Integer);
    command.declare(QStringLiteral("bugid"), ParamType::Integer, 0, true);
    command.declare(QStringLiteral("id_uzivatel"), ParamType::Integer);
    command.declare(QStringLiteral("pocetHodin"), ParamType::Float);
    command.declare(QStringLiteral("nazev"), ParamType::Text, kDescriptionLimit);
    command.declare(QStringLiteral("datum"), ParamType::DateTime);
    command.declare(QStringLiteral("kdo"), ParamType::Text, 255);
    command.paramByName(QStringLiteral("kdo")).value = QStringLiteral("system");
}
