// Scrambled configuration files for tests, made by an encoder of the tests' own (the inverse of
// the launcher's unscrambling), and scratch files named after the running test case.
#pragma once

#include <stdint.h>

#include <string>

// A whole .bin file: header, padding, the scrambled text, padding.
std::string ScrambledConfigFile(const std::string& text, uint32_t divisor = 7);

// Writes bytes to a file named after the current test case (cases run as parallel processes).
class ScratchFile {
public:
    explicit ScratchFile(const char* suffix);
    ~ScratchFile();
    const char* Write(const std::string& bytes);
    const char* Path() const { return m_path.c_str(); }

private:
    std::string m_path;
};
