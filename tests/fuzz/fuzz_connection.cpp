// Connection strings: scrambling twice gives the input back; parsing never crashes and a
// quoted value reads back as itself; placeholders expand without crashing.
#include "FuzzUtil.h"
#include "database/Utils.h"
#include "platform/ConnectionString.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = textOf(data, size);
    FUZZ_CHECK(ScramblePassword(ScramblePassword(text)) == text);
    const QString expanded =
        ReplacePlaceholders(text, QStringLiteral("/opt/k/"), QStringLiteral("/d/"));
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
