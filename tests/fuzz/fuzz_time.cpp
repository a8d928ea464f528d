// The recorded-time reader and the hours text: a time read is below 10,000 hours; hours
// written for the locale read back as the rounded value.
#include "FuzzUtil.h"
#include "model/Records.h"
#include "timing/EditTaskDialog.h"

#include <QLocale>
#include <cmath>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool once = [] {
        QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
        return true;
    }();
    Q_UNUSED(once);
    double days = -1;
    if (EditTaskDialog::parseRecordedTime(textOf(data, size), days))
        FUZZ_CHECK(days >= 0 && days * 24 < 10000);
    if (size >= sizeof(float)) {
        float value;
        std::memcpy(&value, data, sizeof value);
        if (std::isfinite(value) && std::fabs(value) < 1e6f) {
            const QString text = floatToLocaleStr(2, value);
            bool ok = false;
            const double back = QLocale().toDouble(text, &ok);
            FUZZ_CHECK(ok);
            FUZZ_CHECK(std::fabs(back - static_cast<double>(value)) <=
                       0.005 + 1e-6 * std::fabs(value));
        }
    }
    return 0;
}
