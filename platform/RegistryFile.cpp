#include "platform/RegistryFile.h"

#include <QStringDecoder>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <deque>
#include <utility>
#include <vector>

namespace platform {

namespace {
QByteArray utf16z(const QString& text) {
    const qsizetype size = text.size() * 2;
    QByteArray bytes(size + 2, Qt::Uninitialized);
    std::memcpy(bytes.data(), text.utf16(), static_cast<size_t>(size));
    bytes[size] = '\0';
    bytes[size + 1] = '\0';
    return bytes;
}

bool isAscii(QStringView text) {
    for (const QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

// Writes the text as a quoted string, UTF-8 encoded, at out; returns the end. Room for
// three bytes a unit and the quotes is there.
char* putQuoted(char* out, QStringView text) {
    *out++ = '"';
    if (isAscii(text)) {
        for (const QChar c : text) {
            const char byte = static_cast<char>(c.unicode());
            if (byte == '\\' || byte == '"')
                *out++ = '\\';
            *out++ = byte;
        }
    } else {
        QString escaped;
        escaped.reserve(text.size() + 8);
        for (const QChar c : text) {
            if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
                escaped += QLatin1Char('\\');
            escaped += c;
        }
        const QByteArray utf8 = escaped.toUtf8();
        std::memcpy(out, utf8.constData(), size_t(utf8.size()));
        out += utf8.size();
    }
    *out++ = '"';
    return out;
}

// Text that a quoted string would not carry: control characters and line breaks.
bool fitsQuoted(const QString& text) {
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.isSurrogate() ||
            c.category() == QChar::Other_NotAssigned)
            return false;
    return true;
}

const char kDigits[] = "0123456789abcdef";

char* putHexBytes(char* out, const QByteArray& data) {
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (i > 0)
            *out++ = ',';
        *out++ = kDigits[bytes[i] >> 4];
        *out++ = kDigits[bytes[i] & 15];
    }
    return out;
}

// The text without its terminating zero: more follows.
char* putText(char* out, const char* text) {
    return std::copy_n(text, std::strlen(text), out);
}

// A string of printable ASCII with its terminating zero, as nearly every stored string is:
// written as it is, with no need to decode it first.
bool plainAsciiString(const QByteArray& data) {
    if (data.size() < 2 || data.size() % 2 != 0)
        return false;
    const qsizetype units = data.size() / 2;
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    for (qsizetype i = 0; i < units - 1; ++i)
        if (bytes[2 * i + 1] != 0 || bytes[2 * i] < 0x20 || bytes[2 * i] > 0x7E)
            return false;
    return bytes[data.size() - 2] == 0 && bytes[data.size() - 1] == 0;
}

// Value names ignore letter case: hashed and compared as folded. They are nearly always
// ASCII, folded here on the fly without the Unicode tables and without a folded copy.
constexpr quint32 kFnvBasis = 2166136261U, kFnvPrime = 16777619U;

// The low bits of FNV mix only the low bits of each unit: mixed through, as the index takes
// its places from the low bits.
quint32 mixed(quint32 hash) {
    hash ^= hash >> 16;
    hash *= 0x85ebca6bU;
    hash ^= hash >> 13;
    hash *= 0xc2b2ae35U;
    return hash ^ (hash >> 16);
}

quint32 foldedHash(QStringView name) {
    quint32 hash = kFnvBasis;
    for (const QChar ch : name) {
        char16_t c = ch.unicode();
        if (c >= 0x80) {
            hash = kFnvBasis;
            for (const QChar f : name.toString().toCaseFolded())
                hash = (hash ^ f.unicode()) * kFnvPrime;
            return mixed(hash);
        }
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c + 32);
        hash = (hash ^ c) * kFnvPrime;
    }
    return mixed(hash);
}

bool sameFolded(QStringView a, QStringView b) {
    if (!isAscii(a) || !isAscii(b))
        return a.toString().toCaseFolded() == b.toString().toCaseFolded();
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a[i].unicode(), y = b[i].unicode();
        if (x >= u'A' && x <= u'Z')
            x = char16_t(x + 32);
        if (y >= u'A' && y <= u'Z')
            y = char16_t(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

// Reads a quoted string at pos (on the opening quote); pos ends after the closing quote.
bool readQuoted(QStringView line, qsizetype& pos, QString& out) {
    if (pos >= line.size() || line.at(pos) != QLatin1Char('"'))
        return false;
    ++pos;
    // Most strings have no escapes: taken in one piece.
    qsizetype end = pos;
    while (end < line.size() && line.at(end) != QLatin1Char('"') &&
           line.at(end) != QLatin1Char('\\'))
        ++end;
    out = line.mid(pos, end - pos).toString();
    pos = end;
    while (pos < line.size()) {
        const QChar c = line.at(pos++);
        if (c == QLatin1Char('"'))
            return true;
        if (c == QLatin1Char('\\')) {
            if (pos >= line.size())
                return false;
            out += line.at(pos++);
        } else {
            out += c;
        }
    }
    return false;
}

int hexDigit(char16_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "00,a7, 3f" -> bytes; blanks around the numbers are allowed.
bool parseHex(QStringView text, QByteArray& out) {
    out.clear();
    out.reserve(text.size() / 3 + 1);
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skipBlanks = [&] {
        while (i < n && (text[i] == u' ' || text[i] == u'\t'))
            ++i;
    };
    skipBlanks();
    if (i == n)
        return true;
    for (;;) {
        skipBlanks();
        int value = 0, digits = 0;
        while (i < n && hexDigit(text[i].unicode()) >= 0 && digits < 3) {
            value = value * 16 + hexDigit(text[i].unicode());
            ++digits;
            ++i;
        }
        if (digits == 0 || digits > 2)
            return false;
        out.append(static_cast<char>(value));
        skipBlanks();
        if (i == n)
            return true;
        if (text[i] != u',')
            return false;
        ++i;
    }
}

bool fail(QString* error, const QString& why) {
    if (error)
        *error = why;
    return false;
}
} // namespace

RegValue RegValue::string(const QString& name, const QString& text) {
    return {name, REG_SZ, utf16z(text)};
}

RegValue RegValue::dword(const QString& name, quint32 value) {
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return {name, REG_DWORD, bytes};
}

RegValue RegValue::binary(const QString& name, const QByteArray& bytes) {
    return {name, REG_BINARY, bytes};
}

QString RegValue::toText() const {
    QString text =
        QString::fromUtf16(reinterpret_cast<const char16_t*>(data.constData()), data.size() / 2);
    if (text.endsWith(QChar(0)))
        text.chop(1);
    return text;
}

RegKey::RegKey(const QString& keyPath, const QList<RegValue>& initial) : path(keyPath) {
    for (const RegValue& v : initial)
        set(v);
}

qsizetype RegKey::slotOf(QStringView name, quint32 hash) const {
    if (slots_.empty())
        return -1;
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.position < 0)
            return -1;
        if (slot.hash == hash && sameFolded(values_.at(slot.position).name, name))
            return static_cast<qsizetype>(i);
    }
}

qsizetype RegKey::indexOf(const QString& name) const {
    const qsizetype slot = slotOf(name, foldedHash(name));
    return slot < 0 ? -1 : slots_[size_t(slot)].position;
}

void RegKey::insertSlot(quint32 hash, qsizetype position) {
    // At most half full, so that a search ends soon at a free place.
    if (size_t(live_ + 1) * 2 > slots_.size()) {
        std::vector<Slot> old =
            std::exchange(slots_, std::vector<Slot>(std::max<size_t>(16, slots_.size() * 2)));
        for (const Slot& s : old)
            if (s.position >= 0)
                for (size_t i = s.hash & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1))
                    if (slots_[i].position < 0) {
                        slots_[i] = s;
                        break;
                    }
    }
    const size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    while (slots_[i].position >= 0)
        i = (i + 1) & mask;
    slots_[i] = {hash, static_cast<qint32>(position)};
    ++live_;
}

