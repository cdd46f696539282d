// A folder of its own per test case (cases run as parallel processes), removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name)
        : path_(std::filesystem::path(::testing::TempDir()) / ("ql_common_" + name))
    {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    std::wstring Wide(const std::string& relative) const { return (path_ / relative).wstring(); }
    void Write(const std::string& relative, const std::string& bytes) const
    {
        std::ofstream(path_ / relative, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::string Read(const std::string& relative) const
    {
        std::ifstream in(path_ / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool Exists(const std::string& relative) const { return std::filesystem::exists(path_ / relative); }
    size_t EntryCount() const
    {
        size_t n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) n += entry.exists() ? 1 : 0;
        return n;
    }

private:
    std::filesystem::path path_;
};
