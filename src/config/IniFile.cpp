#include "config/IniFile.h"

#include "config/IniText.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#else
#include <QDateTime>
#endif

namespace {

// What tells that a file changed since it was read: its size and times (to the
// nanosecond where the system keeps them) and, where there is one, its inode, which a
// rename over it replaces.
struct Stamp {
    qint64 size = -1;
    qint64 modified = 0;
    qint64 changed = 0;
    quint64 inode = 0;
    bool operator==(const Stamp& o) const {
        return size == o.size && modified == o.modified && changed == o.changed && inode == o.inode;
    }
};

Stamp stampOf(const QString& path) {
    Stamp s;
#ifdef Q_OS_UNIX
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return s;
    s.size = st.st_size;
    s.modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.changed = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    s.inode = st.st_ino;
#else
    const QFileInfo info(path);
    if (!info.exists())
        return s;
    s.size = info.size();
    s.modified = info.lastModified().toMSecsSinceEpoch();
    s.changed = info.metadataChangeTime().toMSecsSinceEpoch();
#endif
    return s;
}

struct CachedFile {
    Stamp stamp;
    QHash<QString, QString> values;
};

// Every settings file the process has read, by absolute path. The CRM's worker thread
// reads the settings too, hence the lock.
class ReadCache {
public:
    QHash<QString, QString> values(const QString& path) {
        const QString key = QFileInfo(path).absoluteFilePath();
        // A missing file has no stamp of its own and no values: it is never kept.
        const Stamp now = stampOf(key);
        QMutexLocker lock(&m_mutex);
        const auto found = m_files.constFind(key);
        if (found != m_files.cend() && found->stamp == now)
            return found->values;
        QFile file(key);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        CachedFile read{now, IniText::parsed(file.readAll())};
        if (m_files.size() >= 64)
            m_files.clear();
        m_files.insert(key, read);
        return read.values;
    }
    void forget(const QString& path) {
        QMutexLocker lock(&m_mutex);
        m_files.remove(QFileInfo(path).absoluteFilePath());
    }

private:
    QMutex m_mutex;
    QHash<QString, CachedFile> m_files;
};

ReadCache& readCache() {
    static ReadCache cache;
    return cache;
}

} // namespace

IniFile::IniFile(const QString& path) : m_values(readCache().values(path)) {}

bool IniFile::contains(const QString& sectionAndKey) const {
    return m_values.contains(sectionAndKey.toLower());
}

QString IniFile::value(const QString& sectionAndKey, const QString& fallback) const {
    return m_values.value(sectionAndKey.toLower(), fallback);
}

bool IniFile::write(const QString& path, const QString& section, const IniText::Values& values,
                    QString* error) {
    QByteArray before;
    QFile current(path);
    if (current.exists()) {
        if (!current.open(QIODevice::ReadOnly)) {
            if (error)
                *error = current.errorString();
            return false;
        }
        before = current.readAll();
        current.close();
    }
    const QByteArray after = IniText::updated(before, section, values);
    if (after == before && current.exists())
        return true;
    QSaveFile file(path);
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(after) == after.size() && file.commit();
    if (!written && error)
        *error = file.errorString();
    readCache().forget(path);
    return written;
}
