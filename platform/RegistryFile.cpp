#include "platform/RegistryFile.h"

#include <QStringDecoder>
#include <QtEndian>

namespace platform {

namespace {
QByteArray utf16z(const QString& text) {
    QByteArray bytes(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    bytes.append('\0').append('\0');
    return bytes;
}

QString quote(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            out += QLatin1Char('\\');
        out += c;
    }
    out += QLatin1Char('"');
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

QString hexBytes(const QByteArray& data) {
    static const char digits[] = "0123456789abcdef";
    QString out(data.isEmpty() ? 0 : data.size() * 3 - 1, QLatin1Char(','));
    for (qsizetype i = 0; i < data.size(); ++i) {
        const auto byte = static_cast<quint8>(data.at(i));
        out[i * 3] = QLatin1Char(digits[byte >> 4]);
        out[i * 3 + 1] = QLatin1Char(digits[byte & 15]);
    }
    return out;
}

// Reads a quoted string at pos (on the opening quote); pos ends after the closing quote.
bool readQuoted(const QString& line, int& pos, QString& out) {
    if (pos >= line.size() || line.at(pos) != QLatin1Char('"'))
        return false;
    ++pos;
    out.clear();
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

RegValue* RegKey::find(const QString& name) {
    const auto it = index_.constFind(name.toCaseFolded());
    return it == index_.constEnd() ? nullptr : &values_[it.value()];
}

void RegKey::set(const RegValue& value) {
    if (RegValue* existing = find(value.name)) {
        existing->type = value.type;
        existing->data = value.data;
        return;
    }
    index_.insert(value.name.toCaseFolded(), static_cast<int>(values_.size()));
    values_.append(value);
}

bool RegKey::remove(const QString& name) {
    const auto it = index_.find(name.toCaseFolded());
    if (it == index_.end())
        return false;
    values_.removeAt(it.value());
    index_.clear();
    for (int i = 0; i < values_.size(); ++i)
        index_.insert(values_.at(i).name.toCaseFolded(), i);
    return true;
}

RegKey& RegFile::key(const QString& path) {
    for (RegKey& k : keys)
        if (k.path.compare(path, Qt::CaseInsensitive) == 0)
            return k;
    keys.append(RegKey(path));
    return keys.last();
}

bool RegFile::parse(const QByteArray& bytes, RegFile& out, QString* error) {
    out.keys.clear();
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
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QStringList raw = text.split(QLatin1Char('\n'));

    // Join continuation lines ("...,\" followed by an indented line).
    QStringList lines;
    QString pending;
    for (const QString& line : raw) {
        QString l = pending.isEmpty() ? line : pending + line.trimmed();
        while (l.endsWith(QLatin1Char(' ')) || l.endsWith(QLatin1Char('\t')))
            l.chop(1);
        // Only hex data continues on the next line; strings end with a quote.
        if (l.endsWith(QLatin1Char('\\'))) {
            l.chop(1);
            pending = l;
            continue;
        }
        pending.clear();
        lines << l;
    }
    if (!pending.isEmpty())
        lines << pending;

    int n = 0;
    while (n < lines.size() && lines.at(n).trimmed().isEmpty())
        ++n;
    if (n >= lines.size() ||
        (lines.at(n).trimmed() != QLatin1String("Windows Registry Editor Version 5.00") &&
         lines.at(n).trimmed() != QLatin1String("REGEDIT4")))
        return fail(error, QStringLiteral("not a registry export"));

    RegKey* current = nullptr;
    for (int i = n + 1; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')) || line.size() < 3)
                return fail(error, QStringLiteral("bad key line %1").arg(i + 1));
            current = &out.key(line.mid(1, line.size() - 2));
            continue;
        }
        if (!current)
            return fail(error, QStringLiteral("value outside a key at line %1").arg(i + 1));
        RegValue value;
        int pos = 0;
        if (line.startsWith(QLatin1Char('@'))) {
            pos = 1;
        } else if (!readQuoted(line, pos, value.name)) {
            return fail(error, QStringLiteral("bad value name at line %1").arg(i + 1));
        }
        if (pos >= line.size() || line.at(pos) != QLatin1Char('='))
            return fail(error, QStringLiteral("missing '=' at line %1").arg(i + 1));
        ++pos;
        const QString data = line.mid(pos);
        if (data == QLatin1String("-")) {
            current->remove(value.name);
            continue;
        }
        if (data.startsWith(QLatin1Char('"'))) {
            QString s;
            int p = 0;
            if (!readQuoted(data, p, s) || p != data.size())
                return fail(error, QStringLiteral("bad string at line %1").arg(i + 1));
            value.type = REG_SZ;
            value.data = utf16z(s);
        } else if (data.startsWith(QLatin1String("dword:"))) {
            const QString digits = data.mid(6);
            bool ok = false;
            const uint v = digits.toUInt(&ok, 16);
            if (!ok || digits.size() != 8)
                return fail(error, QStringLiteral("bad dword at line %1").arg(i + 1));
            value = RegValue::dword(value.name, v);
        } else if (data.startsWith(QLatin1String("hex:"))) {
            value.type = REG_BINARY;
            if (!parseHex(QStringView(data).mid(4), value.data))
                return fail(error, QStringLiteral("bad hex at line %1").arg(i + 1));
        } else if (data.startsWith(QLatin1String("hex("))) {
            const int close = data.indexOf(QStringLiteral("):"));
            bool ok = false;
            const uint type = close > 4 ? data.mid(4, close - 4).toUInt(&ok, 16) : 0;
            if (!ok || !parseHex(QStringView(data).mid(close + 2), value.data))
                return fail(error, QStringLiteral("bad hex at line %1").arg(i + 1));
            value.type = type;
        } else {
            return fail(error, QStringLiteral("unknown value form at line %1").arg(i + 1));
        }
        current->set(value);
    }
    return true;
}

QByteArray RegFile::serialize() const {
    QString out = QStringLiteral("Windows Registry Editor Version 5.00\r\n");
    for (const RegKey& k : keys) {
        out += QStringLiteral("\r\n[") + k.path + QStringLiteral("]\r\n");
        for (const RegValue& v : k.values()) {
            out += v.name.isEmpty() ? QStringLiteral("@") : quote(v.name);
            out += QLatin1Char('=');
            const QString text = v.toText();
            if (v.type == REG_SZ && v.data.size() % 2 == 0 && v.data.endsWith(QByteArray(2, 0)) &&
                fitsQuoted(text) && utf16z(text) == v.data)
                out += quote(text);
            else if (v.type == REG_DWORD && v.data.size() == 4)
                out += QStringLiteral("dword:") +
                       QString::number(qFromLittleEndian<quint32>(v.data.constData()), 16)
                           .rightJustified(8, QLatin1Char('0'));
            else if (v.type == REG_BINARY)
                out += QStringLiteral("hex:") + hexBytes(v.data);
            else
                out += QStringLiteral("hex(%1):").arg(v.type, 0, 16) + hexBytes(v.data);
            out += QStringLiteral("\r\n");
        }
    }
    return out.toUtf8();
}

} // namespace platform
