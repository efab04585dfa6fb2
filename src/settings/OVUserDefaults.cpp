#include "OVUserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// The native format of Linux is an INI file, ${XDG_CONFIG_HOME:-~/.config}/Pellwick/OvServices.conf.
QSettings openStore() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Pellwick"),
                     QStringLiteral("OvServices"));
}

// QSettings writes through QSaveFile, which keeps the permissions of the file it replaces: a file
// that starts at 0600 stays so, and the password never sits in a world-readable file, even briefly.
void makePrivateFile() {
    const QString path = OVUserDefaults::filePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd >= 0)
        ::close(fd);
    QFile::setPermissions(path, kOwnerOnly);
}

} // namespace

QString OVUserDefaults::filePath() {
    return openStore().fileName();
}

QVariant OVUserDefaults::objectForKey(const QString& key) {
    return openStore().value(key);
}

void OVUserDefaults::setObject(const QVariant& value, const QString& key) {
    makePrivateFile();
    QSettings store = openStore();
    store.setValue(key, value);
}

void OVUserDefaults::removeObjectForKey(const QString& key) {
    makePrivateFile();
    QSettings store = openStore();
    store.remove(key);
}

void OVUserDefaults::synchronize() {
    QSettings store = openStore();
    store.sync();
    if (QFile::exists(store.fileName()))
        QFile::setPermissions(store.fileName(), kOwnerOnly);
}
