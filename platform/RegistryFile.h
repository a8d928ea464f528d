#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

namespace platform {

enum RegType : quint32 {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
    REG_MULTI_SZ = 7,
    REG_QWORD = 11
};

// One typed value exactly as the registry keeps it: strings as UTF-16LE with their
// terminating zero, integers as 4 little-endian bytes.
struct RegValue {
    QString name;
    quint32 type = REG_NONE;
    QByteArray data;

    static RegValue string(const QString& name, const QString& text);
    static RegValue dword(const QString& name, quint32 value);
    static RegValue binary(const QString& name, const QByteArray& bytes);
    QString toText() const; // the string of a REG_SZ / REG_EXPAND_SZ value
    bool operator==(const RegValue& o) const {
        return name == o.name && type == o.type && data == o.data;
    }
};

class RegKey {
public:
    RegKey() = default;
    RegKey(const QString& keyPath, const QList<RegValue>& initial = {});
    QString path; // e.g. HKEY_CURRENT_USER\Software\Myrkat\Korvan
    const QList<RegValue>& values() const { return values_; }
    RegValue* find(const QString& name); // names ignore letter case
    const RegValue* find(const QString& name) const;
    void set(const RegValue& value);
    void set(RegValue&& value);
    bool remove(const QString& name);

private:
    qsizetype indexOf(const QString& name) const;

    QList<RegValue> values_;
    QHash<QString, int> index_; // folded name -> position in values_
};

// The text of a Windows registry export ("Windows Registry Editor Version 5.00").
struct RegFile {
    QList<RegKey> keys;
    RegKey& key(const QString& path); // created when missing

    // Parses UTF-8 (with or without byte-order mark) or UTF-16LE with its byte-order mark.
    // Returns false with a reason when the text is not a registry export.
    static bool parse(const QByteArray& bytes, RegFile& out, QString* error = nullptr);
    // UTF-8 without byte-order mark.
    QByteArray serialize() const;
};

} // namespace platform
