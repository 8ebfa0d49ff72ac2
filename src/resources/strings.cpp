#include "resources/strings.h"

#include <algorithm>
#include <array>
#include <utility>

namespace cv {

namespace {

struct Entry {
    int id;
    const char* text;
};

// Sorted by id (the negative file-error code last).
constexpr Entry kStrings[] = {
    {1002, "CV_Bkgrnd"},
    {2025, "Print...\tCtrl+P"},
    {2026, "Print Text...\tCtrl+P"},
    {2030, "Arrive at card action"},
    {2031, "Leave card action"},
    {2032, "Click on card action"},
    {2033, "Arrive at stack action"},
    {2034, "Leave stack action"},
    {2035, "Click on stack action"},
    {2213, "54This stack must be saved before continuing.~^Save~Cancel~Don't Save"},
    {2223, "24Sorry, I can't find that card.~^OK"},
    {2224, "34Not enough memory available to complete this operation.~^OK"},
    {2229, "03This stack was changed, do you want to save it?~Save~Cancel~Don't Save"},
    {2242, "44Sorry, I haven't seen any marked cards yet.~^OK"},
    {2295, "33The stack's card size must be at least %d wide and %d high. Do you want to convert it to the minimum size?~^Yes~No"},
    {2355, "43The number of colors of your display has changed. Corvella will show its pictures with the new colors.~^OK"},
    {2502, "Untitled"},
    {2518, "Sound"},
    {2519, "Text"},
    {2520, "Pict"},
    {2521, " - Card "},
    {2650, "CVArt\\"},
    {2651, "CVSounds\\"},
    {2652, "Movies\\"},
    {2653, "NBAs\\"},
    {2680, "44Sorry, an I/O error has occurred, this could mean that there is a problem with your disk.~^OK"},
    {2681, "44Resource not found.~^OK"},
    {2682, "44Sorry, I was unable to add either a sound, icon, NBA or picture to this stack.~^OK"},
    {2683, "44Sorry, there is not enough memory (RAM) to complete this operation.~^OK"},
    {2684, "44Sorry, the directory on the disk is full, try saving in another folder or disk.~^OK"},
    {2685, "44Sorry, this disk is full, try saving on another disk.~^OK"},
    {2686, "44Sorry, the name you gave is not allowed, try another.~^OK"},
    {2687, "44Sorry, this disk is write protected.~^OK"},
    {2689, "44Sorry, changes could not be saved because the disk is locked.~^OK"},
    {2690, "44Sorry, changes could not be saved because the file is already being used.~^OK"},
    {2691, "44Sorry, you do not have access to this file.~^OK"},
    {2692, "44Sorry, this is not a Macintosh disk.~^OK"},
    {2693, "44Sorry, you do not have the access to make changes to this file, or the file is locked.~^OK"},
    {2694, "44Sorry, the stack could not be saved. The original file has not been changed.~^OK"},
    {2750, "Left to right"},
    {2751, "Right to left"},
    {2752, "Fastest"},
    {2753, "Bottom to top"},
    {2754, "Top to bottom"},
    {2755, "Fade to black"},
    {2756, "Fade to white"},
    {2757, "Blocks"},
    {2758, "Diagonal right"},
    {2759, "Diagonal left"},
    {2760, "Blinds"},
    {2761, "Bars"},
    {2762, "Rain"},
    {2763, "Dissolve"},
    {2764, "Barn open"},
    {2765, "Barn close"},
    {2766, "Iris close"},
    {2767, "Iris open"},
    {2768, "Mouth close"},
    {2769, "Mouth open"},
    {2770, "Diamond dissolve"},
    {2771, "Bow ties"},
    {2772, "Razor right"},
    {2773, "Razor left"},
    {2774, "Zoom out"},
    {2775, "Zoom in"},
    {2776, "Fade to button color"},
    {2804, "Home.stk"},
    {2805, "Home2.stk"},
    {2806, "Home.stack"},
    {2807, "Home Stack"},
    {2808, "Home Stack 2"},
    {2809, "HomeStack.stk"},
    {2810, "Accueil.stk"},
    {2811, "Accueil2.stk"},
    {2812, "Accueil.stack"},
    {2813, "Pile Accueil"},
    {2814, "Pile Accueil 2"},
    {2815, "PileAccueil.stk"},
    {2816, "Inicio.stk"},
    {2817, "Inicio2.stk"},
    {2818, "Inicio.stack"},
    {2819, "Pilha Inicio"},
    {2820, "Pilha Inicio 2"},
    {2821, "PilhaInicio.stk"},
    {2822, "Iniziale.stk"},
    {2823, "Iniziale2.stk"},
    {2824, "Iniziale.stack"},
    {2825, "Pila Iniziale"},
    {2826, "Pila Iniziale 2"},
    {2827, "PilaIniziale.stk"},
    {2828, "*"},
    {4025, "Corvella currently requires that your computer be set to 8, 16 or 24 bit color."},
    {4029, "InitDataBase: failed to create DC"},
    {4030, "InitDataBase: insufficient ram for screen bitmap"},
    {4033, "CreateClipRegion: CombineRgn failed"},
    {4076, "ImageRectToDC: failed to create DC"},
    {4118, "Stacks (*.STK)"},
    {4132, "Corvella Error"},
    {4157, "Failed to register class: "},
    {9000, "44I'm sorry, I can't load this file because it is not a stack.~^OK"},
    {9001, "44Sorry, this version of Corvella can't load black and white stacks.\nPlease convert this stack to 256 colors with the Macintosh version and try again.~^Sorry"},
    {9002, "44This stack cannot be loaded by this version of Corvella.\nPlease contact the maker of this stack for update information.~^OK"},
    {9003, "44Sorry, I can't open this stack because it was saved with an older version of Corvella.\nI should be able to open it if you load and save it with the latest Macintosh version.~^OK"},
    {9004, "44Because of an error,\nI wasn't able to read any cards from this stack.~^Sorry"},
    {9005, "43There was problem opening this stack, would you like me to try to fix it? (some sounds and icons may be lost)~^OK~Cancel"},
    {9006, "44Sorry, changes could not be saved because the disk is locked.~^OK"},
    {9007, "44Sorry, there isn't enough space left on this disk to save this file.~^OK"},
    {9008, "53This stack was converted to support new features.\nIf you replace the original it will no longer work with earlier versions of Corvella.\nDo you want to replace the original?~No, change name~^Replace~Cancel"},
    {9009, "53Corvella had to change the number of colors in this stack to display it. Do you want to save this changed stack to a different name or replace the original?~Change name~^Save over original~Cancel"},
    {9010, "44Sorry, I could not find the file: Samples.stk.I won't be able to display any samples for you.~^OK"},
    {9011, "44Sorry, some kind of error has occurred.~^OK"},
    {9012, "34Not enough memory available to complete this operation.~^OK"},
    {9013, "44Corvella is running very low on memory,some new edited text may have been lost on this,or the last viewed card.~^OK"},
    {9014, "24No match found.~^OK"},
    {10000, "Corvella Player"},
    {-2688, "44Sorry, this file is locked.~^OK"},
};

} // namespace

std::optional<std::string> loadString(int id) {
    for (const Entry& e : kStrings)
        if (e.id == id) return std::string(e.text);
    return std::nullopt;
}

} // namespace cv
