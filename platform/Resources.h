#pragma once

namespace platform {
// The program's embedded resources (icons, schema scripts) live in a static library, whose
// resource data must be registered explicitly before first use.
void initResources();
} // namespace platform
