// Runs the built program in a fresh temporary folder, with given files and a
// text on its standard input, and collects what it printed and wrote.
#ifndef DIALOGUE_HARNESS_H
#define DIALOGUE_HARNESS_H

#include <map>
#include <string>
#include <utility>
#include <vector>

struct RunResult {
    std::string out;  // standard output, normalised
    std::string rawOut;  // standard output as the program wrote it
    std::string err;  // standard error, normalised
    int status = -1;  // exit status (-1: killed or timed out)
    int signal = 0;   // the signal that ended it, if one did
    bool timedOut = false;
    std::string folder;  // the folder it ran in (kept until the Dialogue ends)

    // Contents of a file the program left in its folder ("" when missing).
    std::string File(const std::string& name) const;
    bool HasFile(const std::string& name) const;
};

class Dialogue {
public:
    Dialogue();
    ~Dialogue();
    Dialogue(const Dialogue&) = delete;
    Dialogue& operator=(const Dialogue&) = delete;

    // Puts a file into the folder before the run.
    void Put(const std::string& name, const std::string& content);
    // Copies a file of the example data into the folder.
    void PutExample(const std::string& name);
    // Runs the program with input on its standard input (the same folder can
    // be used again for a later run, as a user starting the program twice,
    // or by two runs at once from two threads).
    RunResult Run(const std::string& input, int timeoutSeconds = 60);
    const std::string& Folder() const { return folder_; }
    // Later runs write no file beyond this many bytes, as on a disc that
    // fills up (negative: no limit).
    void LimitFileSize(long bytes) { fileSizeLimit_ = bytes; }
    // Later runs are held to this many bytes of the resource (RLIMIT_AS,
    // RLIMIT_DATA), as under ulimit -v or -d.
    void LimitMemory(int resource, long bytes) { memoryLimits_.emplace_back(resource, bytes); }
    // Later runs start the program through another one (the dynamic
    // loader), which is given the program's path.
    void StartThrough(const std::string& launcher) { launcher_ = launcher; }

private:
    std::string folder_;
    long fileSizeLimit_ = -1;
    std::vector<std::pair<int, long>> memoryLimits_;
    std::string launcher_;
};

// Removes the bell and the progress line (its backspaces and redrawn texts),
// and masks time stamps and elapsed times, so outputs can be compared.
std::string Normalise(const std::string& text);

// Reads a whole file ("" when it cannot be read).
std::string ReadFile(const std::string& path);

// Counts the occurrences of needle in text.
int Count(const std::string& text, const std::string& needle);

#endif
