// Extras: the installed list, the menu, running an Extra, closing them all; the manager's form.
#include "media/extras/extras.h"

#include <cstring>
#include <filesystem>

#include "core/alerts.h"
#include "core/byte_order.h"
#include "core/host_path.h"
#include "core/references.h"
#include "core/settings.h"
#include "core/ui.h"
#include "core/text_encoding.h"
#include "media/nba/nba_manager.h"
#include "resources/strings.h"

namespace cv {

namespace fs = std::filesystem;

namespace {

std::string extrasSection() { return loadString(2526).value_or("ExtraIDs"); }

std::optional<std::string> findExtra(const std::vector<std::string>& folders, const std::string& name) {
    const std::string file = pluginFileNamePart(name);
    if (file.empty() || file == "." || file == "..") return std::nullopt;
    for (const std::string& folder : folders) {
        const auto found = findNoCase(folder, file);
        std::error_code ec;
        if (found && fs::is_regular_file(*found, ec)) return found;
    }
    return std::nullopt;
}

} // namespace

std::optional<ExtraList> LoadExtrasList(const ExtrasEnvironment& env) {
    ExtraList list;
    const std::string section = extrasSection();
    for (int key = 1; key <= kLastExtraCommand - kFirstExtraCommand + 1; ++key) {
        const auto name = settings().find(section, std::to_string(key));
        if (!name) break;  // the list ends at the first missing key
        if (const auto path = findExtra(env.folders, cp1252ToUtf8(*name))) list.entries.push_back(ExtraEntry{*path, {}, nullptr, 0});
    }
    if (list.entries.empty()) return std::nullopt;
    return list;
}

Extras::Extras(PluginLoader& loader, ExtrasEnvironment env, NativeBlock& block)
    : loader_(loader), env_(std::move(env)), block_(block) {}

Extras::~Extras() { CloseExtras(); }

int32_t Extras::send(ExtraEntry&, PluginLibrary& lib, uint16_t message,
                     const std::function<void(script::NBAParamBlock&)>& setup) {
    script::NBAParamBlock& b = block_.block;
    b.bytes.fill(0);
    uint8_t* d = b.bytes.data();
    storeLE16(d + NBA_OFF_VERSION, NBA_BLOCK_VERSION);
    storeLE16(d + NBA_OFF_COMMAND, message);
    storeLE32(d + NBA_OFF_MODULE, nextModule_++);
    block_.host = env_.hostTable ? env_.hostTable(b) : nullptr;
    storeLE32(d + NBA_OFF_CALLBACK, block_.host ? 1u : 0u);
    if (setup) setup(b);
    ++running_;
    const int32_t answer = lib.call(block_);
    --running_;
    return answer;
}

void Extras::reload() {
    if (running_ > 0) {
        reloadPending_ = true;
        return;
    }
    reloadPending_ = false;
    CloseExtras();
    list_ = LoadExtrasList(env_);
    BuildExtrasMenu();
}

std::vector<std::pair<int, std::string>> Extras::BuildExtrasMenu() {
    menu_.clear();
    if (!list_) return menu_;
    for (size_t i = 0; i < list_->entries.size(); ++i) {
        ExtraEntry& e = list_->entries[i];
        e.menuId = 0;
        std::shared_ptr<PluginLibrary> lib = e.library;
        if (!lib) lib = loader_.load(e.path, nullptr);  // a file that is no library gets no item
        if (!lib || !lib->hasEntry()) continue;
        const Handle title = NewReference(kExtraTitleSize);
        if (!title) continue;
        const int32_t answer = send(e, *lib, NBA_MSG_PARAM, [title](script::NBAParamBlock& b) {
            b.setParam(1, kExtraTitleSize - 1);
            b.setParam(2, uint32_t(title));
        });
        const auto bytes = ReferenceBytes(title);
        DisposeReference(title);
        if (answer != 0 || !bytes) continue;
        e.title = bytes->substr(0, std::min(bytes->find('\0'), kExtraTitleSize - 1));
        e.menuId = uint16_t(kFirstExtraCommand + i);
        menu_.emplace_back(e.menuId, e.title);
    }
    if (reloadPending_ && running_ == 0) reload();
    return menu_;
}

bool Extras::HandleExtrasCommand(int id) {
    if (id == kExtraManagerCommand) {
        if (manager) manager();
        return true;
    }
    if (id < kFirstExtraCommand || id > kLastExtraCommand) return false;
    if (!list_) return true;
    for (ExtraEntry& e : list_->entries) {
        if (e.menuId != id) continue;
        std::shared_ptr<PluginLibrary> lib = e.library;
        if (!lib) lib = loader_.load(e.path, nullptr);
        if (!lib) {
            showAlert(2241);
            return true;
        }
        const uint32_t window = env_.frameWindow ? env_.frameWindow() : 0;
        const int32_t answer = send(e, *lib, NBA_MSG_RUN, [window](script::NBAParamBlock& b) {
            storeLE32(b.bytes.data() + NBA_OFF_FRAME_WINDOW, window);
        });
        // 0: it stays loaded until the Extras close; anything else frees it now.
        e.library = answer == 0 ? lib : nullptr;
        if (reloadPending_) reload();
        return true;
    }
    return true;
}

void Extras::CloseExtras() {
    if (!list_) return;
    for (ExtraEntry& e : list_->entries) {
        if (!e.library) continue;
        const std::shared_ptr<PluginLibrary> lib = std::move(e.library);
        send(e, *lib, NBA_MSG_CLOSE);
    }
}

// ---- The Extra Manager ----

ExtraManagerForm::ExtraManagerForm(std::vector<std::string> folders, std::string userFolder)
    : folders_(std::move(folders)), userFolder_(std::move(userFolder)) {
    ExtrasEnvironment env;
    env.folders = folders_;
    if (const auto list = LoadExtrasList(env))
        for (const ExtraEntry& e : list->entries) paths_.push_back(e.path);
}

bool ExtraManagerForm::add(const std::string& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        showAlertText("44Sorry, I can't find that file.~^OK");
        return false;
    }
    if (paths_.size() >= size_t(kLastExtraCommand - kFirstExtraCommand + 1)) return false;
    // The list keeps file names only: an Extra outside the Extras folders is copied into the
    // user's one.
    std::string target = path;
    const std::string name = fs::path(path).filename().string();
    const auto listed = findExtra(folders_, name);
    if (!listed || !fs::equivalent(*listed, path, ec)) {
        fs::create_directories(userFolder_, ec);
        target = (fs::path(userFolder_) / name).string();
        if (!fs::copy_file(path, target, fs::copy_options::overwrite_existing, ec)) {
            showAlertText("44Sorry, the Extra could not be copied into the Extras folder.~^OK");
            return false;
        }
    }
    for (const std::string& p : paths_)
        if (fs::equivalent(p, target, ec)) return true;
    paths_.push_back(target);
    return true;
}

bool ExtraManagerForm::remove(size_t index) {
    if (index >= paths_.size()) return false;
    if (showAlert(2330, false, true) != kAnswerFirst) return false;
    paths_.erase(paths_.begin() + std::ptrdiff_t(index));
    return true;
}

void ExtraManagerForm::done() {
    const std::string section = extrasSection();
    settings().removeSection(section);
    int key = 1;
    for (const std::string& p : paths_)
        settings().set(section, std::to_string(key++), utf8ToCp1252(fs::path(p).filename().string()));
}

} // namespace cv
