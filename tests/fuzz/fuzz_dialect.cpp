// The dialect step: never crashes; text without a '#' or "now(" passes unchanged; quoted
// literals are carried over exactly.
#include "FuzzUtil.h"
#include "platform/SqlDialect.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = textOf(data, size);
    for (SqlEngine engine : {SqlEngine::SQLite, SqlEngine::PostgreSQL}) {
        const QString out = toEngineSql(text, engine);
        if (!text.contains(QLatin1Char('#')) &&
            !text.contains(QLatin1String("now("), Qt::CaseInsensitive))
            FUZZ_CHECK(out == text);
        // Inside one literal nothing changes.
        const QString literal =
            QLatin1Char('\'') + QString(text).remove(QLatin1Char('\'')) + QLatin1Char('\'');
        FUZZ_CHECK(toEngineSql(literal, engine) == literal);
    }
    return 0;
}
