#pragma once

#include "platform/RegistryFile.h"

#include <QString>
#include <memory>

namespace platform {

// An open key of the per-user store. Writes take effect together at close().
class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    virtual bool valueExists(const QString& name) const = 0;
    // Reads a value with its type and size; false when absent.
    virtual bool queryValue(const QString& name, RegValue& value) const = 0;
    virtual void writeString(const QString& name, const QString& text) = 0;
    virtual void writeInteger(const QString& name, qint32 value) = 0;
    virtual void writeBinary(const QString& name, const QByteArray& bytes) = 0;
    virtual bool deleteValue(const QString& name) = 0;
    // Commits the writes; false when they could not be stored (nothing is then changed).
    virtual bool close() = 0;
};

class Registry {
public:
    virtual ~Registry() = default;
    // Opens the key, creating it when missing. A store that cannot be read gives a key with
    // no values whose writes fail.
    virtual std::unique_ptr<RegistryKey> openKey(const QString& path) = 0;
};

// The store as one file in the registry export format.
class FileRegistry : public Registry {
public:
    explicit FileRegistry(const QString& filePath);
    std::unique_ptr<RegistryKey> openKey(const QString& path) override;
    const QString& filePath() const { return path_; }
    QString lastError() const { return lastError_; }

    static QString defaultPath(const QString& configFolder);

private:
    friend class FileRegistryKey;
    // The content as last read or written, reused while the file on disk is that one.
    struct Snapshot {
        quint64 inode = 0, size = 0;
        qint64 mtimeNs = -1;
        RegFile file;
    };
    bool fileStamp(Snapshot& stamp) const;
    void remember(const RegFile& file);

    QString path_;
    QString lastError_;
    Snapshot cache_;
};

// The entry that starts the program when the user logs on.
class Autostart {
public:
    virtual ~Autostart() = default;
    virtual bool enable(const QString& programFile) = 0;
    virtual bool disable() = 0; // removing an absent entry is no error
};

class XdgAutostart : public Autostart {
public:
    explicit XdgAutostart(const QString& configFolder);
    bool enable(const QString& programFile) override;
    bool disable() override;
    QString entryPath() const { return path_; }
    static QByteArray desktopEntry(const QString& programFile);

private:
    QString path_;
};

} // namespace platform
