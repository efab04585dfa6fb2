#pragma once

#include "OVError.h"
#include "OVFileSystem.h"

#include <QByteArray>
#include <QList>
#include <QString>

/**
 * Replaces many files, each as a whole, with one flush to disk for all of them where
 * OVFileSystem::writeAtomically flushes once per file:
 *
 *   1. every new content goes to a temporary file beside its target ("<target>.<random>");
 *   2. the file systems holding them are flushed once each (syncfs);
 *   3. each temporary file is renamed over its target;
 *   4. the file systems are flushed once more, so that the renames, and any directory made for a
 *      target, are on disk too.
 *
 * A crash at any point leaves every target with its old content or its new one, never a mix and
 * never absent; what it can leave behind are temporary files, which readers do not look at and the
 * storage cleaner removes. When commit returns, every file it reports replaced is on disk, as after
 * writeAtomically. Where a file system's flush reports an error, its files are flushed one by one
 * (and their directories after the renames), so a failure costs only the files it touched.
 *
 * Not thread-safe; a batch is filled and committed on one thread. Directories are not created.
 */
class OVFileWriteBatch {
public:
    explicit OVFileWriteBatch(OVFileSystem::Access access = OVFileSystem::Access::OwnerOnly)
        : m_access(access) {}

    /** Adds the whole new content of the file at path; a later add of the same path is written after it. */
    void add(const QString& path, const QByteArray& data);
    int count() const { return int(m_files.size()); }

    /**
     * Writes every file added and empties the batch. A file that cannot be written keeps its old
     * content and does not stop the others; false, with the first failure in *error, when any failed.
     */
    bool commit(OVError* error);

private:
    struct File {
        QString path;
        QByteArray data;
        QByteArray temporary;
        dev_t device = 0;
        bool failed = false;
    };

    void writeTemporary(File& file, OVError* error);
    /** syncfs on each file system holding a file not failed; answers those whose flush failed. */
    QList<dev_t> flushFileSystems() const;
    void flushTemporaries(OVError* error);
    void renameIntoPlace(File& file, OVError* error);
    void flushRenames(OVError* error);
    void fail(File& file, const OVError& failure, OVError* error);

    OVFileSystem::Access m_access;
    QList<File> m_files;
};