// Linear probing without tombstones: the places after the freed one that would no longer be
// found from their home move back into it.
void RegKey::eraseSlot(qsizetype slot) {
    const size_t mask = slots_.size() - 1;
    size_t hole = size_t(slot);
    for (size_t i = (hole + 1) & mask; slots_[i].position >= 0; i = (i + 1) & mask) {
        const size_t home = slots_[i].hash & mask;
        // Stays when its home lies cyclically in (hole, i].
        if (hole < i ? (home > hole && home <= i) : (home > hole || home <= i))
            continue;
        slots_[hole] = slots_[i];
        hole = i;
    }
    slots_[hole] = Slot{};
    --live_;
}

const QList<RegValue>& RegKey::values() const {
    compact();
    return values_;
}

// A value is live where the index points at it; the others were removed.
void RegKey::compact() const {
    if (removed_ == 0)
        return;
    std::vector<qint32> moved(size_t(values_.size()), -1);
    for (const Slot& s : slots_)
        if (s.position >= 0)
            moved[size_t(s.position)] = 0;
    QList<RegValue> live;
    live.reserve(values_.size() - removed_);
    for (qsizetype k = 0; k < values_.size(); ++k) {
        if (moved[size_t(k)] < 0)
            continue;
        moved[size_t(k)] = static_cast<qint32>(live.size());
        live.append(std::move(values_[k]));
    }
    for (Slot& s : slots_)
        if (s.position >= 0)
            s.position = moved[size_t(s.position)];
    values_ = std::move(live);
    removed_ = 0;
}

