// cvstack build MANIFEST.json -o OUT.stk: builds a stack from a JSON manifest.
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <cstdio>

#include "apps/cvstack/manifest.h"
#include "apps/cvstack/tool_support.h"
#include "apps/cvstack/verbs.h"
#include "core/ui.h"
#include "stack/stack_document.h"
#include "stack/stack_io.h"

namespace cv::tool {

namespace {
int runBuild(std::vector<std::string> args) {
    const std::string out = takeOption(args, "-o");
    if (args.size() != 1 || out.empty()) return usageError("usage: cvstack build MANIFEST.json -o OUT.stk");
    QFile f(QString::fromStdString(args[0]));
    if (!f.open(QIODevice::ReadOnly)) return usageError("cannot read " + args[0]);
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &err);
    if (doc.isNull() || !doc.isObject()) {
        std::fprintf(stderr, "cvstack: %s: %s at offset %d\n", args[0].c_str(),
                     err.errorString().toStdString().c_str(), err.offset);
        return 1;
    }
    routeAlertsToStderr();
    ManifestBuilder builder(QFileInfo(f).absolutePath());
    try {
        builder.build(doc.object());
    } catch (const ManifestError& e) {
        std::fprintf(stderr, "cvstack: %s: %s\n", args[0].c_str(), e.what());
        DisposeStack();
        return 1;
    }
    SaveOptions options;
    options.purge = false;
    const int r = SaveStack(out, options);
    DisposeStack();
    return r == 0 ? 0 : 1;
}
int runBuildVerb(const std::vector<std::string>& args) { return runBuild(args); }
VerbRegistration reg("build", runBuildVerb, "build MANIFEST.json -o OUT.stk   build a stack from a manifest");
} // namespace

} // namespace cv::tool
