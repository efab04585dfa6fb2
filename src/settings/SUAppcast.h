#pragma once

#include "OVError.h"
#include "SUAppcastItem.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

/** Reading a Sparkle-format appcast (an RSS 2.0 feed with Sparkle's namespace). Stateless. */
class SUAppcast {
public:
    static constexpr const char* kSparkleNamespace = "http://www.andymatuschak.org/xml-namespaces/sparkle";

    /** The feed's releases in feed order; none with errorText set when the feed is not well-formed XML. */
    static std::optional<QList<SUAppcastItem>> parse(const QByteArray& xml, OVError* error);
    /** Sparkle's ordering: numeric runs compare as numbers, other runs as text; <0, 0 or >0. */
    static int compareVersions(const QString& a, const QString& b);
    /** The release with the highest version above currentVersion, or none. */
    static std::optional<SUAppcastItem> bestUpdate(const QList<SUAppcastItem>& items,
                                                   const QString& currentVersion);
};