RegValue* RegKey::find(const QString& name) {
    const qsizetype i = indexOf(name);
    return i < 0 ? nullptr : &values_[i];
}

const RegValue* RegKey::find(const QString& name) const {
    const qsizetype i = indexOf(name);
    return i < 0 ? nullptr : &values_.at(i);
}

bool RegKey::set(const RegValue& value) {
    return set(RegValue(value));
}

bool RegKey::set(RegValue&& value) {
    const quint32 hash = foldedHash(value.name);
    const qsizetype slot = slotOf(value.name, hash);
    if (slot >= 0) {
        RegValue& existing = values_[slots_[size_t(slot)].position];
        if (existing.type == value.type && existing.data == value.data)
            return false;
        existing.type = value.type;
        existing.data = std::move(value.data);
        return true;
    }
    insertSlot(hash, values_.size());
    values_.append(std::move(value));
    return true;
}

bool RegKey::remove(const QString& name) {
    const qsizetype slot = slotOf(name, foldedHash(name));
    if (slot < 0)
        return false;
    values_[slots_[size_t(slot)].position].data.clear();
    eraseSlot(slot);
    ++removed_;
    return true;
}

void RegFile::indexKeys() {
    keyIndex_.clear();
    keyIndex_.reserve(keys.size());
    // Of two keys with one path the first is found, as a search from the top finds it.
    for (qsizetype k = keys.size() - 1; k >= 0; --k)
        keyIndex_.insert(keys.at(k).path.toCaseFolded(), k);
    indexedKeys_ = keys.size();
}

RegKey& RegFile::key(const QString& path) {
    const QString folded = path.toCaseFolded();
    if (indexedKeys_ != keys.size())
        indexKeys();
    auto it = keyIndex_.constFind(folded);
    // A key whose path was changed in place, or the list rearranged: indexed again.
    if (it != keyIndex_.constEnd() &&
        (it.value() >= keys.size() ||
         keys.at(it.value()).path.compare(path, Qt::CaseInsensitive) != 0)) {
        indexKeys();
        it = keyIndex_.constFind(folded);
    }
    if (it != keyIndex_.constEnd())
        return keys[it.value()];
    keyIndex_.insert(folded, keys.size());
    keys.append(RegKey(path));
    indexedKeys_ = keys.size();
    return keys.last();
}

