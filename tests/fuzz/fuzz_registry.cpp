// The store parser: never crashes; what it reads, written and read again, is the same.
#include "FuzzUtil.h"
#include "platform/RegistryFile.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    RegFile first;
    if (!RegFile::parse(bytes, first))
        return 0;
    const QByteArray written = first.serialize();
    RegFile second;
    QString why;
    FUZZ_CHECK(RegFile::parse(written, second, &why));
    FUZZ_CHECK(first.keys.size() == second.keys.size());
    for (int k = 0; k < first.keys.size(); ++k) {
        const RegKey& a = first.keys.at(k);
        RegKey& b = second.keys[k];
        FUZZ_CHECK(a.path == b.path);
        FUZZ_CHECK(a.values().size() == b.values().size());
        for (const RegValue& v : a.values()) {
            const RegValue* w = b.find(v.name);
            FUZZ_CHECK(w != nullptr);
            FUZZ_CHECK(w->type == v.type && w->data == v.data);
        }
    }
    FUZZ_CHECK(second.serialize() == written);
    return 0;
}
