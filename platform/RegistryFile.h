#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <vector>

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
    // In the order they were first set.
    const QList<RegValue>& values() const;
    RegValue* find(const QString& name); // names ignore letter case
    const RegValue* find(const QString& name) const;
    // False when the key held that value already, with that type and data.
    bool set(const RegValue& value);
    bool set(RegValue&& value);
    bool remove(const QString& name);

private:
    // A place of the index: the folded hash of a value's name and its position in values_,
    // -1 where the place is free.
    struct Slot {
        quint32 hash = 0;
        qint32 position = -1;
    };
    qsizetype indexOf(const QString& name) const;
    qsizetype slotOf(QStringView name, quint32 hash) const;
    void insertSlot(quint32 hash, qsizetype position);
    void eraseSlot(qsizetype slot);
    void compact() const;

    // A removed value stays in values_ until the list is next asked for, and is then taken
    // out with every other removed one in one pass: a file that removes thousands of
    // values ("name"=-) reads in time linear in its size.
    mutable QList<RegValue> values_;
    // The live values by their names' letter case folded, open addressed: a look-up hashes
    // the name as it is, with no folded copy made, which thousands of values a read or a
    // save asked for once each.
    mutable std::vector<Slot> slots_;
    qsizetype live_ = 0;
    mutable qsizetype removed_ = 0;
};

// The text of a Windows registry export ("Windows Registry Editor Version 5.00").
struct RegFile {
    // In file order. Keys are added through key(), which keeps them indexed; a list changed
    // otherwise is indexed again at the next look-up.
    QList<RegKey> keys;
    RegKey& key(const QString& path); // created when missing; paths ignore letter case

    // Parses UTF-8 (with or without byte-order mark) or UTF-16LE with its byte-order mark.
    // Returns false with a reason when the text is not a registry export.
    static bool parse(const QByteArray& bytes, RegFile& out, QString* error = nullptr);
    // UTF-8 without byte-order mark.
    QByteArray serialize() const;

private:
    void indexKeys();

    // Folded path -> position in keys: a file of thousands of sections is read in time
    // linear in its size, not with a search through all earlier sections at each one.
    QHash<QString, qsizetype> keyIndex_;
    qsizetype indexedKeys_ = 0;
};

} // namespace platform
