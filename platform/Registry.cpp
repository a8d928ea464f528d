#include "platform/Registry.h"

#include "platform/AtomicFile.h"

#include <QDateTime>
#include <QFile>
#include <QtEndian>
#include <cstring>
#include <sys/stat.h>
#include <utility>

namespace platform {

class FileRegistryKey : public RegistryKey {
public:
    // A key with a refusal reads what it was given (nothing) and never writes.
    FileRegistryKey(FileRegistry& store, RegFile file, const QString& path,
                    bool changedMeanwhile = false, const QString& refusal = QString())
        : store_(store), file_(std::move(file)), path_(path), changedMeanwhile_(changedMeanwhile),
          refusal_(refusal) {
        keyIndex_ = &file_.key(path_) - file_.keys.constData();
    }

    int valueCount() const override { return static_cast<int>(key().values().size()); }
    QStringList valueNames() const override {
        QStringList names;
        names.reserve(key().values().size());
        for (const RegValue& v : key().values())
            names.append(v.name);
        return names;
    }
    bool valueExists(const QString& name) const override { return key().find(name) != nullptr; }
    bool queryValue(const QString& name, RegValue& value) const override {
        const RegValue* v = key().find(name);
        if (!v)
            return false;
        value = *v;
        return true;
    }
    // A save writes every value again, nearly all as they are: those are compared in place,
    // without making the value first.
    void writeString(const QString& name, const QString& text) override {
        const auto size = static_cast<size_t>(text.size()) * 2;
        if (!holds(name, REG_SZ, [&](const QByteArray& d) {
                return size_t(d.size()) == size + 2 &&
                       std::memcmp(d.constData(), text.utf16(), size) == 0 &&
                       d.endsWith(QByteArrayView("\0\0", 2));
            }))
            set(RegValue::string(name, text));
    }
    void writeInteger(const QString& name, qint32 value) override {
        if (!holds(name, REG_DWORD, [&](const QByteArray& d) {
                return d.size() == 4 && qFromLittleEndian<qint32>(d.constData()) == value;
            }))
            set(RegValue::dword(name, static_cast<quint32>(value)));
    }
    void writeBinary(const QString& name, const QByteArray& bytes) override {
        if (!holds(name, REG_BINARY, [&](const QByteArray& d) { return d == bytes; }))
            set(RegValue::binary(name, bytes));
    }
    bool deleteValue(const QString& name) override {
        const bool removed = key().remove(name);
        dirty_ = dirty_ || removed;
        changed_ = changed_ || removed;
        return removed;
    }
    bool close(Commit commit) override {
        if (!dirty_ || (commit == Commit::Changes && !changed_ && !store_.unsynced_))
            return true;
        const bool durable = commit != Commit::Unsynced;
        // Unsynced still syncs the content before the rename: the folder's entry never
        // names a file whose content is not on the disk yet.
        dirty_ = changed_ = false;
        if (!refusal_.isEmpty()) {
            store_.lastError_ = refusal_;
            return false;
        }
        // Another copy of Korvan, or the user, wrote the store since this copy last read or
        // wrote it: their version is kept beside before this one replaces it, the first
        // time in a session.
        if (changedMeanwhile_ && !store_.conflictTold_) {
            store_.conflictTold_ = true;
            const QString kept = store_.keepCopy(QStringLiteral("conflict"));
            store_.notices_
                << QStringLiteral("The settings file %1 was changed by another program or another "
                                  "copy of Korvan after this copy read it. %2 This copy's tasks "
                                  "and settings are saved in its place. Should that happen again "
                                  "before Korvan ends, the other version is written over without "
                                  "another copy or message: run one copy of Korvan on one "
                                  "settings file.")
                       .arg(store_.path_,
                            kept.isEmpty()
                                ? QStringLiteral("That version could not be kept beside.")
                                : QStringLiteral("That version is kept as %1.").arg(kept));
        }
        if (!writeFileAtomically(store_.path_, file_.serialize(), 0600, &store_.lastError_,
                                 durable ? Sync::All : Sync::Content))
            return false;
        store_.unsynced_ = !durable;
        store_.remember(file_);
        return true;
    }

private:
    // The key found once, not by its path at every value.
    RegKey& key() { return file_.keys[keyIndex_]; }
    const RegKey& key() const { return file_.keys.at(keyIndex_); }
    // True when the value is there with that type and data, which the write then leaves.
    template <class Same> bool holds(const QString& name, quint32 type, Same same) {
        const RegValue* v = std::as_const(key()).find(name);
        if (!v || v->type != type || !same(v->data))
            return false;
        dirty_ = true;
        return true;
    }
    void set(RegValue&& v) {
        if (key().set(std::move(v)))
            changed_ = true;
        dirty_ = true;
    }

