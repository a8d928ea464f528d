#include "platform/Resources.h"

#include <QtGlobal>

static void registerKorvanResources() {
    Q_INIT_RESOURCE(korvan);
}

namespace platform {
void initResources() {
    static const bool done = (registerKorvanResources(), true);
    Q_UNUSED(done);
}
} // namespace platform