bool RegFile::parse(const QByteArray& bytes, RegFile& out, QString* error) {
    out = RegFile();
    QString text;
    if (bytes.startsWith("\xFF\xFE")) {
        if ((bytes.size() - 2) % 2 != 0)
            return fail(error, QStringLiteral("odd length of UTF-16 text"));
        QStringDecoder decode(QStringDecoder::Utf16LE);
        text = decode(bytes.mid(2));
        if (decode.hasError())
            return fail(error, QStringLiteral("invalid UTF-16 text"));
    } else {
        QStringDecoder decode(QStringDecoder::Utf8);
        text = decode(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
        if (decode.hasError())
            return fail(error, QStringLiteral("invalid UTF-8 text"));
    }

    // The lines as views into the text, broken at "\n" and "\r\n"; continuation lines
    // ("...,\" followed by an indented line) joined into strings of their own.
    const QStringView all(text);
    std::vector<QStringView> lines;
    std::deque<QString> joined;
    // A long value continued over many lines grows in place, line by line.
    QString pending;
    for (qsizetype start = 0; start <= all.size();) {
        qsizetype end = all.indexOf(QLatin1Char('\n'), start);
        QStringView raw = all.mid(start, (end < 0 ? all.size() : end) - start);
        if (end >= 0 && raw.endsWith(QLatin1Char('\r')))
            raw.chop(1);
        start = end < 0 ? all.size() + 1 : end + 1;
        const bool continued = !pending.isEmpty();
        if (continued)
            pending += raw.trimmed();
        QStringView l = continued ? QStringView(pending) : raw;
        while (l.endsWith(QLatin1Char(' ')) || l.endsWith(QLatin1Char('\t')))
            l.chop(1);
        // Only hex data continues on the next line; strings end with a quote.
        if (l.endsWith(QLatin1Char('\\'))) {
            l.chop(1);
            if (continued)
                pending.truncate(l.size());
            else
                pending = l.toString();
            continue;
        }
        if (continued) {
            pending.truncate(l.size());
            joined.push_back(std::move(pending));
            pending = QString();
            l = joined.back();
        }
        lines.push_back(l);
    }
    if (!pending.isEmpty()) {
        joined.push_back(pending);
        lines.push_back(joined.back());
    }

    const auto count = static_cast<qsizetype>(lines.size());
    qsizetype n = 0;
    while (n < count && lines[n].trimmed().isEmpty())
        ++n;
    if (n >= count ||
        (lines[n].trimmed() != QLatin1String("Windows Registry Editor Version 5.00") &&
         lines[n].trimmed() != QLatin1String("REGEDIT4")))
        return fail(error, QStringLiteral("not a registry export"));

    RegKey* current = nullptr;
    for (qsizetype i = n + 1; i < count; ++i) {
        const QStringView line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')) || line.size() < 3)
                return fail(error, QStringLiteral("bad key line %1").arg(i + 1));
            current = &out.key(line.mid(1, line.size() - 2).toString());
            continue;
        }
        if (!current)
            return fail(error, QStringLiteral("value outside a key at line %1").arg(i + 1));
        RegValue value;
        qsizetype pos = 0;
        if (line.startsWith(QLatin1Char('@'))) {
            pos = 1;
        } else if (!readQuoted(line, pos, value.name)) {
            return fail(error, QStringLiteral("bad value name at line %1").arg(i + 1));
        }
        if (pos >= line.size() || line.at(pos) != QLatin1Char('='))
            return fail(error, QStringLiteral("missing '=' at line %1").arg(i + 1));
        ++pos;
        const QStringView data = line.mid(pos);
        if (data == QLatin1String("-")) {
            current->remove(value.name);
            continue;
        }
        if (data.startsWith(QLatin1Char('"'))) {
            QString s;
            qsizetype p = 0;
            if (!readQuoted(data, p, s) || p != data.size())
                return fail(error, QStringLiteral("bad string at line %1").arg(i + 1));
            value.type = REG_SZ;
            value.data = utf16z(s);
        } else if (data.startsWith(QLatin1String("dword:"))) {
            const QStringView digits = data.mid(6);
            bool ok = false;
            const uint v = digits.toUInt(&ok, 16);
            if (!ok || digits.size() != 8)
                return fail(error, QStringLiteral("bad dword at line %1").arg(i + 1));
            value = RegValue::dword(value.name, v);
        } else if (data.startsWith(QLatin1String("hex:"))) {
            value.type = REG_BINARY;
            if (!parseHex(data.mid(4), value.data))
                return fail(error, QStringLiteral("bad hex at line %1").arg(i + 1));
        } else if (data.startsWith(QLatin1String("hex("))) {
            const qsizetype close = data.indexOf(QLatin1String("):"));
            bool ok = false;
            const uint type = close > 4 ? data.mid(4, close - 4).toUInt(&ok, 16) : 0;
            if (!ok || !parseHex(data.mid(close + 2), value.data))
                return fail(error, QStringLiteral("bad hex at line %1").arg(i + 1));
            value.type = type;
        } else {
            return fail(error, QStringLiteral("unknown value form at line %1").arg(i + 1));
        }
        current->set(std::move(value));
    }
    return true;
}

