// Texts shared by the dialogue tests of the shell.
#ifndef DIALOGUE_SCREENS_H
#define DIALOGUE_SCREENS_H

#include <regex>
#include <sstream>
#include <string>
#include <vector>

// The processor count depends on the machine: masked as <N>.
inline std::string MaskProcessors(const std::string& text) {
    static const std::regex count("(may use|pode usar): [0-9]+");
    return std::regex_replace(text, count, "$1: <N>");
}

// The lines of a text (without their line ends).
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream s(text);
    for (std::string l; std::getline(s, l);) lines.push_back(l);
    return lines;
}

#endif
