#pragma once

#include <QString>

/** One release offered by an appcast feed. */
class SUAppcastItem {
public:
    QString title;
    /** The build version the release carries ("sparkle:version"). */
    QString versionString;
    /** The version shown to people ("sparkle:shortVersionString"); the build version when absent. */
    QString displayVersionString;
    QString fileURL;
    qint64 contentLength = 0;

    /** "%@ (%@)": display version, download URL. */
    QString description() const;
};
