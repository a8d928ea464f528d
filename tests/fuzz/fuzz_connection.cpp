// Connection strings: scrambling keeps the length and touches only the password; scrambling
// twice gives the input back unless the password holds U+009C, the one character that
// scrambles to ";" (such a password is never rewritten, see PasswordSurvivesScrambling).
// Parsing never crashes and a quoted value reads back as itself; placeholders expand
// without crashing.
#include "FuzzUtil.h"
#include "model/Records.h"
#include "platform/ConnectionString.h"

using namespace platform;

namespace {
// The password as the scrambling sees it: after the first "Password=" up to the first ";"
// that is not the last character.
QString passwordOf(const QString& text) {
    const QString key = QStringLiteral("Password=");
    const int at = text.indexOf(key);
    if (at < 0)
        return {};
    const int from = at + key.size();
    const int end = text.indexOf(QLatin1Char(';'), from);
    if (end < 0 || end == text.size() - 1)
        return {};
    return text.mid(from, end - from);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = textOf(data, size);
    const QString once = scramblePassword(text);
    FUZZ_CHECK(once.size() == text.size());
    const QString password = passwordOf(text);
    const int from = password.isEmpty() ? 0 : text.indexOf(QStringLiteral("Password=")) + 9;
    if (!password.isEmpty()) {
        FUZZ_CHECK(once.left(from) == text.left(from));
        FUZZ_CHECK(once.mid(from + password.size()) == text.mid(from + password.size()));
    } else {
        FUZZ_CHECK(once == text);
    }
    const bool survives = scramblePassword(once) == text;
    FUZZ_CHECK(survives == passwordSurvivesScrambling(text));
    if (!password.contains(QChar(0x9C)))
        FUZZ_CHECK(survives);

    const QString expanded =
        replacePlaceholders(text, QStringLiteral("/opt/k/"), QStringLiteral("/d/"));
    FUZZ_CHECK(expanded.size() >= text.size() - 18);
    ConnectionString::parse(text);
    const QString value = text.left(64);
    const QString item =
        QStringLiteral("Password=") + quoteConnectionValue(value) + QStringLiteral(";X=1");
    if (value.trimmed() == value || value.contains(QLatin1Char('"')) ||
        value.contains(QLatin1Char(';')) || value.contains(QLatin1Char('\'')))
        FUZZ_CHECK(ConnectionString::parse(item).value(QStringLiteral("password")) == value);
    return 0;
}
