#pragma once

#include "OVError.h"
#include "OVFileDescriptor.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <sys/types.h>

/**
 * The file-system calls of the local store, straight on POSIX so that a failure comes back as the
 * system reported it: domain "NSPOSIXErrorDomain", the errno value as code, and the system's text
 * with the path as description. Stateless and thread-safe.
 */
class OVFileSystem {
public:
    static const QString kPOSIXErrorDomain;

    /**
     * Who may read what is created: the store holds an account's recordings, so only its owner
     * (directories 0700, files 0600); exported bags are the user's to share, so the umask decides.
     */
    enum class Access { OwnerOnly, AsUmask };

    static OVError errorFromErrno(int errorNumber, const QString& path);

    /** Creates the directory and every missing parent; an existing directory is fine. */
    static bool createDirectory(const QString& path, OVError* error, Access access = Access::OwnerOnly);
    /** Takes every permission of group and others off an existing file or directory. */
    static bool restrictToOwner(const QString& path, OVError* error);
    static bool fileExists(const QString& path);
    static bool isDirectory(const QString& path);
    /** Size of a regular file; a missing or unreadable file counts as 0. */
    static qint64 fileSize(const QString& path);
    /** Entry names in the order the directory lists them, without "." and "..". */
    static std::optional<QStringList> contentsOfDirectory(const QString& path, OVError* error);
    /** Removes a file, or a directory with everything in it; a missing item is an error (ENOENT). */
    static bool removeItem(const QString& path, OVError* error);
    /** Copies a regular file to a path that must not exist yet (EEXIST otherwise), a chunk at a time. */
    static bool copyItem(const QString& source, const QString& destination, OVError* error,
                         Access access = Access::OwnerOnly);
    /**
     * Gives the file a second name that must not exist yet (EEXIST otherwise), without reading it:
     * replacing the first name later leaves the bytes under the second.
     */
    static bool linkItem(const QString& source, const QString& destination, OVError* error);
    /**
     * Replaces the file as a whole: writes a temporary file beside it, flushes it to disk, renames
     * it over the target and flushes the directory, so a reader sees the old or the new file only.
     */
    static bool writeAtomically(const QString& path, const QByteArray& data, OVError* error,
                                Access access = Access::OwnerOnly);
    /**
     * A new empty file beside path, named "<path>.<random>", open for writing; its name in
     * *temporaryName. Invalid, with the error, when none could be made.
     */
    static OVFileDescriptor createTemporaryBeside(const QString& path, QByteArray* temporaryName,
                                                  OVError* error, Access access = Access::OwnerOnly);
    /** Whether name is one createTemporaryBeside gives for a file named targetName (".corrupted" is not). */
    static bool isTemporaryName(const QString& name, const QString& targetName);
    /** Reads a whole regular file of at most maxSize bytes; a larger one fails with EFBIG, a pipe or device
     * with EINVAL. */
    static std::optional<QByteArray> readFile(const QString& path, qint64 maxSize, OVError* error);
    /** readFile of a file opened with openRegularFileBeneath. */
    static std::optional<QByteArray> readFileBeneath(const QString& directory, const QString& relativePath,
                                                     qint64 maxSize, OVError* error);
    /**
     * Opens for reading the regular file at relativePath ("a/b") inside directory, following no
     * symbolic link on the way and never waiting on a pipe: a link fails with ELOOP or ENOTDIR, an
     * empty, "." or ".." name and anything but a regular file with EINVAL. Invalid on failure.
     */
    static OVFileDescriptor openRegularFileBeneath(const QString& directory, const QString& relativePath,
                                                   OVError* error);
    /** Reads the open file a chunk at a time, at most maxBytes in all, handing each chunk to consumer. */
    static bool readChunks(int fd, qint64 maxBytes, qint64 chunkSize,
                           const std::function<void(QByteArrayView)>& consumer, const QString& path,
                           OVError* error);
    /** Creates the file empty when it is missing, then appends the bytes at its end, whole or not at all. */
    static bool appendToFile(const QString& path, const QByteArray& data, OVError* error,
                             Access access = Access::OwnerOnly);
    /**
     * Appends the bytes at the end of the open file, whole or not at all: a write cut short (a full
     * disk) is cut back to where the file ended.
     */
    static bool appendWhole(int fd, const QByteArray& data, const QString& path, OVError* error);

    /** write(2) until every byte is out, retrying interrupted and short writes. */
    static bool writeAll(int fd, const char* data, qint64 size, const QString& path, OVError* error);

private:
    static std::optional<QByteArray> readRegularFile(int fd, qint64 maxSize, const QString& path,
                                                     OVError* error);
    static mode_t fileMode(Access access);
    static mode_t directoryMode(Access access);
};