    FileRegistry& store_;
    RegFile file_;
    QString path_;
    bool changedMeanwhile_;
    QString refusal_;
    qsizetype keyIndex_ = 0;
    bool dirty_ = false;
    // A value differs from what the key held when opened.
    bool changed_ = false;
};

FileRegistry::FileRegistry(const QString& filePath) : path_(filePath) {}

QString FileRegistry::defaultPath(const QString& configFolder) {
    return configFolder + QStringLiteral("/Myrkat/Korvan.reg");
}

bool FileRegistry::fileStamp(Snapshot& stamp) const {
    struct stat st {};
    if (::stat(QFile::encodeName(path_).constData(), &st) != 0)
        return false;
    stamp.inode = st.st_ino;
    stamp.size = static_cast<quint64>(st.st_size);
    stamp.mtimeNs = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

bool FileRegistry::changedSinceSeen() const {
    if (!seen_)
        return false;
    Snapshot stamp;
    const bool exists = fileStamp(stamp);
    if (cache_.mtimeNs < 0)
        return exists; // none when last seen: one appeared
    return !exists || stamp.inode != cache_.inode || stamp.size != cache_.size ||
           stamp.mtimeNs != cache_.mtimeNs;
}

QString FileRegistry::keepCopy(const QString& kind) {
    QFile current(path_);
    if (!current.exists())
        return {};
    const QString kept =
        path_ + QLatin1Char('.') + kind + QLatin1Char('-') +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    if (!current.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = current.readAll();
    current.close();
    return writeFileAtomically(kept, bytes, 0600, nullptr) ? kept : QString();
}

void FileRegistry::remember(const RegFile& file) {
    seen_ = true;
    Snapshot stamp;
    if (!fileStamp(stamp)) {
        cache_ = Snapshot{};
        return;
    }
    stamp.file = file;
    cache_ = std::move(stamp);
}

QStringList FileRegistry::takeNotices() {
    return std::exchange(notices_, {});
}

std::unique_ptr<RegistryKey> FileRegistry::refusedKey(const QString& path, const QString& why) {
    lastError_ = why;
    return std::make_unique<FileRegistryKey>(*this, RegFile{}, path, false, why);
}

std::unique_ptr<RegistryKey> FileRegistry::openKey(const QString& path) {
    if (!refusal_.isEmpty())
        return refusedKey(path, refusal_);
    RegFile file;
    Snapshot stamp;
    // Another copy that saved since has replaced the file, and with it the stamp.
    if (cache_.mtimeNs >= 0 && fileStamp(stamp) && stamp.inode == cache_.inode &&
        stamp.size == cache_.size && stamp.mtimeNs == cache_.mtimeNs)
        return std::make_unique<FileRegistryKey>(*this, cache_.file, path);
    const bool changed = changedSinceSeen();
    QFile f(path_);
    if (!f.exists()) {
        if (!seen_)
            remember(file); // none there: one that appears later is someone else's
        return std::make_unique<FileRegistryKey>(*this, file, path);
    }
    if (!f.open(QIODevice::ReadOnly)) {
        const QString why = f.errorString();
        // Nothing of it was ever read: a save would replace whatever it holds with nothing.
        if (!seen_) {
            refusal_ = why;
            notices_ << QStringLiteral("The settings file %1 could not be read (%2). Korvan starts "
                                       "without the tasks and settings it holds and does not "
                                       "write over it. Once the file can be read, end Korvan "
                                       "and start it again.")
                            .arg(path_, why);
        }
        return refusedKey(path, why);
    }
    const QByteArray bytes = f.readAll();
    f.close();
    QString why;
    if (RegFile::parse(bytes, file, &why)) {
        remember(file);
        return std::make_unique<FileRegistryKey>(*this, file, path, changed);
    }

    // Never overwrite what could not be read: keep it beside and start afresh.
    const QString kept =
        path_ + QStringLiteral(".corrupt-") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    if (QFile::rename(path_, kept)) {
        notices_ << QStringLiteral("The settings file %1 could not be read (%2). It was kept as "
                                   "%3; Korvan starts with default settings.")
                        .arg(path_, why, kept);
        return std::make_unique<FileRegistryKey>(*this, RegFile{}, path);
    }
    refusal_ = why;
    notices_ << QStringLiteral("The settings file %1 could not be read (%2). Korvan starts "
                               "with default settings and will not overwrite it.")
                    .arg(path_, why);
    return refusedKey(path, why);
}

XdgAutostart::XdgAutostart(const QString& configFolder)
    : path_(configFolder + QStringLiteral("/autostart/Korvan.desktop")) {}

QByteArray XdgAutostart::desktopEntry(const QString& programFile) {
    // Exec quoting of the desktop entry format, then the escaping of its string values.
    QString quoted;
    for (QChar c : programFile) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    // A line break in the path must not start a line of its own in the entry.
    quoted.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    quoted.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Korvan\n"
                          "Comment=Time tracker in the notification area\n"
                          "Exec=\"%1\"\n"
                          "Icon=korvan\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(quoted)
        .toUtf8();
}

bool XdgAutostart::enable(const QString& programFile) {
    const QByteArray wanted = desktopEntry(programFile);
    QFile existing(path_);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == wanted)
        return true;
    // Rewritten from the setting at every save: no need to wait for the disk.
    return writeFileAtomically(path_, wanted, 0644, nullptr, Sync::Nothing);
}

bool XdgAutostart::disable() {
    QFile entry(path_);
    return !entry.exists() || entry.remove();
}

} // namespace platform
