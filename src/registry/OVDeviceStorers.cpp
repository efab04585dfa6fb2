#include "OVDeviceStorers.h"

#include "OVMainThread.h"
#include "OVSessionStorer.h"

using Lock = std::lock_guard<std::mutex>;

void OVDeviceStorers::put(const QString& serial, const std::shared_ptr<OVSessionStorer>& storer) {
    std::shared_ptr<OVSessionStorer> replaced;
    {
        Lock lock(m_mutex);
        replaced = m_storers.value(serial);
        m_storers.insert(serial, storer);
    }
    // Its end (a failure, when its list was never answered) would otherwise end the new run too:
    // the fetch-status report names the device, not the storer.
    if (replaced)
        replaced->endReports();
    releaseLater(std::move(replaced));
}

void OVDeviceStorers::releaseIfOver(const QString& serial) {
    std::shared_ptr<OVSessionStorer> storer;
    {
        Lock lock(m_mutex);
        const auto found = m_storers.constFind(serial);
        if (found != m_storers.constEnd() && found.value()->isRunOver())
            storer = m_storers.take(serial);
    }
    releaseLater(std::move(storer));
}

std::shared_ptr<OVSessionStorer> OVDeviceStorers::value(const QString& serial) const {
    Lock lock(m_mutex);
    return m_storers.value(serial);
}

QList<std::shared_ptr<OVSessionStorer>> OVDeviceStorers::values() const {
    Lock lock(m_mutex);
    return m_storers.values();
}

bool OVDeviceStorers::isEmpty() const {
    Lock lock(m_mutex);
    return m_storers.isEmpty();
}

void OVDeviceStorers::releaseLater(std::shared_ptr<OVSessionStorer> storer) {
    // The last reference may be dropped from inside the storer's own call (its fetch-status
    // notification); it ends on the main thread, after that call has returned.
    if (storer)
        OVMainThread::async([storer = std::move(storer)]() mutable { storer.reset(); });
}
