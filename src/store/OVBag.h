#pragma once

#include "OVError.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

/**
 * The BagIt packaging format (version 1.0) as the export writes and checks it: a bag is a
 * directory with "bagit.txt", a payload under "data/", "manifest-sha256.txt" listing every payload
 * file with its SHA-256, "bag-info.txt" (Payload-Oxum and the bag's identity) and
 * "tagmanifest-sha256.txt" over the tag files. Checking opens only regular files inside the bag:
 * a link, a pipe or a device where a file should be is a fault, never followed or waited on.
 * Stateless; safe on any thread.
 */
class OVBag {
public:
    static const QString kDeclarationFileName;
    static const QString kPayloadManifestFileName;
    static const QString kTagManifestFileName;
    static const QString kInfoFileName;

    /** A payload file as it goes into the manifest: its path in the bag, SHA-256 (hex) and size. */
    struct PayloadFile {
        QString path;
        QByteArray sha256;
        qint64 size = 0;
    };
    using Payload = QList<PayloadFile>;

    /** Writes the tag files of a bag whose payload is already in bagPath/data. */
    static bool writeTagFiles(const QString& bagPath, const Payload& payload,
                              const QString& externalIdentifier, OVError* error);

    /** What is wrong with the bag at bagPath, one line per fault; empty when the bag is whole. */
    static QStringList verify(const QString& bagPath);

    /** Whether path is a bag's directory (it has the declaration). */
    static bool isBag(const QString& path);

private:
    /**
     * SHA-256 (hex) of the regular file at path inside the bag, read a chunk at a time and no further
     * than its size when opened; empty with the error when it is not one (a link, a pipe) or cannot be read.
     */
    static QByteArray sha256Beneath(const QString& bagPath, const QString& path, OVError* error);
    /** Whether data/ is a directory of the bag itself, not a link to one elsewhere. */
    static bool hasPayloadDirectory(const QString& bagPath);
    /** A manifest's lines as (path, checksum); the faults of malformed lines go to problems. */
    static QList<QPair<QString, QByteArray>> readManifest(const QString& bagPath, const QString& name,
                                                          QStringList* problems);
    static QStringList payloadFiles(const QString& bagPath);
};
