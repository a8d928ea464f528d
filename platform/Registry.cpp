#include "platform/Registry.h"

#include "platform/AtomicFile.h"
#include "platform/MessageBox.h"

#include <QDateTime>
#include <QFile>
#include <QtEndian>
#include <sys/stat.h>

namespace platform {

class FileRegistryKey : public RegistryKey {
public:
    FileRegistryKey(FileRegistry& store, RegFile file, const QString& path, bool writable)
        : store_(store), file_(std::move(file)), path_(path), writable_(writable) {
        file_.key(path_);
    }

    bool valueExists(const QString& name) const override {
        return const_cast<FileRegistryKey*>(this)->key().find(name) != nullptr;
    }
    bool queryValue(const QString& name, RegValue& value) const override {
        const RegValue* v = const_cast<FileRegistryKey*>(this)->key().find(name);
        if (!v)
            return false;
        value = *v;
        return true;
    }
    void writeString(const QString& name, const QString& text) override {
        set(RegValue::string(name, text));
    }
    void writeInteger(const QString& name, qint32 value) override {
        set(RegValue::dword(name, static_cast<quint32>(value)));
    }
    void writeBinary(const QString& name, const QByteArray& bytes) override {
        set(RegValue::binary(name, bytes));
    }
    bool deleteValue(const QString& name) override {
        const bool removed = key().remove(name);
        dirty_ = dirty_ || removed;
        return removed;
    }
    bool close() override {
        if (!dirty_)
            return true;
        dirty_ = false;
        if (!writable_) {
            store_.lastError_ = QStringLiteral("The store could not be read, so it is not written");
            return false;
        }
        if (!writeFileAtomically(store_.path_, file_.serialize(), 0600, &store_.lastError_))
            return false;
        store_.remember(file_);
        return true;
    }

private:
    RegKey& key() { return file_.key(path_); }
    void set(const RegValue& v) {
        key().set(v);
        dirty_ = true;
    }

    FileRegistry& store_;
    RegFile file_;
    QString path_;
    bool writable_;
    bool dirty_ = false;
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

void FileRegistry::remember(const RegFile& file) {
    Snapshot stamp;
    if (!fileStamp(stamp)) {
        cache_ = Snapshot{};
        return;
    }
    stamp.file = file;
    cache_ = std::move(stamp);
}

std::unique_ptr<RegistryKey> FileRegistry::openKey(const QString& path) {
    RegFile file;
    Snapshot stamp;
    // Another copy that saved since has replaced the file, and with it the stamp.
    if (cache_.mtimeNs >= 0 && fileStamp(stamp) && stamp.inode == cache_.inode &&
        stamp.size == cache_.size && stamp.mtimeNs == cache_.mtimeNs)
        return std::make_unique<FileRegistryKey>(*this, cache_.file, path, true);
    QFile f(path_);
    if (!f.exists())
        return std::make_unique<FileRegistryKey>(*this, file, path, true);
    if (!f.open(QIODevice::ReadOnly)) {
        lastError_ = f.errorString();
        return std::make_unique<FileRegistryKey>(*this, file, path, false);
    }
    const QByteArray bytes = f.readAll();
    f.close();
    QString why;
    if (RegFile::parse(bytes, file, &why)) {
        remember(file);
        return std::make_unique<FileRegistryKey>(*this, file, path, true);
    }

    // Never overwrite what could not be read: keep it beside and start afresh.
    const QString kept =
        path_ + QStringLiteral(".corrupt-") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    const bool moved = QFile::rename(path_, kept);
    messageBox(moved ? QStringLiteral("The settings file %1 could not be read (%2). It was kept "
                                      "as %3; Korvan starts with default settings.")
                           .arg(path_, why, kept)
                     : QStringLiteral("The settings file %1 could not be read (%2). Korvan "
                                      "starts with default settings and will not overwrite it.")
                           .arg(path_, why),
               QStringLiteral("Korvan"), MsgIcon::Warning, MsgButtons::Ok);
    return std::make_unique<FileRegistryKey>(*this, RegFile{}, path, moved);
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
    return writeFileAtomically(path_, wanted, 0644, nullptr, false);
}

bool XdgAutostart::disable() {
    QFile entry(path_);
    return !entry.exists() || entry.remove();
}

} // namespace platform
