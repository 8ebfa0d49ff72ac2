#pragma once
// One player at a time: the first start holds a lock file in the user's runtime folder and
// listens on a local socket beside it; a later start asks the first to come forward (and to
// open the stack of its own command line) instead of running.
#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <functional>
#include <memory>
#include <string>

namespace cv {

class SingleInstance : public QObject {
public:
    // `key` names the lock and the socket ("CVW32"); `folder` holds them (empty: the user's
    // runtime folder).
    explicit SingleInstance(const QString& key = "CVW32", const QString& folder = {});
    ~SingleInstance() override;

    // Takes the lock and starts listening; false when another player holds it.
    bool becomeFirst();
    // Asks the running player to come forward and open `stackPath` (full, or empty for none).
    // True when it answered.
    bool askFirst(const std::string& stackPath, int timeoutMs = 3000);

    // A later start's request: the stack path it named (empty: only come forward).
    std::function<void(const std::string& stackPath)> onRequest;

    const QString& serverName() const { return serverName_; }

private:
    void accept();

    QString serverName_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
};

} // namespace cv
