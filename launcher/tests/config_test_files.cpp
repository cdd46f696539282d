#include "config_test_files.h"

#include <stdio.h>

#include <gtest/gtest.h>

std::string ScrambledConfigFile(const std::string& text, uint32_t divisor)
{
    static const char key[] = "Rq7!vM2#pL9&zT4^wK8*nB3~hG6$cF1%";
    std::string file;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) file.push_back(static_cast<char>(v >> (8 * i)));
    };
    put32(0);
    put32(divisor);
    put32(static_cast<uint32_t>(text.size()));
    file += "\x01\x02";
    for (size_t j = 0; j < text.size(); ++j) {
        uint8_t b = static_cast<uint8_t>(text[j]);
        b = static_cast<uint8_t>(b + (static_cast<uint8_t>(key[(j + 1) % 32]) ^ static_cast<uint8_t>(j)));
        if (j % divisor == 0) b = static_cast<uint8_t>(b + divisor);
        file.push_back(static_cast<char>(b));
    }
    file += "\x03\x04";
    return file;
}

ScratchFile::ScratchFile(const char* suffix)
    : m_path(::testing::TempDir() + ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name() + suffix)
{
}

ScratchFile::~ScratchFile()
{
    remove(m_path.c_str());
}

const char* ScratchFile::Write(const std::string& bytes)
{
    FILE* f = fopen(m_path.c_str(), "wb");
    if (f) {
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    return m_path.c_str();
}
