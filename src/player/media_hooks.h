#pragma once
// What the action runner asks of the media subsystems (sounds, movies, animations, the
// videodisc, NBA plug-ins) and of the script interpreter. Until a subsystem is installed its
// hooks are empty and the step finds nothing to play, as when the stack lacks the action.
#include <QImage>
#include <QRect>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace cv {

namespace script {
struct NBAParamBlock;
}

struct MediaHooks {
    // Sounds: a stored 'Snd ' resource, or a file (host path). The two values are the
    // action's fields at 4 and 24.
    std::function<void()> stopSound;
    std::function<bool(uint16_t soundId, uint16_t value4, uint16_t value24)> playStackSound;
    std::function<bool(const std::string& path, uint16_t value4, uint16_t value24)> playSoundFile;
    std::function<bool(uint16_t ownerId)> soundDone;
    // Movies: the movie action (code 89) as stored, for its owner.
    std::function<bool(std::span<const uint8_t> action, const std::string& path, uint16_t ownerId)> startMovie;
    std::function<bool(uint16_t ownerId)> movieDone;
    // Animations: the description of an animation action (code 56) in its rectangle.
    std::function<bool(std::span<const uint8_t> action, uint16_t ownerId)> startAnimation;
    std::function<bool(uint16_t ownerId)> animationDone;
    // The videodisc segment of action 119.
    std::function<void(std::span<const uint8_t> action)> playVideodisc;
    std::function<void()> stopVideodisc;
    // NBA plug-ins: call with message 4 and the action's parameter data.
    std::function<bool(uint16_t nbaId, std::span<const uint8_t> data)> callNBA;
    std::function<bool()> nbaBusy;
    // Callback 67: another NBA called from inside a call, on the same block (id or name,
    // data Handle and message as the block holds them; the result is left in the block).
    std::function<void(script::NBAParamBlock& block)> callNBAFromBlock;
    // Stopping everything the card started (leaving a card).
    std::function<void()> stopAll;
    // Stopping the animations and movies a list started, once the list has waited for them.
    std::function<void()> stopAnimationsAndMovies;
    // A card was composed (picture and objects), before its transition: media its objects
    // show on it from the start (first frames of animations) are drawn into `composed`.
    std::function<void(QImage& composed)> showOnCard;
    // Each pass of a wait: the animation and movie steps.
    std::function<void()> step;
    // What scripts ask (DONEP): whether any movie, sound or frame animation is still playing.
    // Unset: nothing is.
    std::function<bool()> anyMoviePlaying;
    std::function<bool()> anySoundPlaying;
    std::function<bool()> anyAnimationPlaying;
    // When the media next want a step (clock milliseconds), or 0 when they need none sooner
    // than the next timer tick: a wait sleeps no longer than that.
    std::function<uint64_t()> nextStepMs;
    // Brings what the media show on the screen up to the clock's present (the frame of a
    // movie due now), before the screen is read back.
    std::function<void()> showDue;
    // Media that name their next step (nextStepMs) and run while no list waits for them call
    // this once they start: on the real clock the player then gives them the wait's step at
    // the times they name while it idles, rather than only on timer 1's ticks.
    std::function<void()> pace;

    // The script interpreter: runs script text (Windows-1252) of a button or action list.
    std::function<void(const std::string& script)> runScript;
    // Starting another program or document (after the person agreed).
    std::function<bool(const std::string& program, const std::string& document)> launch;
};

} // namespace cv
