#pragma once

#include "platform/RegistryFile.h"

#include <QString>
#include <QStringList>
#include <memory>

namespace platform {

// An open key of the per-user store. Writes take effect together at close().
class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    virtual bool valueExists(const QString& name) const = 0;
    virtual int valueCount() const = 0;
    // The names of every value, in the store's order.
    virtual QStringList valueNames() const = 0;
    // Reads a value with its type and size; false when absent.
    virtual bool queryValue(const QString& name, RegValue& value) const = 0;
    virtual void writeString(const QString& name, const QString& text) = 0;
    virtual void writeInteger(const QString& name, qint32 value) = 0;
    virtual void writeBinary(const QString& name, const QByteArray& bytes) = 0;
    virtual bool deleteValue(const QString& name) = 0;
    // How close() writes the file: synced to the disk before it returns; with its content
    // synced but not its folder (a killed program loses nothing of it; after a power cut the
    // store is the old one or the new one, so whoever asks for that keeps the change
    // elsewhere until the next close that waits); or synced, but only when a value changed
    // or the file as last written may not be on the disk yet.
    enum class Commit { Durable, Unsynced, Changes };
    // Commits the writes; false when they could not be stored (nothing is then changed).
    virtual bool close(Commit commit = Commit::Durable) = 0;
};

class Registry {
public:
    virtual ~Registry() = default;
    // Opens the key, creating it when missing. A store that cannot be read gives a key with
    // no values whose writes fail.
    virtual std::unique_ptr<RegistryKey> openKey(const QString& path) = 0;
    // Where the store lives, and why the last write failed, for the user's messages.
    virtual QString location() const { return {}; }
    virtual QString lastError() const { return {}; }
    // True once the store could not be read: from then on it is never written in this
    // session, as what it holds would be lost.
    virtual bool writesRefused() const { return false; }
    // What the user is to be told about the store since the last call, one message each (a
    // file that could not be read, another version kept beside); the caller decides when
    // and how, as opening and saving the store happen at moments no box may interrupt.
    virtual QStringList takeNotices() { return {}; }
    // Keeps a copy of the store as it is now beside it, named <store>.<kind>-<time>;
    // returns the copy's path, empty when there was nothing to keep or it failed.
    virtual QString keepCopy(const QString& kind) {
        Q_UNUSED(kind);
        return {};
    }
};

// The store as one file in the registry export format.
class FileRegistry : public Registry {
public:
    explicit FileRegistry(const QString& filePath);
    std::unique_ptr<RegistryKey> openKey(const QString& path) override;
    const QString& filePath() const { return path_; }
    QString location() const override { return path_; }
    QString lastError() const override { return lastError_; }
    bool writesRefused() const override { return !refusal_.isEmpty(); }
    QStringList takeNotices() override;
    QString keepCopy(const QString& kind) override;

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

    // Whether the file changed (or appeared) since this copy last read or wrote it.
    bool changedSinceSeen() const;

    // A key that reads as empty and is never written, for a store that could not be read.
    std::unique_ptr<RegistryKey> refusedKey(const QString& path, const QString& why);

    QString path_;
    QString lastError_;
    Snapshot cache_;
    // This copy has read or written the store (or found none) at least once.
    bool seen_ = false;
    // The file as last written may not be on the disk yet.
    bool unsynced_ = false;
    // Why the store is not written in this session; empty while it may be.
    QString refusal_;
    // Two copies on one store would otherwise keep a copy and say so at almost every save:
    // once per session is enough to warn the user.
    bool conflictTold_ = false;
    QStringList notices_;
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
