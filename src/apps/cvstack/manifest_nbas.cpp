// 'NBAs' resources of a manifest: the record a stack keeps for each NBA plug-in it calls.
#include "apps/cvstack/manifest.h"

#include "core/byte_order.h"
#include "media/nba/nba_manager.h"

namespace cv::tool {

Bytes buildNBARecord(const QJsonObject& r) {
    PluginResources res;
    res.fileName = manifestBytes(r["library"].toString());
    res.shortName = manifestBytes(r["short_name"].toString(r["name"].toString()));
    res.aboutText = manifestBytes(r["about"].toString());
    res.aboutFlags = uint16_t(r["about_flags"].toInt(0));
    res.nbaId = uint16_t(r["id"].toInt(0));
    if (res.fileName.empty() || res.fileName.size() > 255) throw ManifestError("an NBA's library name must have 1 to 255 characters");
    if (res.aboutText.find('/') != std::string::npos) throw ManifestError("an NBA's about text cannot hold '/'");
    const Handle h = MakeNBARecord(res);
    if (!h) throw ManifestError("out of memory");
    Bytes out(memRefs().data(h), memRefs().data(h) + GetHandleSize(h));
    DisposeHandle(h);
    storeBE32(out.data() + nbarec::kDataWord, uint32_t(r["data_word"].toInteger(0)));
    return out;
}

} // namespace cv::tool
