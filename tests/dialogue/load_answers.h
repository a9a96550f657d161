// Answers shared by the dialogue tests of key N's data files and of the
// sessions.
#ifndef DIALOGUE_LOAD_ANSWERS_H
#define DIALOGUE_LOAD_ANSWERS_H

#include <sstream>
#include <string>

// Answers that load a file from the main menu: N, new data, the name, the
// content, the sizes, then whatever the dialogue asks next.
inline std::string Load(const std::string& file, int content, int units, int variables, const std::string& rest) {
    std::ostringstream s;
    s << "n\nn\n" << file << "\n" << content << "\n" << units << "\n" << variables << "\n" << rest;
    return s.str();
}

#endif
