#pragma once

#include <QByteArray>
#include <QIODevice>

/**
 * A request body that can be sent only once. Qt's HTTP stack sends a request again on a new connection
 * when the first one ends without an answer, POST included; for a record creation the server may have
 * created the record before the connection broke, and a second copy would be a duplicate. Rewinding
 * after any byte was read fails, which makes Qt end the request with an error instead of repeating it.
 */
class OVSendOnceBody : public QIODevice {
    Q_OBJECT

public:
    explicit OVSendOnceBody(QByteArray data, QObject* parent = nullptr);

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_data.size(); }
    bool seek(qint64 pos) override;
    bool reset() override { return seek(0); }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const QByteArray m_data;
    qint64 m_position = 0;
    qint64 m_furthest = 0; // bytes handed out so far: never handed out twice
};
