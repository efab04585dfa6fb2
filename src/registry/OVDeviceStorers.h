#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <mutex>

class OVSessionStorer;

/**
 * The download in progress of each device, by serial. A storer taken out of it (replaced, or done)
 * is released on the main thread, since the last reference may go from inside the storer's own
 * call. Any thread; the lock is never held while calling a storer.
 */
class OVDeviceStorers {
public:
    /** Puts storer under serial; the one it replaces stops reporting and is released later. */
    void put(const QString& serial, const std::shared_ptr<OVSessionStorer>& storer);
    /**
     * Takes out the storer under serial when its run is over, and releases it later. A newer run that
     * took the serial is left alone: what an ended run posts never drops the run after it.
     */
    void releaseIfOver(const QString& serial);
    std::shared_ptr<OVSessionStorer> value(const QString& serial) const;
    QList<std::shared_ptr<OVSessionStorer>> values() const;
    bool isEmpty() const;

private:
    static void releaseLater(std::shared_ptr<OVSessionStorer> storer);

    /** Guards m_storers. */
    mutable std::mutex m_mutex;
    QHash<QString, std::shared_ptr<OVSessionStorer>> m_storers;
};
