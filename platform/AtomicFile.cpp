#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {
bool failWith(QString* error, const QString& what) {
    if (error)
        *error = what;
    return false;
}

// The system's reason ("File too large", "No space left on device") where there is one:
// QFile only knows that the write failed.
QString reason(const QFileDevice& file) {
    return errno ? QString::fromLocal8Bit(std::strerror(errno)) : file.errorString();
}

QString systemReason() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The file that a write to path replaces. Korvan reads a link's target itself (the rename
// below would replace the link), so the kernel's protection of links in shared folders
// (fs.protected_symlinks) never applies: a link is followed only when it is the user's own.
// A link on the way to the file that the kernel's protection would refuse to follow: one in
// a shared folder (sticky and writable by all, such as /tmp) that belongs neither to the
// user nor to the folder's owner. Empty when there is none.
QString foreignFolderLink(const QString& file) {
    const QStringList parts =
        QFileInfo(file).absolutePath().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString walked;
    for (const QString& part : parts) {
        QString next = walked + QLatin1Char('/') + part;
        struct stat link {
        }, folder{};
        if (::lstat(QFile::encodeName(next).constData(), &link) != 0)
            return {};
        if (S_ISLNK(link.st_mode)) {
            const QString parent = walked.isEmpty() ? QStringLiteral("/") : walked;
            if (::stat(QFile::encodeName(parent).constData(), &folder) == 0 &&
                (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH) &&
                link.st_uid != ::geteuid() && link.st_uid != folder.st_uid)
                return next;
            walked = QFileInfo(next).canonicalFilePath();
            if (walked.isEmpty())
                return {};
            if (walked == QLatin1String("/"))
                walked.clear();
        } else {
            walked = next;
        }
    }
    return {};
}

bool replacedFile(const QString& path, QString* target, QString* error) {
    QString current = QFileInfo(path).absoluteFilePath();
    const QString link = foreignFolderLink(current);
    if (!link.isEmpty())
        return failWith(error, QStringLiteral("Korvan does not write %1: the way to it passes "
                                              "through %2, a symbolic link in a shared folder "
                                              "that belongs to another user. Choose another "
                                              "folder.")
                                   .arg(current, link));
    for (int hops = 0; hops < 32; ++hops) {
        struct stat st {};
        if (::lstat(QFile::encodeName(current).constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *target = current;
            return true;
        }
        if (st.st_uid != ::geteuid())
            return failWith(error, QStringLiteral("Korvan does not write %1: it is a symbolic "
                                                  "link that belongs to another user, so it "
                                                  "could lead to any of your files. Choose "
                                                  "another name, or remove the link.")
                                       .arg(current));
        current = QFileInfo(current).symLinkTarget();
    }
    return failWith(error, QStringLiteral("Cannot write %1: too many symbolic links").arg(path));
}
} // namespace

mode_t currentUmask() {
    // Linux tells it in /proc; umask() can only read it by setting it, for the whole
    // process, and a file another thread created meanwhile would get the wrong mode.
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            if (!line.startsWith("Umask:"))
                continue;
            bool ok = false;
            const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
            if (ok)
                return static_cast<mode_t>(mask & 0777);
        }
    }
    // Set narrow for that moment, so that a file made meanwhile is too private, not too open.
    const mode_t mask = ::umask(077);
    ::umask(mask);
    return mask;
}

bool makePrivateFolders(const QString& folder) {
    const QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    QString path;
    for (const QString& part : clean.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path += QLatin1Char('/') + part;
        const QByteArray name = QFile::encodeName(path);
        struct stat st {};
        if (::stat(name.constData(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                return false;
            continue;
        }
        if (errno != ENOENT)
            return false;
        // Another copy may make the same folder at the same moment.
        if (::mkdir(name.constData(), 0700) != 0 &&
            (errno != EEXIST || ::stat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode)))
            return false;
    }
    return true;
}

bool createPrivateFile(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

AtomicFileWriter::AtomicFileWriter(const QString& path, int mode, Sync sync)
    : linkPath_(path), mode_(mode), sync_(sync) {}

AtomicFileWriter::~AtomicFileWriter() {
    cancel();
}

bool AtomicFileWriter::open(QString* error) {
    cancel();
    if (!replacedFile(linkPath_, &path_, error))
        return false;
    folder_ = QFileInfo(path_).absolutePath();
    if (!makePrivateFolders(folder_))
        return failWith(error, QStringLiteral("Cannot create folder ") + folder_);
    // The old file's mode, or the user's umask for a new file, unless a mode is asked for.
    mode_t mode = static_cast<mode_t>(mode_);
    if (mode_ == kModeAsUsual) {
        struct stat st {};
        mode = ::stat(QFile::encodeName(path_).constData(), &st) == 0 ? (st.st_mode & 0777)
                                                                      : (0666 & ~currentUmask());
    }
    // A temporary file beside the old one, renamed over it once complete: readers see the
    // old content or the new, never a mix. QTemporaryFile makes it 0600, and it only ever
    // gets the final mode: QSaveFile would make a new file's temporary file readable by
    // all (0644 with the usual umask) until its mode was set, long enough for another user
    // to open it and read what is written later.
    file_ = std::make_unique<QTemporaryFile>(path_ + QStringLiteral(".XXXXXX"));
    if (!file_->open()) {
        const QString why = file_->errorString();
        file_.reset();
        return failWith(error, QStringLiteral("Cannot write to folder %1: %2").arg(folder_, why));
    }
    if (::fchmod(file_->handle(), mode) != 0) {
        cancel();
        return failWith(error, QStringLiteral("Cannot set the mode of %1").arg(path_));
    }
    failure_.clear();
    return true;
}

bool AtomicFileWriter::write(const QByteArray& bytes) {
    if (!file_ || !failure_.isEmpty())
        return false;
    errno = 0;
    if (file_->write(bytes) != bytes.size())
        failure_ = reason(*file_);
    return failure_.isEmpty();
}

bool AtomicFileWriter::commit(QString* error) {
    if (!file_)
        return failWith(error, QStringLiteral("Cannot write %1: it was not opened").arg(path_));
    errno = 0;
    if (failure_.isEmpty() &&
        (!file_->flush() || (sync_ != Sync::Nothing && ::fsync(file_->handle()) != 0)))
        failure_ = reason(*file_);
    if (!failure_.isEmpty()) {
        const QString why = failure_;
        cancel();
        return failWith(error, QStringLiteral("Cannot write %1: %2").arg(path_, why));
    }
    file_->close();
    if (std::rename(QFile::encodeName(file_->fileName()).constData(),
                    QFile::encodeName(path_).constData()) != 0) {
        const QString why = systemReason();
        cancel();
        return failWith(error, QStringLiteral("Cannot write %1: %2").arg(path_, why));
    }
    // Its name is the final file's now.
    file_->setAutoRemove(false);
    file_.reset();
    // The rename itself reaches the disk with the folder.
    if (sync_ == Sync::All) {
        const int dir =
            ::open(QFile::encodeName(folder_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    return true;
}

void AtomicFileWriter::cancel() {
    file_.reset(); // the temporary file goes with it
}

bool writeFileAtomically(const QString& path, const QByteArray& content, int mode, QString* error,
                         Sync sync) {
    AtomicFileWriter file(path, mode, sync);
    if (!file.open(error))
        return false;
    file.write(content);
    return file.commit(error);
}

} // namespace platform
