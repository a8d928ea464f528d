// The filter expression reader: never crashes; what it accepts has a known field name,
// operator and an integer or date value.
#include "FuzzUtil.h"
#include "platform/Error.h"
#include "platform/FilterExpression.h"

#include <QLocale>

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool once = [] {
        QLocale::setDefault(QLocale(QStringLiteral("cs_CZ")));
        return true;
    }();
    Q_UNUSED(once);
    try {
        for (const FilterCondition& c : parseFilter(textOf(data, size))) {
            FUZZ_CHECK(!c.field.isEmpty());
            FUZZ_CHECK(QStringList({"=", "<>", ">=", "<=", "<", ">"}).contains(c.op));
            FUZZ_CHECK(c.value.metaType().id() == QMetaType::LongLong ||
                       c.value.metaType().id() == QMetaType::QDateTime);
        }
    } catch (const Error&) {
    }
    return 0;
}
