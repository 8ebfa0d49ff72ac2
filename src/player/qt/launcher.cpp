// Starting programs and opening documents on this desktop.
#include "player/qt/launcher.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QUrl>

#include "player/media_hooks.h"

namespace cv {

namespace {
QString hostPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
} // namespace

bool launchProgram(const std::string& program, const std::string& document) {
    const QFileInfo doc(hostPath(document));
    if (!program.empty()) {
        // Always by its full path: a bare name would be looked for along PATH, which would
        // start some other program of that name.
        const QFileInfo exe(hostPath(program));
        if (!exe.isFile()) return false;
        QStringList arguments;
        if (!document.empty()) arguments << doc.absoluteFilePath();
        return QProcess::startDetached(exe.absoluteFilePath(), arguments);
    }
    // The desktop would report a missing file only to the person, after saying it started.
    if (document.empty() || !doc.isFile()) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(doc.absoluteFilePath()));
}

void installLauncher(MediaHooks& media) { media.launch = launchProgram; }

} // namespace cv
