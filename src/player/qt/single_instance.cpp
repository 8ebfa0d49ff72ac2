// The single-player rule.
#include "player/qt/single_instance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

namespace cv {

namespace {
// A request is one line: the stack's path, percent-encoded. Longer lines are no request of ours.
constexpr qint64 kMaxRequest = 8192;
// A connection that says nothing is dropped after this long.
constexpr int kRequestTimeoutMs = 5000;
} // namespace

SingleInstance::SingleInstance(const QString& key, const QString& folder) {
    QString dir = folder;
    if (dir.isEmpty()) dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    QDir().mkpath(dir);
    const QString base = QDir(dir).filePath("corvella-" + key);
    lock_ = std::make_unique<QLockFile>(base + ".lock");
    lock_->setStaleLockTime(0); // only a lock whose process has gone is stale
    serverName_ = base + ".socket";
}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
    if (lock_) lock_->unlock();
}

bool SingleInstance::becomeFirst() {
    if (!lock_->tryLock(0)) return false;
    // The lock is ours, so any socket left there belongs to a player that has gone.
    QLocalServer::removeServer(serverName_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QObject::connect(server_.get(), &QLocalServer::newConnection, this, [this] { accept(); });
    server_->listen(serverName_);
    return true;
}

void SingleInstance::accept() {
    while (QLocalSocket* s = server_->nextPendingConnection()) {
        QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        QTimer::singleShot(kRequestTimeoutMs, s, [s] { s->abort(); });
        QObject::connect(s, &QLocalSocket::readyRead, this, [this, s] {
            if (!s->canReadLine()) {
                if (s->bytesAvailable() > kMaxRequest) s->abort();
                return;
            }
            const QByteArray line = s->readLine(kMaxRequest).trimmed();
            s->write("OK\n");
            s->flush();
            s->disconnectFromServer();
            if (onRequest) onRequest(QByteArray::fromPercentEncoding(line).toStdString());
        });
    }
}

bool SingleInstance::askFirst(const std::string& stackPath, int timeoutMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    // The first player may hold the lock an instant before it listens.
    while (true) {
        QLocalSocket s;
        s.connectToServer(serverName_);
        if (s.waitForConnected(std::max(timeoutMs - static_cast<int>(elapsed.elapsed()), 1))) {
            // Percent-encoded, so that any byte of a path fits on the line.
            s.write(QByteArray::fromStdString(stackPath).toPercentEncoding() + "\n");
            s.flush();
            const bool answered = s.waitForReadyRead(std::max(timeoutMs - static_cast<int>(elapsed.elapsed()), 1)) &&
                                  s.readLine().startsWith("OK");
            s.disconnectFromServer();
            return answered;
        }
        if (elapsed.elapsed() >= timeoutMs) return false;
        QThread::msleep(50);
    }
}

} // namespace cv
