#pragma once

#include <QSet>
#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>

/**
 * The sessions whose data file a page storer is writing or checking, process-wide. A page storer of a
 * replaced or cancelled run may still be closing its pass when a newer run's page storer starts on the
 * same session; holding the claim for the whole pass means no two of them ever append to one data file.
 * Any thread.
 */
class OVSessionWriteClaims {
public:
    static OVSessionWriteClaims& shared();

    /** The claim's name for a session: its device serial and start. */
    static QString keyFor(const QString& serial, double startSeconds);
    /**
     * Waits until nobody holds key, then holds it; answers false, holding nothing, once giveUp
     * answers true (it is asked every few milliseconds while waiting).
     */
    bool claim(const QString& key, const std::function<bool()>& giveUp);
    void release(const QString& key);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    QSet<QString> m_claimed;
};
