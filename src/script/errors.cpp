// The text of every error number.
#include "script/interpreter.h"

namespace cv::script {

std::string ErrorMessage(int code, std::string_view n, std::string_view d, std::string_view p) {
    std::string s;
    auto cat = [&](std::initializer_list<std::string_view> parts) {
        for (std::string_view x : parts) s += x;
        return s;
    };
    switch (code) {
    case 6: return cat({d, " is a primitive"});
    case 7: return cat({"Can't find the label ", d});
    case 9: return cat({d, " is undefined"});
    case 13: return "Can't divide by 0";
    case 19: return cat({"Too few items in ", n});
    case 20: return "Too many files are open";
    case 21: return cat({"Can't find catch for ", d});
    case 23: return "Out of space";
    case 25: return cat({d, " is not TRUE or FALSE"});
    case 29: return cat({"Not enough inputs to ", n});
    case 30: return cat({"Too many inputs to ", n});
    case 33: return "Can only do that in a procedure";
    case 34: return "Turtle out of bounds";
    case 35: return cat({"I don't know how to ", n});
    case 38: return cat({"You didn't say what to do with ", d});
    case 41: return cat({n, " doesn't like ", d, " as input"});
    case 45: return cat({n, " is not open"});
    case 57: return cat({"Can't write to ", d});
    case 58: return cat({"Can't read from ", d});
    case 59: return "A sound channel could not be started";
    case 60: return "Not enough memory to run Logo";
    case 61: return "Property lists must have an even number of elements";
    case 62: return cat({"The directory ", n, " is not valid, or is not available"});
    case 63: return "Disk IO Error";
    case 64: return "POFile can only print text files";
    case 65: return cat({n, " wants a reader file"});
    case 66: return cat({n, " needs a text file"});
    case 67: return cat({n, " could not find a window"});
    case 68: return cat({n, " could not find the window ", d});
    case 69: return "Out of stack space";
    case 71: return "You used a TO without an END";
    case 73: return cat({n, " wants a writer file"});
    case 74: return cat({"Math operations don't like ", p, " as input"});
    case 75: return cat({n, " cannot be used in a procedure"});
    case 76: return cat({n, " cannot be used in a script"});
    case 77: return cat({"The index given is too big for ", d});
    case 99: return cat({n, " is a reserved primitive for future expansion"});
    default: return "Unimplemented error";
    }
}

} // namespace cv::script
