// The player's sounds: the action runner's sound steps, its waits and leaving a card reach
// the sound list through the media hooks.
#include "media/sound_manager.h"
#include "player/player.h"

namespace cv {

void installSounds(Player& player, SoundManager& sounds) {
    MediaHooks& media = player.media;
    // The values an action carries are its level (at 4) and its option flags (at 24).
    media.stopSound = [&sounds] { sounds.StopSounds(false); };
    media.playStackSound = [&sounds](uint16_t id, uint16_t level, uint16_t options) {
        sounds.PlayStoredSound(id, int16_t(options), level);
        return true;
    };
    media.playSoundFile = [&sounds](const std::string& path, uint16_t level, uint16_t options) {
        sounds.PlaySoundFile(path, int16_t(options), level);
        return true;
    };
    media.soundDone = [&sounds](uint16_t) { return !sounds.IsSoundPlaying(); };
    media.anySoundPlaying = [&sounds] { return sounds.IsSoundPlaying(); };
    // Other media keep their own parts of these two.
    media.stopAll = [&sounds, next = media.stopAll] {
        if (next) next();
        sounds.StopSounds(true);
    };
    media.step = [&sounds, next = media.step] {
        if (next) next();
        sounds.MediaIdle();
    };
    // Every pass of timer 1 gives the sounds their idle call, waiting or not, so that sounds
    // that ended are collected (one a pass, as a query collects them) while the player idles.
    player.timerHandler = [&sounds, next = std::move(player.timerHandler)] {
        if (next) next();
        sounds.IsSoundPlaying();
    };
}

} // namespace cv