QByteArray RegFile::serialize() const {
    // Room enough for any value (three bytes a unit of text, three a byte of hex data), so
    // that each is written straight into place: a save writes thousands of them.
    qsizetype room = 64;
    for (const RegKey& k : keys) {
        room += k.path.size() * 3 + 8;
        for (const RegValue& v : k.values())
            room += v.name.size() * 3 + v.data.size() * 3 + 32;
    }
    QByteArray bytes(room, Qt::Uninitialized);
    char* const begin = bytes.data();
    char* out = putText(begin, "Windows Registry Editor Version 5.00\r\n");
    for (const RegKey& k : keys) {
        out = putText(out, "\r\n[");
        const QByteArray path = k.path.toUtf8();
        std::memcpy(out, path.constData(), size_t(path.size()));
        out = putText(out + path.size(), "]\r\n");
        for (const RegValue& v : k.values()) {
            if (v.name.isEmpty())
                *out++ = '@';
            else
                out = putQuoted(out, v.name);
            *out++ = '=';
            if (v.type == REG_SZ && plainAsciiString(v.data)) {
                *out++ = '"';
                const char* data = v.data.constData();
                for (qsizetype i = 0; i + 2 < v.data.size(); i += 2) {
                    if (data[i] == '\\' || data[i] == '"')
                        *out++ = '\\';
                    *out++ = data[i];
                }
                *out++ = '"';
            } else if (v.type == REG_SZ && v.data.size() % 2 == 0 &&
                       v.data.endsWith(QByteArray(2, 0)) && fitsQuoted(v.toText()) &&
                       utf16z(v.toText()) == v.data) {
                out = putQuoted(out, v.toText());
            } else if (v.type == REG_DWORD && v.data.size() == 4) {
                out = putText(out, "dword:");
                const quint32 x = qFromLittleEndian<quint32>(v.data.constData());
                for (int shift = 28; shift >= 0; shift -= 4)
                    *out++ = kDigits[(x >> shift) & 15];
            } else if (v.type == REG_BINARY) {
                out = putHexBytes(putText(out, "hex:"), v.data);
            } else {
                out = putText(out, "hex(");
                const QByteArray type = QByteArray::number(v.type, 16);
                std::memcpy(out, type.constData(), size_t(type.size()));
                out = putHexBytes(putText(out + type.size(), "):"), v.data);
            }
            out = putText(out, "\r\n");
        }
    }
    bytes.truncate(out - begin);
    return bytes;
}

} // namespace platform
